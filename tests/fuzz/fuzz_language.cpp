// The suite's language settings file: any content gives a language code, never a crash.
#include "OvFuzzCheck.h"
#include "gui/app/OvLanguageSetting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool isQuiet = OvFuzzCheck::quiet();
    static const QTemporaryDir box;
    const QString path = OvLanguageSetting::filePath(box.path());
    QFile file(path);
    OvFuzzCheck::require(isQuiet && box.isValid() && QDir(box.path()).mkpath("config") &&
                             file.open(QIODevice::WriteOnly) &&
                             file.write(reinterpret_cast<const char *>(data),
                                        static_cast<qint64>(size)) == static_cast<qint64>(size),
                         "cannot write the language file");
    file.close();
    const QString language = OvLanguageSetting::readFrom(path);
    // Entities must not blow a few bytes up into megabytes ("billion laughs").
    OvFuzzCheck::require(language.size() <= 4 * static_cast<int>(size) + 64,
                         "a language code far longer than the file");
    return 0;
}
