#include "core/install/OvZipHelper.h"

#include "core/install/OvChunkWriter.h"
#include "core/install/OvDestinationGuard.h"
#include "core/install/OvZipEntryMode.h"
#include "core/install/OvZipEntryName.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <unzip.h>

#include <cstring>

namespace {

constexpr int kNameBufferSize = 256;
constexpr int kExtraBufferSize = 256;
constexpr int kCommentBufferSize = 64;
constexpr int kReadChunkSize = 10240;
// Chunks gathered before one write. Each write is a system call, which costs dearly next to
// inflating 10 KB; from about 8 chunks on the time no longer drops, and 32 (320 KB) stay well
// inside a core's second-level cache, so the kernel copies the bytes from there.
constexpr int kChunksPerWrite = 32;
constexpr int kStagingSize = kReadChunkSize * kChunksPerWrite;

constexpr qint64 kCentralHeaderSize = 46;
constexpr uLong kFlagEncrypted = 0x1;
constexpr uLong kMethodStored = 0;
constexpr uLong kMethodDeflated = Z_DEFLATED;

// Everything one call keeps between entries: the buffers are set up once, the target file
// object and the directory checks are reused for every entry.
struct Walk
{
    unzFile archive = nullptr;
    OvDestinationGuard *guard = nullptr;
    QFile file;
    unz_file_info64 info;
    char name[kNameBufferSize];
    char extra[kExtraBufferSize];
    char comment[kCommentBufferSize];
    // Inflated data waits in its buffers until one fills or the entry ends, then goes out in
    // one write.
    OvChunkWriter *writer = nullptr;
    QByteArray longName; // only for names that do not fit into `name`
    // Converting a local time asks the C library for the time zone, which stats its file
    // every time; packages repeat a handful of timestamps over thousands of entries.
    QHash<uLong, QDateTime> times;
};

// The entry's name as recorded. A name longer than the fixed buffer is read again, whole,
// into a buffer of the recorded length, so that it is never cut short or read past.
bool recordedName(Walk &walk, QByteArray *raw)
{
    const int length = static_cast<int>(walk.info.size_filename);
    if (length <= kNameBufferSize) {
        *raw = QByteArray::fromRawData(walk.name, length);
        return true;
    }
    walk.longName.resize(length);
    const int ret = unzGetCurrentFileInfo64(walk.archive, nullptr, walk.longName.data(),
                                            static_cast<uLong>(length), nullptr, 0, nullptr, 0);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() - Fail to unzGetCurrentFileInfo64" << ret;
        return false;
    }
    *raw = walk.longName;
    return true;
}

QDateTime recordedTime(Walk &walk)
{
    auto found = walk.times.find(walk.info.dosDate);
    if (found == walk.times.end()) {
        const tm_unz &date = walk.info.tmu_date;
        // minizip counts months from 0, QDate from 1.
        const QDateTime time(QDate(static_cast<int>(date.tm_year),
                                   static_cast<int>(date.tm_mon) + 1,
                                   static_cast<int>(date.tm_mday)),
                             QTime(static_cast<int>(date.tm_hour), static_cast<int>(date.tm_min),
                                   static_cast<int>(date.tm_sec), 0));
        found = walk.times.insert(walk.info.dosDate, time);
    }
    return found.value();
}

// Copies the open entry into the open target file: minizip fills the writer's buffer one chunk
// at a time, and the buffer is handed over whenever the next chunk would not fit. An entry
// that fits into one buffer, as most do, is written right here: handing it to the other
// thread would cost more than it overlaps.
void copyData(Walk &walk)
{
    OvChunkWriter &writer = *walk.writer;
    const int capacity = writer.bufferSize();
    int staged = 0;
    bool isHandedOver = false;
    for (;;) {
        const int read = unzReadCurrentFile(walk.archive, writer.buffer() + staged, kReadChunkSize);
        if (read < 1)
            break; // end of data, or a read error that keeps what was written
        staged += read;
        if (staged > capacity - kReadChunkSize) {
            // Without its thread (the system would not start one) the walk writes by itself.
            if (writer.isRunning()) {
                writer.submit(&walk.file, staged);
                isHandedOver = true;
            } else {
                OvChunkWriter::writeChunk(walk.file, writer.buffer(), staged);
            }
            staged = 0;
        }
    }
    if (isHandedOver) {
        if (staged > 0)
            writer.submit(&walk.file, staged);
        writer.drain();
    } else if (staged > 0) {
        OvChunkWriter::writeChunk(walk.file, writer.buffer(), staged);
    }
}

void setRecordedTimes(Walk &walk)
{
    const QDateTime time = recordedTime(walk);
    walk.file.setFileTime(time, QFileDevice::FileBirthTime);
    if (walk.info.size_file_extra > 0) {
        // Whatever the extra field says about times, the recorded date is the one we trust.
        walk.file.setFileTime(time, QFileDevice::FileAccessTime);
        walk.file.setFileTime(time, QFileDevice::FileMetadataChangeTime);
        walk.file.setFileTime(time, QFileDevice::FileModificationTime);
    }
}

