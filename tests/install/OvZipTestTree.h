#ifndef OVZIPTESTTREE_H
#define OVZIPTESTTREE_H

#include <QByteArray>
#include <QMap>
#include <QString>

// What an extraction left on disk. Names are raw bytes: unzip writes names that are not valid
// in the locale's encoding, which Qt's directory classes cannot reach.
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

} // namespace OvZipTestTree

#endif // OVZIPTESTTREE_H
