#include "core/install/OvInstallTransaction.h"

#include "core/install/OvInstallFs.h"
#include "core/install/OvZipEntryName.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRunnable>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <algorithm>

namespace {

const QString kHeader = QStringLiteral("ovupdate-journal 1");
const QString kStaging = QStringLiteral("staging");
const QString kSwap = QStringLiteral("swap");
// Scanners and indexers hold a file for a moment; a few seconds cover them without making a
// real failure wait long.
constexpr int kRetryMs = 3000;
constexpr int kFirstDelayMs = 20;
constexpr int kLongestDelayMs = 400;
constexpr int kMostThreads = 4;

bool isThere(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool moveRetrying(const QString &from, const QString &to, QString *error)
{
    QElapsedTimer clock;
    clock.start();
    int delay = kFirstDelayMs;
    for (;;) {
        const OvInstallFs::Move move = OvInstallFs::moveOver(from, to, error);
        if (move == OvInstallFs::Move::Done)
            return true;
        if (move == OvInstallFs::Move::Failed || clock.elapsed() + delay > kRetryMs) {
            *error = QStringLiteral("cannot move %1 to %2: %3").arg(from, to, *error);
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(delay));
        delay = qMin(delay * 2, kLongestDelayMs);
    }
}

// Journal lines name paths percent-encoded, so that no name can break a line.
QString line(const char *kind, const QString &relative)
{
    return QLatin1String(kind) + QLatin1Char(' ') +
           QString::fromLatin1(QUrl::toPercentEncoding(relative, "/"));
}

// What a rollback acts on: a kind it knows and a clean path below the root. A damaged or
// planted journal must not reach a file anywhere else ("new ../x" would remove it).
bool isJournalLine(const QString &text)
{
    const QString kind = text.left(4);
    if (kind != QLatin1String("old ") && kind != QLatin1String("new ") &&
        kind != QLatin1String("dir "))
        return false;
    const QString relative = QUrl::fromPercentEncoding(text.mid(4).toLatin1());
    return !relative.isEmpty() && OvZipEntryName::safeRelativePath(relative) == relative;
}

} // namespace

void (*OvInstallTransaction::stepHook)(const char *phase, int moved) = nullptr;

OvInstallTransaction::OvInstallTransaction(const QString &root)
    : root(root), stateDir(root + QStringLiteral("/.ovupdate"))
{
}

bool OvInstallTransaction::begin(QString *error)
{
    // Backups of an install that could not be undone are all that is left of the old files.
    if (recover(root) == Recovery::Failed) {
        *error = QStringLiteral("an earlier install in %1 could not be undone").arg(root);
        return false;
    }
    if (!QDir().mkpath(stagingDir())) {
        *error = QStringLiteral("cannot create %1").arg(stagingDir());
        return false;
    }
    if (!writeJournal({kHeader, kStaging}, error))
        return false;
    if (stepHook)
        stepHook("staging", 0);
    return true;
}

bool OvInstallTransaction::swap(QString *error)
{
    // What is there now decides what a rollback has to do, so it goes into the journal first.
    QStringList journal{kHeader, kSwap};
    QStringList created, fileLines;
    QSet<QString> seen;
    const auto needDirectory = [&](const QString &relative) {
        const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString path;
        for (const QString &part : parts) {
            path += (path.isEmpty() ? QString() : QStringLiteral("/")) + part;
            if (!seen.contains(path) && (seen.insert(path), !isThere(root + '/' + path))) {
                journal << line("dir", path);
                created << path;
            }
        }
    };
    for (const QString &dir : qAsConst(directories))
        needDirectory(dir);
    QStringList backups;
    for (const QString &file : qAsConst(files)) {
        needDirectory(file.section(QLatin1Char('/'), 0, -2));
        const QFileInfo target(root + '/' + file);
        const bool isLink = target.isSymLink(); // first: one lstat() answers all for a file
        if (!isLink && target.isDir()) {
            *error = QStringLiteral("a directory is in the place of %1").arg(target.filePath());
            abort();
            return false;
        }
        const bool isOld = isLink || target.exists();
        fileLines << line(isOld ? "old" : "new", file);
        if (isOld)
            backups << stateDir + QStringLiteral("/backup/") + file;
    }
    journal << fileLines; // directories first: a rollback takes the lines backwards
    // The journal must not send a restart to staged files that a power cut could have lost.
    if (!OvInstallFs::syncVolume(stagingDir())) {
        *error = QStringLiteral("cannot flush the staged files in %1").arg(stagingDir());
        abort();
        return false;
    }
    if (!writeJournal(journal, error)) {
        abort();
        return false;
    }

    bool isDone = true;
    for (const QString &dir : qAsConst(created)) {
        if (isDone && !QDir().mkdir(root + '/' + dir)) {
            *error = QStringLiteral("cannot create %1").arg(root + '/' + dir);
            isDone = false;
        }
    }
    QSet<QString> backupDirs;
    int moved = 0;
    for (int i = 0, old = 0; isDone && i < files.size(); ++i) {
        const QString &file = files.at(i);
        const QString target = root + '/' + file;
        // The old file is renamed aside, never overwritten: that works for a running program.
        if (fileLines.at(i).startsWith(QLatin1String("old"))) {
            const QString &backup = backups.at(old++);
            const QString backupParent = backup.left(backup.lastIndexOf(QLatin1Char('/')));
            isDone = (backupDirs.contains(backupParent) ||
                      (QDir().mkpath(backupParent) && (backupDirs.insert(backupParent), true))) &&
                     moveRetrying(target, backup, error);
        }
        isDone = isDone && moveRetrying(stagingDir() + '/' + file, target, error);
        if (isDone && stepHook)
            stepHook("swap", ++moved);
    }
    // The moves must be on the disk before the journal goes.
    if (isDone && !OvInstallFs::syncVolume(root)) {
        *error = QStringLiteral("cannot flush the moves in %1").arg(root);
        isDone = false;
    }
    if (!isDone) {
        QString why;
        if (rollBack(journal, &why))
            removeState(stateDir);
        else
            *error += QStringLiteral("; the rollback failed too: ") + why;
        return false;
    }
    // From here on a restart cleans up instead of rolling back.
    QFile::remove(stateDir + QStringLiteral("/journal"));
    OvInstallFs::syncDirectory(stateDir);
    removeFiles(backups);
    removeState(stateDir);
    return true;
}

void OvInstallTransaction::abort()
{
    removeState(stateDir);
}

OvInstallTransaction::Recovery OvInstallTransaction::recover(const QString &root)
{
    OvInstallTransaction state(root);
    if (!isThere(state.stateDir))
        return Recovery::Nothing;
    QFile journalFile(state.stateDir + QStringLiteral("/journal"));
    if (!journalFile.exists()) {
        removeState(state.stateDir);
        return Recovery::CleanedUp;
    }
    QStringList journal;
    if (journalFile.open(QIODevice::ReadOnly))
        journal = QString::fromUtf8(journalFile.readAll()).split('\n', Qt::SkipEmptyParts);
    journalFile.close();
    QString why;
    if (journal.size() < 2 || journal.first() != kHeader ||
        (journal.at(1) != kStaging && journal.at(1) != kSwap) ||
        !std::all_of(journal.cbegin() + 2, journal.cend(), isJournalLine))
        why = QStringLiteral("unreadable journal");
    else if (journal.at(1) == kStaging || state.rollBack(journal, &why))
        why.clear();
    else if (why.isEmpty())
        why = QStringLiteral("unknown reason");
    if (!why.isEmpty()) {
        qCritical() << "OvZipHelper - could not roll back the unfinished install in" << root << why;
        return Recovery::Failed;
    }
    removeState(state.stateDir);
    qDebug() << "OvZipHelper - rolled back an unfinished install in" << root;
    return Recovery::RolledBack;
}

bool OvInstallTransaction::writeJournal(const QStringList &lines, QString *error)
{
    // Written aside and renamed over the old one, so that a crash leaves one or the other whole.
    const QString path = stateDir + QStringLiteral("/journal");
    QFile file(path + QStringLiteral(".new"));
    const QByteArray text = (lines.join('\n') + '\n').toUtf8();
    QString why;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush() || !OvInstallFs::syncFile(file)) {
        *error = QStringLiteral("cannot write the journal %1: %2").arg(path, file.errorString());
        return false;
    }
    file.close();
    if (OvInstallFs::moveOver(file.fileName(), path, &why) != OvInstallFs::Move::Done ||
        !OvInstallFs::syncDirectory(stateDir)) {
        *error = QStringLiteral("cannot write the journal %1: %2").arg(path, why);
        return false;
    }
    return true;
}

