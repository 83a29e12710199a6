#include "core/install/OvZipEntryName.h"

#include <QStringList>
#include <QVector>

namespace {

constexpr Qt::CaseSensitivity kPathCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

bool startsWithDriveLetter(const QString &path)
{
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') &&
           ((path.at(0) >= QLatin1Char('a') && path.at(0) <= QLatin1Char('z')) ||
            (path.at(0) >= QLatin1Char('A') && path.at(0) <= QLatin1Char('Z')));
}

} // namespace

namespace OvZipEntryName {

QString safeRelativePath(const QString &name)
{
    // The name ends at a NUL, as the C string that minizip and every C tool sees does.
    QString path = name.left(name.indexOf(QChar(0)));
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')) || startsWithDriveLetter(path))
        return QString();

    const QVector<QStringRef> parts = path.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStringList kept;
    kept.reserve(parts.size());
    for (const QStringRef &part : parts) {
        if (part == QLatin1String(".."))
            return QString();
        if (part != QLatin1String("."))
            kept.append(part.toString());
    }
    // "./C:/x" must not become a drive path once the "." is gone.
    if (kept.isEmpty() || startsWithDriveLetter(kept.first()))
        return QString();

    QString clean = kept.join(QLatin1Char('/'));
    if (path.endsWith(QLatin1Char('/')))
        clean.append(QLatin1Char('/'));
    return clean;
}

bool isWithin(const QString &path, const QString &root)
{
    if (path.isEmpty() || root.isEmpty())
        return false;
    if (path.compare(root, kPathCase) == 0)
        return true;
    // "/dest" must not accept "/destination"; a root of "/" already ends with the separator.
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path.startsWith(prefix, kPathCase);
}

} // namespace OvZipEntryName
