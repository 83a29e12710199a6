#include "e2e/OvDesktop.h"

#include <QDeadlineTimer>
#include <QtTest>

OvDesktop::~OvDesktop()
{
    for (QProcess *process : {&windowManager, &xvfb}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished();
    }
}

bool OvDesktop::start(QString *error)
{
    // -displayfd picks a free display and writes its number to the given descriptor.
    xvfb.start(
        QStringLiteral("Xvfb"),
        QStringLiteral("-displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset").split(' '));
    QDeadlineTimer deadline(15000);
    while (xvfb.state() != QProcess::NotRunning && !xvfb.canReadLine() && !deadline.hasExpired())
        xvfb.waitForReadyRead(100);
    display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
    if (display == QLatin1String(":")) {
        *error = QStringLiteral("Xvfb did not start or report its display: ") + xvfb.errorString();
        return false;
    }
    windowManager.setProcessEnvironment(environment());
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    int exitCode = -1;
    while (!deadline.hasExpired()) {
        run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}, &exitCode);
        if (exitCode == 0)
            return true;
        QTest::qWait(50);
    }
    *error =
        QStringLiteral("openbox did not take over the display: ") + windowManager.errorString();
    return false;
}

QProcessEnvironment OvDesktop::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QByteArray OvDesktop::run(const QString &program, const QStringList &args, int *exitCode) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, args);
    if (!process.waitForFinished(10000))
        process.kill();
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

QStringList OvDesktop::windows(const QString &titleRegExp) const
{
    return QString::fromLocal8Bit(run(QStringLiteral("xdotool"),
                                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--name"), titleRegExp}))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString OvDesktop::waitForWindow(const QString &titleRegExp, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QStringList ids;
    while ((ids = windows(titleRegExp)).isEmpty() && !deadline.hasExpired())
        QTest::qWait(50);
    return ids.value(0);
}

void OvDesktop::key(const QString &windowId, const QString &keys) const
{
    run(QStringLiteral("xdotool"),
        QStringLiteral("windowactivate --sync %1 key %2").arg(windowId, keys).split(' '));
}

void OvDesktop::requestClose(const QString &windowId) const
{
    run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), windowId});
}
