#include "core/suite/OvSuiteProcess.h"

#include <QDir>
#include <QProcess>

namespace OvSuiteProcess {

void stop(const QString &processName)
{
    QProcess::execute(QStringLiteral("taskkill"), taskkillArguments(processName));
}

void start(const QString &installDir, const QString &processName)
{
    QProcess::startDetached(QDir(installDir).filePath(processName), QStringList(), installDir);
}

} // namespace OvSuiteProcess
