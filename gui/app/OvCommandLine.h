#ifndef OVCOMMANDLINE_H
#define OVCOMMANDLINE_H

#include <QString>
#include <QStringList>

// The six options with which the suite starts the updater, each followed by its value.
struct OvStartupOptions
{
    QString version;         // "-v"
    qint32 type = -1;        // "-t"
    QString processName;     // "-k"
    QString url;             // "-url"
    qint32 channelType = -1; // "-ct"
    QString code;            // "-cc"
};

namespace OvCommandLine {

// The value after the first argument that equals `option` exactly, or `fallback` when the
// option is absent or is the last argument. The value is taken unchanged, even when it looks
// like another option.
QString optionValue(const QStringList &args, const QString &option, const QString &fallback);

// Like optionValue, read as a decimal integer: a value that is not one gives 0.
qint32 intOptionValue(const QStringList &args, const QString &option, qint32 fallback);

OvStartupOptions parse(const QStringList &args);

} // namespace OvCommandLine

#endif // OVCOMMANDLINE_H
