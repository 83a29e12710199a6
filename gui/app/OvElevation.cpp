#include "gui/app/OvElevation.h"

#include "gui/app/OvShell.h"

#include <QCoreApplication>
#include <QDebug>

namespace OvElevation {

bool needsElevatedCopy(bool isAdmin, const QString &programPath, const QStringList &args)
{
    if (isAdmin)
        return false;
    if (!programPath.startsWith(QLatin1Char('C'), Qt::CaseInsensitive))
        return false;
    if (args.size() >= 2 && args.at(1) == QLatin1String("runas"))
        return false;
    return true;
}

QString parameterString(const QStringList &args)
{
    return QStringLiteral("runas ") + args.mid(1).join(QLatin1Char(' '));
}

bool shellSucceeded(long long result)
{
    return result > 32;
}

} // namespace OvElevation

bool runAsAdminIfNeeded()
{
    const QString programPath = QCoreApplication::applicationFilePath();
    const QStringList args = QCoreApplication::arguments();
    if (!OvElevation::needsElevatedCopy(OvShell::isUserAnAdmin() != 0, programPath, args))
        return false;

    const QString parameters = OvElevation::parameterString(args);
    qDebug() << "------ " << parameters;
    const QByteArray file = programPath.toUtf8();
    const QByteArray params = parameters.toUtf8();
    return OvElevation::shellSucceeded(OvShell::executeRunas(file.constData(), params.constData()));
}
