#include "OvZipTestTree.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace OvZipTestTree {

QMap<QByteArray, Node> snapshot(const QString &dir)
{
    QMap<QByteArray, Node> nodes;
    const QByteArray base = QFile::encodeName(dir) + '/';
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        Node node;
        if (info.isSymLink()) {
            node.kind = Kind::Link;
            // The link's own text, as unzip wrote it, not the path it resolves to.
            char target[4096];
            const ssize_t n =
                ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
            node.content = QByteArray(target, n > 0 ? static_cast<int>(n) : 0);
        } else if (info.isDir()) {
            node.kind = Kind::Directory;
        } else {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                node.content = file.readAll();
        }
        nodes.insert(QFile::encodeName(path).mid(base.size()), node);
    }
    return nodes;
}

} // namespace OvZipTestTree
