#include "common/OvTestSupport.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>

#include <chrono>

namespace {

QMutex logMutex;
QStringList *capturedLines = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    {
        QMutexLocker lock(&logMutex);
        if (capturedLines)
            capturedLines->append(msg);
    }
    if (previousHandler)
        previousHandler(type, context, msg);
}

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
                               QString *error)
{
    *certPath = QDir(dir).filePath(QStringLiteral("cert.pem"));
    *keyPath = QDir(dir).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl",
                  QString("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                          "-addext subjectAltName=IP:127.0.0.1 -keyout")
                          .split(' ') +
                      QStringList{*keyPath, "-out", *certPath});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAll());
        return false;
    }
    return true;
}

LogCapture::LogCapture()
{
    QMutexLocker lock(&logMutex);
    capturedLines = new QStringList;
    previousHandler = qInstallMessageHandler(captureHandler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&logMutex);
    delete capturedLines;
    capturedLines = nullptr;
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return capturedLines ? *capturedLines : QStringList();
}

} // namespace OvTestSupport

bool OvTestGate::wait(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return isOpen; });
}

void OvTestGate::open()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        isOpen = true;
    }
    cv.notify_all();
}
