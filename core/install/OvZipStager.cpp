#include "core/install/OvZipStager.h"

#include "core/install/OvInstallFs.h"
#include "core/install/OvZipIo.h"

#include <QDebug>
#include <QDir>

#include <unzip.h>

namespace {

// Large enough that the system calls per entry do not weigh, small enough for a core's
// second-level cache; one per thread, so at most four of them.
constexpr int kBufferSize = 256 * 1024;
constexpr quint32 kFlagEncrypted = 0x1;
constexpr quint32 kMethodStored = 0;
constexpr quint32 kMethodDeflated = Z_DEFLATED;

} // namespace

OvZipStager::OvZipStager(const QString &zipPath, const QString &stagingDir)
    : archive(OvZipIo::open(zipPath)), stagingDir(stagingDir), buffer(new char[kBufferSize])
{
}

OvZipStager::~OvZipStager()
{
    if (archive)
        unzClose(static_cast<unzFile>(archive));
}

OvZipStager::Result OvZipStager::stage(const Entry &entry, QString *error)
{
    if (entry.relative.isEmpty())
        return Result::Done;
    const QString path = stagingDir + QLatin1Char('/') + entry.relative;
    if (entry.isDirectory)
        return makeDir(path) ? Result::Done
                             : fail(Result::Unwritable, QStringLiteral("cannot create"), error);
    if (!makeDir(path.left(path.lastIndexOf(QLatin1Char('/')))))
        return fail(Result::Unwritable, QStringLiteral("cannot create its directory"), error);

    // minizip has no password to give and hands out other methods as raw compressed bytes.
    if ((entry.flag & kFlagEncrypted) ||
        (entry.method != kMethodStored && entry.method != kMethodDeflated))
        return fail(Result::Unreadable, QStringLiteral("encrypted or of an unknown method"), error);
    const unzFile zf = static_cast<unzFile>(archive);
    int ret = zf ? unzSetOffset64(zf, entry.offset) : UNZ_BADZIPFILE;
    if (ret == UNZ_OK)
        ret = unzOpenCurrentFile(zf);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() - Fail to unzOpenCurrentFile" << ret;
        return fail(Result::Unreadable, QStringLiteral("cannot open its data: %1").arg(ret), error);
    }

    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        unzCloseCurrentFile(zf);
        qDebug() << "OvZipHelper::upzip() - Fail to open Writing File" << path
                 << file.errorString();
        return fail(Result::Unwritable, file.errorString(), error);
    }
    int read;
    while ((read = unzReadCurrentFile(zf, buffer.get(), kBufferSize)) > 0) {
        const qint64 written = file.write(buffer.get(), read);
        if (written != read) {
            qDebug() << "OvZipHelper::upzip() - Write data has some wrong!!" << written << read;
            const QString why = file.errorString();
            file.close();
            unzCloseCurrentFile(zf);
            return fail(Result::Unwritable, QStringLiteral("short write: ") + why, error);
        }
    }
    if (entry.rights)
        file.setPermissions(entry.rights);
    file.setFileTime(entry.time, QFileDevice::FileBirthTime);
    if (entry.hasExtraField) {
        // Whatever the extra field says about times, the recorded date is the one we trust.
        file.setFileTime(entry.time, QFileDevice::FileAccessTime);
        file.setFileTime(entry.time, QFileDevice::FileMetadataChangeTime);
        file.setFileTime(entry.time, QFileDevice::FileModificationTime);
    }
    // The swap renames this file into place: its data must be on the disk before that.
    const bool isSynced = read == 0 && OvInstallFs::syncStagedFile(file);
    file.close();
    // The close is where minizip compares the checksum.
    const int closeRet = unzCloseCurrentFile(zf);
    if (closeRet != UNZ_OK)
        qDebug() << "OvZipHelper::upzip() - Fail to unzCloseCurrentFile" << closeRet;
    if (read < 0 || closeRet != UNZ_OK)
        return fail(Result::Unreadable,
                    QStringLiteral("damaged data: %1").arg(read < 0 ? read : closeRet), error);
    if (!isSynced)
        return fail(Result::Unwritable, QStringLiteral("cannot be flushed: ") + file.errorString(),
                    error);
    return Result::Done;
}

bool OvZipStager::makeDir(const QString &path)
{
    if (madeDirs.contains(path))
        return true;
    if (!QDir().mkpath(path))
        return false;
    madeDirs.insert(path);
    return true;
}

OvZipStager::Result OvZipStager::fail(Result result, const QString &why, QString *error)
{
    *error = why;
    return result;
}
