// A package file extracted into a folder: whatever the bytes, the walk ends with exactly one
// finished signal (the value upzip returns), progress counts up by one, and nothing appears
// beside the destination.
#include "OvFuzzCheck.h"
#include "core/install/OvZipHelper.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using OvFuzzCheck::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool isQuiet = OvFuzzCheck::quiet();
    // box/p.zip and box/in/dest: a name that climbs one or two levels lands in sight.
    static const QTemporaryDir box;
    const QString zipPath = box.filePath("p.zip"), dest = box.filePath("in/dest");
    QFile zip(zipPath);
    require(isQuiet && box.isValid() && zip.open(QIODevice::WriteOnly) &&
                zip.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) ==
                    static_cast<qint64>(size),
            "cannot write the package");
    zip.close();

    OvZipHelper helper;
    int finished = 0;
    bool reported = false;
    tds8 handled = 0;
    QObject::connect(&helper, &OvZipHelper::sigUpZipFinished, [&](bool isSucc) {
        ++finished;
        reported = isSucc;
    });
    QObject::connect(&helper, &OvZipHelper::sigUpZipProgress, [&](tds8 done, tds8 total) {
        require(finished == 0 && done == handled + 1 && total >= 0,
                "progress after the end, out of order or below zero");
        handled = done;
    });
    const bool result = helper.upzip(zipPath, dest);
    require(finished == 1 && reported == result, "not one finished signal, or not the result");

    const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    require(QDir(box.path()).entryList(all) == QStringList({"in", "p.zip"}) &&
                QDir(box.filePath("in")).entryList(all) == QStringList({"dest"}),
            "something was written outside the destination");
    require(QDir(dest).removeRecursively(), "cannot empty the destination");
    return 0;
}
