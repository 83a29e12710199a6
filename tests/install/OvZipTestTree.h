#ifndef OVZIPTESTTREE_H
#define OVZIPTESTTREE_H

#include <QByteArray>
#include <QMap>
#include <QString>

// What an extraction left on disk, for comparing trees and for proving that nothing appeared
// where it should not.
namespace OvZipTestTree {

enum class Kind
{
    File,
    Directory,
    Link
};

struct Node
{
    Kind kind = Kind::File;
    QByteArray content; // a file's bytes, a link's target; empty for a directory
};

// Every entry below `dir` by its path relative to `dir` (as raw local 8-bit bytes, so that
// names which are not valid in the locale's encoding stay apart). Links are listed, never
// followed.
QMap<QByteArray, Node> snapshot(const QString &dir);

} // namespace OvZipTestTree

#endif // OVZIPTESTTREE_H
