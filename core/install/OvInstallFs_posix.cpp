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

namespace {

// Opens a directory only to flush through it: `flush` is syncfs for the whole volume or fsync
// for the directory's own entries.
bool flushThroughDirectory(const QString &path, int (*flush)(int))
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool flushed = flush(fd) == 0;
    ::close(fd);
    return flushed;
}

} // namespace

bool syncVolume(const QString &path)
{
    return flushThroughDirectory(path, ::syncfs);
}

bool syncDirectory(const QString &dirPath)
{
    return flushThroughDirectory(dirPath, ::fsync);
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