// Handles the current entry after its info was read; every failure here is logged and only
// affects this entry.
void extractEntry(Walk &walk)
{
    QByteArray raw;
    if (!recordedName(walk, &raw))
        return;
    const QString name = QString::fromLocal8Bit(raw.constData(), raw.size());
    const QString relative = OvZipEntryName::safeRelativePath(name);
    if (relative.isEmpty()) {
        qDebug() << "OvZipHelper::upzip() - Skip unsafe entry name" << name;
        return;
    }

    const QString targetPath = walk.guard->rootPath() + QLatin1Char('/') + relative;
    const bool isDirectory = relative.endsWith(QLatin1Char('/'));
    const QString dirPath = isDirectory ? targetPath.left(targetPath.size() - 1)
                                        : targetPath.left(targetPath.lastIndexOf(QLatin1Char('/')));

    const QFileInfo target(isDirectory ? dirPath : targetPath);
    // A link in the target's place is replaced, never written through.
    const bool isLink = !isDirectory && target.isSymLink();
    const bool existed = isLink || target.exists();
    if (walk.guard->prepareDirectory(dirPath) == OvDestinationGuard::Placement::Outside) {
        qDebug() << "OvZipHelper::upzip() - Skip entry outside the destination" << name;
        return;
    }
    if (existed)
        qDebug() << "OvZipHelper::upzip() - file had existed!!" << targetPath;

    // minizip has no password to give and hands out other methods as raw compressed bytes,
    // so both would only ever produce garbage files.
    const bool readable =
        !(walk.info.flag & kFlagEncrypted) && (walk.info.compression_method == kMethodStored ||
                                               walk.info.compression_method == kMethodDeflated);
    const int openRet = readable ? unzOpenCurrentFile(walk.archive) : UNZ_BADZIPFILE;
    if (openRet != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() - Fail to unzOpenCurrentFile" << openRet;
        return;
    }

    if (isLink)
        QFile::remove(targetPath); // the link itself goes, not what it points to
    walk.file.setFileName(targetPath);
    if (!walk.file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        unzCloseCurrentFile(walk.archive);
        qDebug() << "OvZipHelper::upzip() - Fail to open Writing File" << targetPath
                 << walk.file.errorString();
        return;
    }
    copyData(walk);
    // A program the package brings must be runnable once extracted.
    const QFileDevice::Permissions rights =
        OvZipEntryMode::permissions(walk.info.version, walk.info.external_fa);
    if (rights)
        walk.file.setPermissions(rights);
    setRecordedTimes(walk);
    walk.file.close();

    const int closeRet = unzCloseCurrentFile(walk.archive);
    if (closeRet != UNZ_OK)
        qDebug() << "OvZipHelper::upzip() - Fail to unzCloseCurrentFile" << closeRet;
}

} // namespace

OvZipHelper::OvZipHelper(QObject *parent) : QObject(parent) {}

bool OvZipHelper::upzip(const QString &zipPath, const QString &destDir)
{
    if (!QFileInfo::exists(zipPath))
        return finish(nullptr, false);
    if (!QDir(destDir).exists() && !QDir().mkpath(destDir)) {
        qCritical() << "OvZipHelper::upzip() - Fail to mkpath()" << destDir;
        return finish(nullptr, false);
    }

    const QByteArray encodedPath = zipPath.toLocal8Bit();
    unzFile archive = unzOpen64(encodedPath.constData());
    if (!archive) {
        qDebug() << "OvZipHelper::upzip() Fail to open unzip File" << zipPath;
        return finish(nullptr, false);
    }

    unz_global_info64 globalInfo;
    int ret = unzGetGlobalInfo64(archive, &globalInfo);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() Fail to get global info" << ret;
        return finish(archive, false);
    }
    qDebug() << "OvZipHelper::upzip() Success to get global info:" << globalInfo.number_entry
             << globalInfo.size_comment;
    // Every entry takes at least a 46-byte header in the central directory. A count beyond what
    // the file could hold marks a damaged or forged archive, and a 64-bit one would turn
    // negative as the total that progress reports.
    const auto capacity = static_cast<ZPOS64_T>(QFileInfo(zipPath).size() / kCentralHeaderSize);
    if (globalInfo.number_entry > capacity) {
        qDebug() << "OvZipHelper::upzip() Fail to get global info: more entries recorded than"
                 << zipPath << "can hold";
        return finish(archive, false);
    }
    const tds8 total = static_cast<tds8>(globalInfo.number_entry);

    ret = unzGoToFirstFile(archive);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() Fail to unzGoToFirstFile" << ret;
        return finish(archive, false);
    }

    OvDestinationGuard guard(QDir::cleanPath(QDir(destDir).absolutePath()));
    OvChunkWriter writer(kStagingSize);
    Walk walk;
    walk.archive = archive;
    walk.guard = &guard;
    walk.writer = &writer;
    std::memset(walk.name, 0, sizeof walk.name);
    std::memset(walk.extra, 0, sizeof walk.extra);
    std::memset(walk.comment, 0, sizeof walk.comment);

    tds8 index = 0;
    do {
        qDebug() << "OvZipHelper::upzip() - currentIndex " << index;
        ret = unzGetCurrentFileInfo64(archive, &walk.info, walk.name, kNameBufferSize, walk.extra,
                                      kExtraBufferSize, walk.comment, kCommentBufferSize - 1);
        if (ret != UNZ_OK)
            qDebug() << "OvZipHelper::upzip() - Fail to unzGetCurrentFileInfo64" << ret;
        else
            extractEntry(walk);
        ++index;
        emit sigUpZipProgress(index, total);
    } while (unzGoToNextFile(archive) == UNZ_OK);

    if (unzClose(archive) != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() - Fail to close unzip file" << zipPath;
        return finish(nullptr, false);
    }
    return finish(nullptr, true);
}

bool OvZipHelper::finish(void *archive, bool isSucc)
{
    if (archive)
        unzClose(static_cast<unzFile>(archive));
    emit sigUpZipFinished(isSucc);
    return isSucc;
}
