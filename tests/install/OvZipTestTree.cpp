#include "OvZipTestTree.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OvZipTestTree::Kind;
using OvZipTestTree::Node;

QByteArray readAll(const QByteArray &path)
{
    QByteArray content;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return content;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<int>(n));
    ::close(fd);
    return content;
}

// Calls `visit(relative path, full path, lstat result)` for every entry below `base`,
// parents before children.
template <typename Visit> void walk(const QByteArray &base, const QByteArray &relative, Visit visit)
{
    const QByteArray dirPath = relative.isEmpty() ? base : base + '/' + relative;
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray childRelative = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray childPath = dirPath + '/' + name;
        struct stat info;
        if (::lstat(childPath.constData(), &info) != 0)
            continue;
        visit(childRelative, childPath, info);
        if (S_ISDIR(info.st_mode))
            walk(base, childRelative, visit);
    }
    ::closedir(dir);
}

} // namespace

namespace OvZipTestTree {

QMap<QByteArray, Node> snapshot(const QString &dir)
{
    QMap<QByteArray, Node> nodes;
    walk(QFile::encodeName(dir), QByteArray(),
         [&nodes](const QByteArray &relative, const QByteArray &path, const struct stat &info) {
             Node node;
             if (S_ISLNK(info.st_mode)) {
                 node.kind = Kind::Link;
                 char target[4096];
                 const ssize_t n = ::readlink(path.constData(), target, sizeof target);
                 node.content = QByteArray(target, n > 0 ? static_cast<int>(n) : 0);
             } else if (S_ISDIR(info.st_mode)) {
                 node.kind = Kind::Directory;
             } else if (S_ISREG(info.st_mode)) {
                 node.content = readAll(path);
             } else {
                 node.kind = Kind::Other;
             }
             nodes.insert(relative, node);
         });
    return nodes;
}

bool removeAll(const QString &dir)
{
    const QByteArray base = QFile::encodeName(dir);
    QList<QByteArray> directories;
    bool ok = true;
    walk(base, QByteArray(),
         [&](const QByteArray &, const QByteArray &path, const struct stat &info) {
             if (S_ISDIR(info.st_mode)) {
                 ::chmod(path.constData(), 0700); // unzip restores modes that block removal
                 directories.prepend(path);
             } else {
                 ok = ::unlink(path.constData()) == 0 && ok;
             }
         });
    for (const QByteArray &path : directories) // children come first in this order
        ok = ::rmdir(path.constData()) == 0 && ok;
    return ::rmdir(base.constData()) == 0 && ok;
}

} // namespace OvZipTestTree
