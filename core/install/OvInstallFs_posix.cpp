#include "core/install/OvInstallFs.h"

#include <QFile>
#include <QFileDevice>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace OvInstallFs {

bool syncFile(QFileDevice &file)
{
    return file.handle() >= 0 && ::fsync(file.handle()) == 0;
}

bool syncStagedFile(QFileDevice &)
{
    return true; // syncVolume() covers it: one call instead of a disk flush per file
}

bool syncVolume(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}

bool syncDirectory(const QString &dirPath)
{
    const int fd = ::open(QFile::encodeName(dirPath).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

Move moveOver(const QString &from, const QString &to, QString *error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return Move::Done;
    const int code = errno;
    *error = QString::fromLocal8Bit(std::strerror(code));
    // A mount point or a program being written to; a running program itself renames fine.
    return code == EBUSY || code == ETXTBSY ? Move::Busy : Move::Failed;
}

} // namespace OvInstallFs
