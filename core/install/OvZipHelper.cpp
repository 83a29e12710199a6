#include "core/install/OvZipHelper.h"

#include "core/install/OvDestinationGuard.h"
#include "core/install/OvInstallTransaction.h"
#include "core/install/OvZipEntryMode.h"
#include "core/install/OvZipEntryName.h"
#include "core/install/OvZipIo.h"
#include "core/install/OvZipStager.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRunnable>
#include <QStorageInfo>
#include <QThreadPool>
#include <QVector>

#include <unzip.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numeric>

namespace {

constexpr int kNameBufferSize = 256;
constexpr int kExtraBufferSize = 256;
constexpr int kCommentBufferSize = 64;
// Each file takes at least a block beyond its data; a tenth more covers the file system's own
// bookkeeping and the journal.
constexpr quint64 kBlockSize = 4096;
constexpr quint64 kMarginDivisor = 10;

using Entry = OvZipStager::Entry;
// Every entry takes at least this many bytes in the central directory.
constexpr qint64 kCentralHeaderSize = 46;

// The walk over the archive's directory, on the calling thread: what each entry will become.
struct Plan
{
    unzFile archive = nullptr;
    OvDestinationGuard *guard = nullptr;
    unz_file_info64 info;
    char name[kNameBufferSize];
    char extra[kExtraBufferSize];
    char comment[kCommentBufferSize];
    // Converting a local time asks the C library for the time zone, which stats its file
    // every time; packages repeat a handful of timestamps over thousands of entries.
    QHash<uLong, QDateTime> times;
    QVector<Entry> entries;
    QHash<QString, int> latest; // a name recorded twice: the later entry wins, as with unzip -o
    quint64 needed = 0;
};

// The entry's name as recorded. A name longer than the fixed buffer is read again, whole,
// into a buffer of the recorded length, so that it is never cut short or read past.
bool recordedName(Plan &plan, QByteArray *raw)
{
    const int length = static_cast<int>(plan.info.size_filename);
    if (length <= kNameBufferSize) {
        *raw = QByteArray(plan.name, length);
        return true;
    }
    raw->resize(length);
    return unzGetCurrentFileInfo64(plan.archive, nullptr, raw->data(), static_cast<uLong>(length),
                                   nullptr, 0, nullptr, 0) == UNZ_OK;
}

QDateTime recordedTime(Plan &plan)
{
    auto found = plan.times.find(plan.info.dosDate);
    if (found == plan.times.end()) {
        const tm_unz &date = plan.info.tmu_date;
        // minizip counts months from 0, QDate from 1.
        const QDateTime time(QDate(static_cast<int>(date.tm_year),
                                   static_cast<int>(date.tm_mon) + 1,
                                   static_cast<int>(date.tm_mday)),
                             QTime(static_cast<int>(date.tm_hour), static_cast<int>(date.tm_min),
                                   static_cast<int>(date.tm_sec), 0));
        found = plan.times.insert(plan.info.dosDate, time);
    }
    return found.value();
}

// The owner's, group's and others' rights of a file, from the status QFileInfo has read already;
// permissions() would also ask the system three times what this user may do with it.
QFileDevice::Permissions modeOf(const QFileInfo &info)
{
    QFileDevice::Permissions rights;
    for (const QFileDevice::Permission bit :
         {QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
          QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
          QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther}) {
        if (info.permission(bit))
            rights |= bit;
    }
    return rights;
}

// Decides about the current entry; an empty `relative` means it is skipped (with its log line).
// Returns an error, with its text in `why`, when the entry can never be installed: that fails the
// whole install.
OvZipHelper::Error planEntry(Plan &plan, Entry *entry, QString *why)
{
    QByteArray raw;
    if (!recordedName(plan, &raw)) {
        *why = QStringLiteral("cannot read the name of an entry");
        return OvZipHelper::Error::EntryUnreadable;
    }
    const QString name = QString::fromLocal8Bit(raw.constData(), raw.size());
    QString relative = OvZipEntryName::safeRelativePath(name);
    // The install's own state must not be reachable from a package.
    if (relative.isEmpty() ||
        relative.section(QLatin1Char('/'), 0, 0)
                .compare(QLatin1String(".ovupdate"), Qt::CaseInsensitive) == 0) {
        qDebug() << "OvZipHelper::upzip() - Skip unsafe entry name" << name;
        return OvZipHelper::Error::NoError;
    }
    entry->isDirectory = relative.endsWith(QLatin1Char('/'));
    if (entry->isDirectory)
        relative.chop(1);
    const QString target = plan.guard->rootPath() + QLatin1Char('/') + relative;
    const QString dirPath =
        entry->isDirectory ? target : target.left(target.lastIndexOf(QLatin1Char('/')));
    const OvDestinationGuard::Placement placement = plan.guard->place(dirPath);
    if (placement == OvDestinationGuard::Placement::Outside) {
        qDebug() << "OvZipHelper::upzip() - Skip entry outside the destination" << name;
        return OvZipHelper::Error::NoError;
    }
    const QFileInfo existing(target);
    // Asking for the link first lets one lstat() answer every question below for a file.
    const bool isLink = existing.isSymLink();
    if (isLink || existing.exists())
        qDebug() << "OvZipHelper::upzip() - file had existed!!" << target;
    // A link in a file's place is replaced, never written through; a directory is never
    // replaced by a file.
    if (placement == OvDestinationGuard::Placement::Blocked ||
        (!entry->isDirectory && !isLink && existing.isDir())) {
        *why = QStringLiteral("cannot replace what is in the place of %1").arg(target);
        return OvZipHelper::Error::TargetNotReplaced;
    }

    entry->relative = relative;
    const int earlier = plan.latest.value(relative, -1);
    if (earlier >= 0)
        plan.entries[earlier].relative.clear();
    plan.latest.insert(relative, plan.entries.size());
    // A program the package brings must be runnable once installed; a file that records no
    // rights keeps those of the file it replaces, as it did when it was written over.
    entry->rights = OvZipEntryMode::permissions(static_cast<quint32>(plan.info.version),
                                                static_cast<quint32>(plan.info.external_fa));
    if (!entry->rights && !isLink && existing.exists())
        entry->rights = modeOf(existing);
    entry->flag = static_cast<quint32>(plan.info.flag);
    entry->method = static_cast<quint32>(plan.info.compression_method);
    entry->time = recordedTime(plan);
    entry->hasExtraField = plan.info.size_file_extra > 0;
    entry->size = plan.info.uncompressed_size;
    plan.needed += entry->size + kBlockSize;
    return OvZipHelper::Error::NoError;
}

// The entries shared out between the threads that stage them; the first failure stops them all.
// The standard library's mutex, not QMutex: ThreadSanitizer sees its locking through pthreads,
// while QMutex's contended path and QWaitCondition run inside Qt, which is not instrumented.
struct Staging
{
    Staging(const QVector<Entry> &entries, const QString &zipPath, const QString &stagingDir)
        : entries(entries), zipPath(zipPath), stagingDir(stagingDir), order(entries.size())
    {
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&entries](int a, int b) {
            return entries.at(a).size > entries.at(b).size;
        });
    }

    const QVector<Entry> &entries;
    const QString zipPath;
    const QString stagingDir;
    std::mutex mutex;
    std::condition_variable changed;
    // The largest entries go first, so that no thread is left with a large one at the end while
    // the others have nothing to do; progress is still reported in the archive's order.
    QVector<int> order;
    int next = 0;
    QVector<bool> done = QVector<bool>(entries.size(), false);
    OvZipStager::Result result = OvZipStager::Result::Done;
    QString why;

    // The next entry to stage, or -1 when there is none (left) to do.
    int take()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return result != OvZipStager::Result::Done || next >= entries.size() ? -1
                                                                             : order.at(next++);
    }
    void stageOne(OvZipStager &stager, int index)
    {
        QString error;
        const OvZipStager::Result got = stager.stage(entries.at(index), &error);
        const std::lock_guard<std::mutex> lock(mutex);
        done[index] = true;
        if (got != OvZipStager::Result::Done && result == OvZipStager::Result::Done) {
            result = got;
            why = QStringLiteral("%1: %2").arg(entries.at(index).relative, error);
        }
        changed.notify_all();
    }
};

