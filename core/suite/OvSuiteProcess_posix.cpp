#include "core/suite/OvSuiteProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QThread>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Still running, as opposed to gone or a zombie waiting for its parent.
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() && line.at(close + 2) != 'Z';
}

} // namespace

namespace OvSuiteProcess {

void stop(const QString &processName)
{
    if (processName.isEmpty())
        return;

    // The kernel's short command name is cut at 15 characters; the executable link is whole.
    const qint64 self = QCoreApplication::applicationPid();
    QList<qint64> killed;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        if (exe.isEmpty() || !isSuiteExecutable(exe, processName))
            continue; // not ours to read, or another program
        if (::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
            killed.append(pid);
    }

    // Synchronous like taskkill: wait (briefly) until the processes are really gone, so that
    // their files can be replaced.
    QDeadlineTimer deadline(3000);
    for (qint64 pid : qAsConst(killed)) {
        while (isAlive(pid) && !deadline.hasExpired())
            QThread::msleep(5);
    }
}

void start(const QString &installDir, const QString &processName)
{
    QProcess::startDetached(QDir(installDir).filePath(processName), QStringList(), installDir);
}

} // namespace OvSuiteProcess
