#include "core/suite/OvSuiteProcess.h"

namespace OvSuiteProcess {

QStringList taskkillArguments(const QString &processName)
{
    return {QStringLiteral("/im"), processName, QStringLiteral("/f")};
}

bool isSuiteExecutable(const QString &exePath, const QString &processName)
{
    if (processName.isEmpty())
        return false;
    QString path = exePath;
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(slash + 1) == processName;
}

} // namespace OvSuiteProcess
