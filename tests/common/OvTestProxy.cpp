#include "common/OvTestProxy.h"

#include "common/OvTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>

bool OvTestProxy::start(const QString &dir, const QString &user, const QString &password,
                        QString *error)
{
    QTcpServer probe; // a port the system hands out now; tinyproxy binds it a moment later
    if (!probe.listen(QHostAddress::LocalHost))
        return *error = "no free port: " + probe.errorString(), false;
    boundPort = probe.serverPort();
    probe.close();

    logPath = QDir(dir).filePath("tinyproxy.log");
    const QString config = QDir(dir).filePath("tinyproxy.conf");
    // No Allow and no ConnectPort lines: every local client, CONNECT to every port.
    QString text = QString("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                           "LogLevel Connect\nLogFile \"%2\"\n")
                       .arg(boundPort)
                       .arg(logPath);
    if (!user.isEmpty())
        text += QString("BasicAuth %1 %2\n").arg(user, password);
    if (!OvTestSupport::writeFile(config, text.toUtf8()))
        return *error = "cannot write " + config, false;

    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start("tinyproxy", {"-d", "-c", config});
    for (QDeadlineTimer deadline(10000);
         !deadline.hasExpired() && process.state() != QProcess::NotRunning;) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(boundPort));
        if (socket.waitForConnected(200))
            return true;
        process.waitForFinished(100);
    }
    *error = QString("tinyproxy did not listen on port %1: %2")
                 .arg(boundPort)
                 .arg(process.errorString());
    return false;
}

QString OvTestProxy::log() const
{
    return QString::fromUtf8(OvTestSupport::readFile(logPath));
}
