#include "OvZipTestTree.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OvZipTestTree::Kind;

void walk(const QByteArray &base, const QByteArray &relative,
          QMap<QByteArray, OvZipTestTree::Node> &nodes)
{
    DIR *dir = ::opendir((relative.isEmpty() ? base : base + '/' + relative).constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray childRelative = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray path = base + '/' + childRelative;
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            continue;
        OvZipTestTree::Node &node = nodes[childRelative];
        static char buffer[65536]; // not kept across the recursion
        if (S_ISLNK(info.st_mode)) {
            node.kind = Kind::Link;
            const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
            node.content = QByteArray(buffer, n > 0 ? static_cast<int>(n) : 0);
        } else if (S_ISDIR(info.st_mode)) {
            node.kind = Kind::Directory;
            walk(base, childRelative, nodes);
        } else if (S_ISREG(info.st_mode)) {
            const int fd = ::open(path.constData(), O_RDONLY);
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                node.content.append(buffer, static_cast<int>(n));
            if (fd >= 0)
                ::close(fd);
        } else {
            node.kind = Kind::Other;
        }
    }
    ::closedir(dir);
}

} // namespace

namespace OvZipTestTree {

QMap<QByteArray, Node> snapshot(const QString &dir)
{
    QMap<QByteArray, Node> nodes;
    walk(QFile::encodeName(dir), QByteArray(), nodes);
    return nodes;
}

} // namespace OvZipTestTree
