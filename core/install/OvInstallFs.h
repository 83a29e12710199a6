#ifndef OVINSTALLFS_H
#define OVINSTALLFS_H

#include <QString>

class QFileDevice;

// The few file-system calls where an install depends on the platform: making data durable
// before the next step relies on it, and moving one file over another in a single step.
namespace OvInstallFs {

enum class Move
{
    Done,
    Busy,  // the file is held by someone else for now (a scanner, a running program): retry
    Failed // anything else: retrying will not help
};

// Pushes the open file's data to the disk; true when the system confirms it.
bool syncFile(QFileDevice &file);

// Staged files must be on the disk before the swap starts. Where the system can flush a whole
// file system in one call (Linux: syncfs), a file needs nothing on its own and syncVolume()
// after the last one does it, with their directory entries; elsewhere each file is flushed
// here, before it is closed. True when nothing failed.
bool syncStagedFile(QFileDevice &file);

// Makes what this process wrote, created and renamed on the volume that holds `path` durable,
// where syncStagedFile() and moveOver() have not done so already; true when the system
// confirms.
bool syncVolume(const QString &path);

// Makes the entries of a directory (creations, renames) durable; a no-op where the file system
// does that by itself.
bool syncDirectory(const QString &dirPath);

// Renames `from` to `to`, replacing what is at `to` (a file or a link, never a directory), in
// one step. `error` gets the system's reason when it is not Done.
Move moveOver(const QString &from, const QString &to, QString *error);

} // namespace OvInstallFs

#endif // OVINSTALLFS_H
