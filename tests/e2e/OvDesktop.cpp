#include "e2e/OvDesktop.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QtTest>

OvDesktop::~OvDesktop()
{
    stop();
}

bool OvDesktop::start(QString *error)
{
    // -displayfd picks a free display and writes its number to the given descriptor.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!xvfb.waitForStarted(10000)) {
        *error = QStringLiteral("Xvfb did not start: ") + xvfb.errorString();
        return false;
    }
    QDeadlineTimer deadline(15000);
    while (!xvfb.canReadLine() && !deadline.hasExpired())
        xvfb.waitForReadyRead(100);
    const QByteArray number = xvfb.readLine().trimmed();
    if (number.isEmpty()) {
        *error = QStringLiteral("Xvfb did not report its display");
        return false;
    }
    display = QStringLiteral(":") + QString::fromLatin1(number);

    windowManager.setProcessEnvironment(environment());
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager.waitForStarted(10000)) {
        *error = QStringLiteral("openbox did not start: ") + windowManager.errorString();
        return false;
    }
    int exitCode = -1;
    while (!deadline.hasExpired()) {
        run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}, &exitCode);
        if (exitCode == 0)
            return true;
        QTest::qWait(50);
    }
    *error = QStringLiteral("openbox did not take over the display");
    return false;
}

void OvDesktop::stop()
{
    for (QProcess *process : {&windowManager, &xvfb}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }
}

QProcessEnvironment OvDesktop::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QString OvDesktop::run(const QString &program, const QStringList &args, int *exitCode) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, args);
    if (!process.waitForFinished(10000))
        process.kill();
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList OvDesktop::windows(const QString &titleRegExp) const
{
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                titleRegExp})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString OvDesktop::waitForWindow(const QString &titleRegExp, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QStringList ids = windows(titleRegExp);
        if (!ids.isEmpty())
            return ids.first();
        QTest::qWait(50);
    } while (!deadline.hasExpired());
    return QString();
}

QImage OvDesktop::grab(const QString &windowId) const
{
    QProcess import;
    import.setProcessEnvironment(environment());
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), windowId, QStringLiteral("png:-")});
    import.waitForFinished(10000);
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

void OvDesktop::click(const QString &windowId, const QPoint &pos) const
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId,
         QStringLiteral("mousemove"), QStringLiteral("--window"), windowId,
         QString::number(pos.x()), QString::number(pos.y()), QStringLiteral("click"),
         QStringLiteral("1")});
}

void OvDesktop::key(const QString &windowId, const QString &keys) const
{
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    windowId, QStringLiteral("key"), keys});
}

void OvDesktop::requestClose(const QString &windowId) const
{
    run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), windowId});
}

QPoint OvDesktop::centreOf(const QImage &image, const QColor &colour)
{
    QRect area;
    const QRgb wanted = colour.rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xffffff) == (wanted & 0xffffff))
                area |= QRect(x, y, 1, 1);
        }
    }
    return area.isNull() ? QPoint(-1, -1) : area.center();
}
