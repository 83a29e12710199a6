#include "common/OvTestSupport.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSslConfiguration>

#include <chrono>

namespace {

QMutex logMutex; // messages come from every thread
QStringList capturedLines;
QtMessageHandler previousHandler = nullptr;

} // namespace

namespace OvTestSupport {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool makeSelfSignedCertificate(const QString &dir, QString *certPath, QString *keyPath,
                               QString *error, bool trusted)
{
    *certPath = QDir(dir).filePath("cert.pem");
    *keyPath = QDir(dir).filePath("key.pem");
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl",
                  QString("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                          "-addext subjectAltName=IP:127.0.0.1 -keyout")
                          .split(' ') +
                      QStringList{*keyPath, "-out", *certPath});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return *error = "openssl failed: " + QString::fromLocal8Bit(openssl.readAll()), false;
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    if (trusted && trusting.addCaCertificates(*certPath))
        QSslConfiguration::setDefaultConfiguration(trusting);
    return true;
}

LogCapture::LogCapture()
{
    QMutexLocker lock(&logMutex);
    capturedLines.clear();
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &msg) {
            logMutex.lock();
            capturedLines.append(msg);
            logMutex.unlock();
            if (previousHandler)
                previousHandler(type, context, msg);
        });
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return capturedLines;
}

} // namespace OvTestSupport

bool OvTestGate::wait(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return isOpen; });
}

void OvTestGate::open()
{
    std::lock_guard<std::mutex> lock(mutex);
    isOpen = true;
    cv.notify_all();
}