class StagingTask : public QRunnable
{
public:
    explicit StagingTask(Staging &staging) : staging(staging) {}
    void run() override
    {
        OvZipStager stager(staging.zipPath, staging.stagingDir);
        for (int index; (index = staging.take()) >= 0;)
            staging.stageOne(stager, index);
    }

private:
    Staging &staging;
};

} // namespace

OvZipHelper::OvZipHelper(QObject *parent) : QObject(parent) {}

bool OvZipHelper::upzip(const QString &zipPath, const QString &destDir)
{
    if (!QFileInfo::exists(zipPath))
        return finish(Error::ArchiveMissing, QStringLiteral("no package at %1").arg(zipPath));
    if (!QDir(destDir).exists() && !QDir().mkpath(destDir)) {
        qCritical() << "OvZipHelper::upzip() - Fail to mkpath()" << destDir;
        return finish(Error::DestinationNotCreated,
                      QStringLiteral("cannot create %1").arg(destDir));
    }

    Plan plan;
    plan.archive = OvZipIo::open(zipPath);
    if (!plan.archive) {
        qDebug() << "OvZipHelper::upzip() Fail to open unzip File" << zipPath;
        return finish(Error::ArchiveUnreadable,
                      QStringLiteral("%1 is no zip archive").arg(zipPath));
    }
    const auto failOpen = [&](Error error, const QString &why) {
        unzClose(plan.archive);
        return finish(error, why);
    };
    unz_global_info64 globalInfo;
    int ret = unzGetGlobalInfo64(plan.archive, &globalInfo);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() Fail to get global info" << ret;
        return failOpen(Error::ArchiveUnreadable, QStringLiteral("damaged archive: %1").arg(ret));
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
        return failOpen(Error::ArchiveUnreadable, QStringLiteral("%1 entries recorded in %2 bytes")
                                                      .arg(globalInfo.number_entry)
                                                      .arg(QFileInfo(zipPath).size()));
    }
    const tds8 total = static_cast<tds8>(globalInfo.number_entry);
    ret = unzGoToFirstFile(plan.archive);
    if (ret != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() Fail to unzGoToFirstFile" << ret;
        return failOpen(Error::ArchiveUnreadable, QStringLiteral("no entry found: %1").arg(ret));
    }

    const QString root = QDir::cleanPath(QDir(destDir).absolutePath());
    OvDestinationGuard guard(root);
    plan.guard = &guard;
    std::memset(plan.name, 0, sizeof plan.name);
    std::memset(plan.extra, 0, sizeof plan.extra);
    std::memset(plan.comment, 0, sizeof plan.comment);
    do {
        qDebug() << "OvZipHelper::upzip() - currentIndex " << plan.entries.size();
        ret = unzGetCurrentFileInfo64(plan.archive, &plan.info, plan.name, kNameBufferSize,
                                      plan.extra, kExtraBufferSize, plan.comment,
                                      kCommentBufferSize - 1);
        if (ret != UNZ_OK) {
            qDebug() << "OvZipHelper::upzip() - Fail to unzGetCurrentFileInfo64" << ret;
            return failOpen(
                Error::EntryUnreadable,
                QStringLiteral("cannot read entry %1: %2").arg(plan.entries.size()).arg(ret));
        }
        Entry entry;
        entry.offset = unzGetOffset64(plan.archive);
        QString why;
        const Error error = planEntry(plan, &entry, &why);
        if (error != Error::NoError)
            return failOpen(error, why);
        plan.entries.append(entry);
    } while (unzGoToNextFile(plan.archive) == UNZ_OK);
    if (unzClose(plan.archive) != UNZ_OK) {
        qDebug() << "OvZipHelper::upzip() - Fail to close unzip file" << zipPath;
        return finish(Error::ArchiveUnreadable, QStringLiteral("cannot close %1").arg(zipPath));
    }

    // Space first: finding out halfway through costs the user the time until then.
    const QStorageInfo volume(root);
    const quint64 needed = plan.needed + plan.needed / kMarginDivisor;
    if (volume.isValid() && volume.bytesAvailable() >= 0 &&
        needed > static_cast<quint64>(volume.bytesAvailable())) {
        qDebug() << "OvZipHelper::upzip() - Not enough free space: need" << needed
                 << "bytes, available" << volume.bytesAvailable();
        return finish(Error::NoSpace, QStringLiteral("%1 bytes needed, %2 available")
                                          .arg(needed)
                                          .arg(volume.bytesAvailable()));
    }

    OvInstallTransaction transaction(root);
    QString why;
    if (!transaction.begin(&why))
        return finish(Error::StateNotWritten, why);

    // Entries are independent until the swap: several threads inflate them side by side, the
    // calling thread among them, and only the calling thread reports, in order.
    Staging staging(plan.entries, zipPath, transaction.stagingDir());
    const int threads = OvInstallTransaction::threadCount();
    QThreadPool pool;
    pool.setMaxThreadCount(qMax(1, threads - 1));
    for (int i = 1; i < threads && i < plan.entries.size(); ++i)
        pool.start(new StagingTask(staging));
    {
        OvZipStager stager(zipPath, staging.stagingDir);
        std::unique_lock<std::mutex> lock(staging.mutex);
        for (int reported = 0; reported < plan.entries.size();) {
            if (staging.done.at(reported)) {
                lock.unlock();
                emit sigUpZipProgress(++reported, total);
                lock.lock();
            } else if (staging.result != OvZipStager::Result::Done) {
                break;
            } else if (staging.next < plan.entries.size()) {
                const int index = staging.order.at(staging.next++);
                lock.unlock();
                staging.stageOne(stager, index);
                lock.lock();
            } else {
                staging.changed.wait(lock);
            }
        }
    }
    pool.waitForDone();
    // The pool threads have ended, but that is only known through Qt's own locking, which
    // ThreadSanitizer cannot see: taking the mutex once more orders their last steps before ours.
    {
        const std::lock_guard<std::mutex> ordered(staging.mutex);
    }

    if (staging.result != OvZipStager::Result::Done) {
        transaction.abort();
        return finish(staging.result == OvZipStager::Result::Unreadable ? Error::EntryUnreadable
                                                                        : Error::EntryNotWritten,
                      staging.why);
    }
    for (const Entry &entry : qAsConst(plan.entries)) {
        if (entry.relative.isEmpty())
            continue;
        if (entry.isDirectory)
            transaction.addDirectory(entry.relative);
        else
            transaction.addFile(entry.relative);
    }
    if (!transaction.swap(&why))
        return finish(Error::TargetNotReplaced, why);
    return finish(Error::NoError);
}

bool OvZipHelper::finish(Error error, const QString &why)
{
    lastError = error;
    lastErrorString = why;
    if (error != Error::NoError && error != Error::ArchiveMissing)
        qDebug() << "OvZipHelper::upzip() - Nothing installed:" << why;
    emit sigUpZipFinished(error == Error::NoError);
    return error == Error::NoError;
}
