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

// Makes the entries of a directory (creations, renames) durable; a no-op where the file system
// does that by itself.
bool syncDirectory(const QString &dirPath);

// Renames `from` to `to`, replacing what is at `to` (a file or a link, never a directory), in
// one step. `error` gets the system's reason when it is not Done.
Move moveOver(const QString &from, const QString &to, QString *error);

} // namespace OvInstallFs

#endif // OVINSTALLFS_H
