#ifndef OVZIPTESTTREE_H
#define OVZIPTESTTREE_H

#include <QByteArray>
#include <QMap>
#include <QString>

// What an extraction left on disk, for comparing trees and for proving that nothing appeared
// where it should not. Names are handled as raw bytes throughout: other tools write names
// that are not valid in the locale's encoding, and those must be read and removed too.
namespace OvZipTestTree {

enum class Kind
{
    File,
    Directory,
    Link,
    Other
};

struct Node
{
    Kind kind = Kind::File;
    QByteArray content; // a file's bytes, a link's own text; empty otherwise
};

// Every entry below `dir` by its path relative to `dir`. Links are listed, never followed.
QMap<QByteArray, Node> snapshot(const QString &dir);

// Removes `dir` and everything below it, whatever the names.
bool removeAll(const QString &dir);

} // namespace OvZipTestTree

#endif // OVZIPTESTTREE_H
