// An install journal left by an earlier run, read at start-up: whatever it says, recover()
// ends, touches nothing beside the installation directory, and leaves no install state behind
// unless it reports the failure.
#include "OvFuzzCheck.h"
#include "core/install/OvInstallTransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>

using OvFuzzCheck::require;

namespace {

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool isQuiet = OvFuzzCheck::quiet();
    // box/outside, box/keep/ and box/root: a journal line that climbs out finds them in sight.
    static const QTemporaryDir box;
    const QString root = box.filePath("root"), state = root + "/.ovupdate";
    const QByteArray journal(reinterpret_cast<const char *>(data), static_cast<int>(size));
    require(isQuiet && box.isValid() && put(box.filePath("outside"), "outside") &&
                QDir().mkpath(box.filePath("keep")) && put(root + "/a.txt", "a") &&
                put(root + "/sub/b.txt", "b") && QDir().mkpath(root + "/empty") &&
                put(state + "/staging/new.txt", "new") && put(state + "/backup/a.txt", "old a") &&
                put(state + "/backup/sub/b.txt", "old b") && put(state + "/journal", journal),
            "cannot lay out the installation");

    const auto recovery = OvInstallTransaction::recover(root);

    const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    QFile outside(box.filePath("outside"));
    require(QDir(box.path()).entryList(all) == QStringList({"keep", "outside", "root"}) &&
                QDir(box.filePath("keep")).entryList(all).isEmpty() &&
                outside.open(QIODevice::ReadOnly) && outside.readAll() == "outside",
            "something beside the installation directory was changed");
    require(recovery == OvInstallTransaction::Recovery::Failed || !QFileInfo::exists(state),
            "install state left behind without a failure");
    require(QDir(root).removeRecursively(), "cannot empty the installation directory");
    return 0;
}
