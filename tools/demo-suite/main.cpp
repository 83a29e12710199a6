#include "tools/demo-suite/OvDemoSuiteWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>

namespace {

// The first line of version.txt beside the executable, trimmed; an update replaces the file.
QString installedVersion(const QDir &home)
{
    QFile file(home.filePath(QStringLiteral("version.txt")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("unknown");
    const QString version = QString::fromUtf8(file.readLine(256)).trimmed();
    return version.isEmpty() ? QStringLiteral("unknown") : version;
}

// "started 1.1 4242" in demo-suite.log beside the executable tells a test or a script that,
// and which version, was started, without having to look at the screen.
void logStart(const QDir &home, const QString &version)
{
    QFile log(home.filePath(QStringLiteral("demo-suite.log")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    log.write(QStringLiteral("started %1 %2\n")
                  .arg(version)
                  .arg(QCoreApplication::applicationPid())
                  .toUtf8());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QDir home(QCoreApplication::applicationDirPath());
    const QString version = installedVersion(home);
    logStart(home, version);

    OvDemoSuiteWindow window(version);
    window.show();
    return app.exec();
}
