#include "core/install/OvInstallFs.h"

#include <QDir>
#include <QFileDevice>

#include <windows.h>

#include <io.h>

namespace OvInstallFs {

bool syncFile(QFileDevice &file)
{
    const intptr_t handle = _get_osfhandle(file.handle());
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

bool syncStagedFile(QFileDevice &file)
{
    return syncFile(file); // no call flushes a whole volume without administrator rights
}

bool syncVolume(const QString &)
{
    return true; // each staged file was flushed, each move written through
}

bool syncDirectory(const QString &)
{
    return true; // NTFS journals its directory changes itself
}

Move moveOver(const QString &from, const QString &to, QString *error)
{
    const std::wstring source = QDir::toNativeSeparators(from).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return Move::Done;
    const DWORD code = GetLastError();
    *error = QStringLiteral("Windows error %1").arg(code);
    // Scanners and indexers open files for a moment; a running program's file cannot be
    // replaced, but it can be renamed aside first, which the swap does.
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
                   code == ERROR_LOCK_VIOLATION
               ? Move::Busy
               : Move::Failed;
}

} // namespace OvInstallFs
