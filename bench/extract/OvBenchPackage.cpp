#include "OvBenchPackage.h"

#include <QByteArray>
#include <QFile>
#include <QVector>

#include <zip.h>

#include <cstring>

namespace {

// xorshift64*: fast, and fixed forever, so the package never changes between runs.
class Random
{
public:
    explicit Random(quint64 seed) : state(seed ? seed : 1) {}
    quint64 next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
    int between(int low, int high) { return low + static_cast<int>(next() % (high - low + 1)); }

private:
    quint64 state;
};

void appendRandom(QByteArray &out, int size, Random &random)
{
    const int start = out.size();
    out.resize(start + size);
    char *p = out.data() + start;
    for (int i = 0; i < size; i += 8) {
        const quint64 v = random.next();
        std::memcpy(p + i, &v, static_cast<size_t>(qMin(8, size - i)));
    }
}

// Compressed media and archives: nothing left for deflate to gain.
QByteArray noise(int size, Random &random)
{
    QByteArray out;
    appendRandom(out, size, random);
    return out;
}

// Machine code and data tables: 4 KB blocks, some noise-like, most built from a small set of
// recurring 16-byte patterns, which deflates to roughly half.
QByteArray binaryLike(int size, Random &random)
{
    static QVector<QByteArray> patterns;
    if (patterns.isEmpty()) {
        Random fixed(0x5eed);
        for (int i = 0; i < 256; ++i) {
            QByteArray pattern;
            appendRandom(pattern, 16, fixed);
            patterns.append(pattern);
        }
    }
    QByteArray out;
    out.reserve(size);
    while (out.size() < size) {
        const int block = qMin(4096, size - out.size());
        if (random.next() % 100 < 35) {
            appendRandom(out, block, random);
        } else {
            for (int filled = 0; filled < block; filled += 16)
                out.append(
                    patterns
                        .at(static_cast<int>(random.next() % 48 + (out.size() / 65536 % 4) * 48))
                        .constData(),
                    qMin(16, block - filled));
        }
    }
    return out;
}

// Documents, scripts and translations: words from a small vocabulary in lines.
QByteArray textLike(int size, Random &random)
{
    static const char *const words[] = {
        "update", "window", "module",   "version",   "install",  "package",  "the",      "and",
        "of",     "Zenta",  "file",     "directory", "settings", "language", "property", "import",
        "return", "value",  "string",   "list",      "item",     "signal",   "slot",     "width",
        "height", "color",  "function", "var",       "if",       "else",     "for",      "0",
        "1",      "true",   "false",    "<div>",     "</div>",   "id:",      "text:",    "qsTr(\"",
        "\")",    "{",      "}",        ";",         "=",        "\n"};
    const int count = static_cast<int>(sizeof words / sizeof words[0]);
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out.append(words[random.next() % count]);
        out.append(random.next() % 9 == 0 ? '\n' : ' ');
    }
    out.truncate(size);
    return out;
}

struct Planned
{
    QByteArray name;
    int size;
    enum
    {
        Binary,
        Text,
        Noise
    } kind;
};

QVector<Planned> plan(bool small, Random &random)
{
    const int scale = small ? 10 : 1;
    QVector<Planned> files;
    // A few large binaries carry half of the bytes.
    const int largeMb[] = {48, 32, 24, 16, 12};
    const char *const largeNames[] = {"bin/ZentaCore.dll", "Zenta.exe", "bin/ZentaRender.dll",
                                      "bin/engine/ZentaEngine.dll", "bin/ZentaNet.dll"};
    for (int i = 0; i < 5; ++i)
        files.append({largeNames[i], largeMb[i] * 1024 * 1024 / scale, Planned::Binary});
    files.append({"resources/app.pak", 16 * 1024 * 1024 / scale, Planned::Noise});

    const char *const categories[] = {
        "imageformats", "platforms",   "codecs/video/hw",      "codecs/audio",
        "styles",       "sqldrivers",  "printsupport",         "render/vulkan",
        "render/gl",    "network/tls", "scripting/js/engines", "filters"};
    for (int i = 0; i < 300 / scale; ++i)
        files.append({QByteArray("plugins/") + categories[i % 12] + "/zplugin" +
                          QByteArray::number(i) + ".dll",
                      random.between(100, 700) * 1024, Planned::Binary});

    const char *const langs[] = {"en_US", "zh_CN", "de_DE", "fr_FR"};
    for (int i = 0; i < 200 / scale; ++i)
        files.append({QByteArray("docs/") + langs[i % 4] + "/section" + QByteArray::number(i % 7) +
                          "/page" + QByteArray::number(i) + ".html",
                      random.between(10, 200) * 1024, Planned::Text});

    const char *const themes[] = {"light/16", "light/32", "dark/16", "dark/32", "hicontrast/64"};
    for (int i = 0; i < 100 / scale; ++i)
        files.append({QByteArray("resources/images/") + themes[i % 5] + "/icon" +
                          QByteArray::number(i) + ".png",
                      random.between(50, 300) * 1024, Planned::Noise});

    const char *const tinyDirs[] = {"config",
                                    "config/profiles",
                                    "qml/Zenta/Controls",
                                    "qml/Zenta/Dialogs",
                                    "qml/Zenta/Views/List",
                                    "translations",
                                    "scripts/startup",
                                    "data/presets/a",
                                    "data/presets/b",
                                    "data/presets/c/d"};
    const char *const tinyExt[] = {".json", ".ini", ".qml", ".qml", ".qml",
                                   ".qm",   ".js",  ".xml", ".xml", ".xml"};
    for (int i = 0; i < 1400 / scale; ++i)
        files.append(
            {QByteArray(tinyDirs[i % 10]) + "/item" + QByteArray::number(i) + tinyExt[i % 10],
             random.between(100, 4096), Planned::Text});
    return files;
}

} // namespace

namespace OvBenchPackage {

bool write(const QString &zipPath, bool small, Summary *summary, QString *error)
{
    Random random(small ? 0x5a11 : 0xf011);
    const QVector<Planned> files = plan(small, random);
    const QByteArray encoded = QFile::encodeName(zipPath);
    zipFile zf = zipOpen64(encoded.constData(), APPEND_STATUS_CREATE);
    if (!zf) {
        *error = QStringLiteral("cannot create ") + zipPath;
        return false;
    }
    *summary = Summary();
    for (const Planned &file : files) {
        const QByteArray data = file.kind == Planned::Binary ? binaryLike(file.size, random)
                                : file.kind == Planned::Text ? textLike(file.size, random)
                                                             : noise(file.size, random);
        zip_fileinfo info;
        std::memset(&info, 0, sizeof info);
        info.tmz_date.tm_year = 2026;
        info.tmz_date.tm_mon = 5;
        info.tmz_date.tm_mday = 1 + static_cast<uInt>(summary->files % 28);
        info.tmz_date.tm_hour = 10;
        bool ok = zipOpenNewFileInZip64(zf, file.name.constData(), &info, nullptr, 0, nullptr, 0,
                                        nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zf, data.constData(), static_cast<unsigned>(data.size())) ==
                       ZIP_OK;
        ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
        if (!ok) {
            zipClose(zf, nullptr);
            *error = QStringLiteral("minizip failed on ") + QString::fromLatin1(file.name);
            return false;
        }
        ++summary->files;
        summary->bytes += data.size();
    }
    if (zipClose(zf, nullptr) != ZIP_OK) {
        *error = QStringLiteral("cannot finish ") + zipPath;
        return false;
    }
    return true;
}

} // namespace OvBenchPackage
