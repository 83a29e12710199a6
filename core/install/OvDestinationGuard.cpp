#include "core/install/OvDestinationGuard.h"

#include "core/install/OvZipEntryName.h"

#include <QFileInfo>

OvDestinationGuard::OvDestinationGuard(const QString &rootDir, QObject *parent)
    : QObject(parent), root(rootDir), canonicalRoot(QFileInfo(rootDir).canonicalFilePath())
{
    // Paths below the root are built as root + "/" + name, so "/" (or "C:/") is kept as ""
    // (or "C:") here to find the parent of "/a" by cutting at its last separator.
    if (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    // The destination itself is what the caller asked for, wherever a link there may lead.
    known.insert(root, canonicalRoot.isEmpty() ? Placement::Blocked : Placement::Inside);
}

OvDestinationGuard::Placement OvDestinationGuard::place(const QString &dirPath)
{
    const auto found = known.constFind(dirPath);
    if (found != known.constEnd())
        return found.value();
    const int cut = dirPath.lastIndexOf(QLatin1Char('/'));
    if (dirPath.size() <= root.size() || cut < 0)
        return Placement::Outside; // not below the root at all

    const Placement parent = place(dirPath.left(cut));
    if (parent != Placement::Inside)
        return parent;

    // Asking for the link first lets one lstat() answer both questions for ordinary entries.
    const QFileInfo info(dirPath);
    const bool isLink = info.isSymLink();
    Placement placement = Placement::Inside; // missing: the swap creates it
    if (info.exists() && !OvZipEntryName::isWithin(info.canonicalFilePath(), canonicalRoot))
        placement = Placement::Outside;
    else if (info.exists() && !info.isDir())
        placement = Placement::Blocked;
    else if (!info.exists() && isLink)
        placement = Placement::Outside;
    known.insert(dirPath, placement);
    return placement;
}
