#include "gui/app/OvCommandLine.h"

namespace OvCommandLine {

QString optionValue(const QStringList &args, const QString &option, const QString &fallback)
{
    const int i = args.indexOf(option);
    if (i >= 0 && i < args.size() - 1)
        return args.at(i + 1);
    return fallback;
}

qint32 intOptionValue(const QStringList &args, const QString &option, qint32 fallback)
{
    const int i = args.indexOf(option);
    if (i >= 0 && i < args.size() - 1)
        return args.at(i + 1).toInt(); // not a decimal integer: 0
    return fallback;
}

OvStartupOptions parse(const QStringList &args)
{
    OvStartupOptions o;
    o.version = optionValue(args, QStringLiteral("-v"), QString());
    o.type = intOptionValue(args, QStringLiteral("-t"), -1);
    o.processName = optionValue(args, QStringLiteral("-k"), QString());
    o.url = optionValue(args, QStringLiteral("-url"), QString());
    o.channelType = intOptionValue(args, QStringLiteral("-ct"), -1);
    o.code = optionValue(args, QStringLiteral("-cc"), QString());
    return o;
}

} // namespace OvCommandLine
