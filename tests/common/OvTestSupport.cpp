#include "common/OvTestSupport.h"

#include <QDir>
#include <QFileInfo>
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

QString corporaDir()
{
    const QString dir = QStringLiteral(OV_CORPORA_DIR);
    return QFileInfo(dir).isDir() ? dir : QString();
}

bool makeSelfSignedCertificate(const QString &dir, QString *certPath, QString *keyPath,
                               QString *error)
{
    *certPath = QDir(dir).filePath(QStringLiteral("cert.pem"));
    *keyPath = QDir(dir).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), *keyPath, QStringLiteral("-out"), *certPath});
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

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const QString &line : lines())
        n += line.contains(text) ? 1 : 0;
    return n;
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
