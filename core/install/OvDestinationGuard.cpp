#include "core/install/OvDestinationGuard.h"

#include "core/install/OvZipEntryName.h"

#include <QDir>
#include <QFileInfo>

OvDestinationGuard::OvDestinationGuard(const QString &rootDir, QObject *parent)
    : QObject(parent), root(rootDir), canonicalRoot(QFileInfo(rootDir).canonicalFilePath())
{
    // Paths below the root are built as root + "/" + name, so "/" (or "C:/") is kept as ""
    // (or "C:") here to find the parent of "/a" by cutting at its last separator.
    if (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    // The destination itself is what the caller asked for, wherever a link there may lead.
    known.insert(root, canonicalRoot.isEmpty() ? Placement::Missing : Placement::Inside);
}

OvDestinationGuard::Placement OvDestinationGuard::prepareDirectory(const QString &dirPath)
{
    const auto found = known.constFind(dirPath);
    if (found != known.constEnd())
        return found.value();
    const int cut = dirPath.lastIndexOf(QLatin1Char('/'));
    if (dirPath.size() <= root.size() || cut < 0)
        return Placement::Outside; // not below the root at all

    const Placement parent = prepareDirectory(dirPath.left(cut));
    if (parent != Placement::Inside)
        return parent;

    // Asking for the link first lets one lstat() answer both questions for ordinary entries.
    const QFileInfo info(dirPath);
    const bool isLink = info.isSymLink();
    Placement placement;
    if (info.exists())
        placement = OvZipEntryName::isWithin(info.canonicalFilePath(), canonicalRoot)
                        ? Placement::Inside
                        : Placement::Outside;
    else if (isLink)
        placement = Placement::Outside;
    else
        placement = QDir().mkdir(dirPath) ? Placement::Inside : Placement::Missing;

    if (placement != Placement::Missing)
        known.insert(dirPath, placement);
    return placement;
}