bool OvInstallTransaction::rollBack(const QStringList &journal, QString *error)
{
    bool isBack = true;
    for (int i = journal.size() - 1; i >= 2; --i) {
        const QString kind = journal.at(i).left(3);
        const QString relative = QUrl::fromPercentEncoding(journal.at(i).mid(4).toLatin1());
        const QString target = root + '/' + relative;
        const QString backup = stateDir + QStringLiteral("/backup/") + relative;
        if (kind == QLatin1String("old") && isThere(backup)) {
            QString why;
            if (!moveRetrying(backup, target, &why)) {
                *error += why + QLatin1Char(' ');
                isBack = false;
            }
        } else if (kind == QLatin1String("new") && !isThere(stagingDir() + '/' + relative) &&
                   isThere(target)) {
            if (!QFile::remove(target)) {
                *error += QStringLiteral("cannot remove %1 ").arg(target);
                isBack = false;
            }
        } else if (kind == QLatin1String("dir")) {
            QDir().rmdir(target); // stays only if something else was put there meanwhile
        }
    }
    return isBack;
}

int OvInstallTransaction::threadCount()
{
    return qBound(1, QThread::idealThreadCount(), kMostThreads);
}

void OvInstallTransaction::removeFiles(const QStringList &paths)
{
    // Freeing a large file's blocks takes the system a while; the old files are independent,
    // so every thread an install may use takes its share.
    QAtomicInt next = 0;
    const auto removeNext = [&paths, &next]() {
        for (int i; (i = next.fetchAndAddRelaxed(1)) < paths.size();)
            QFile::remove(paths.at(i));
    };
    QThreadPool pool;
    pool.setMaxThreadCount(qMax(1, threadCount() - 1));
    for (int i = 1; i < threadCount() && i < paths.size(); ++i)
        pool.start(QRunnable::create(removeNext));
    removeNext();
    pool.waitForDone();
}

void OvInstallTransaction::removeState(const QString &stateDir)
{
    // What cannot go yet (on Windows the running updater's old file) goes at the next start.
    if (QFileInfo(stateDir).isSymLink())
        QFile::remove(stateDir);
    else
        QDir(stateDir).removeRecursively();
}
