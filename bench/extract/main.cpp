// Extraction benchmark driver, run by bench/extract/run:
//   ov_bench_extract generate [--small] PACKAGE.zip   write the deterministic test package
//   ov_bench_extract extract PACKAGE.zip DEST/        extract it with OvZipHelper
//   ov_bench_extract inflate PACKAGE.zip              inflate every entry into memory only
//   ov_bench_extract write PACKAGE.zip DEST/          write files of the entries' sizes only
//   ov_bench_extract start                            start up and end, for the start-up time
#include "OvBenchPackage.h"
#include "core/install/OvZipHelper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>

#include <unzip.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The log lines are still built, as in the updater; only printing them is left out, so that
// the terminal's speed does not enter the figures.
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

int generate(const QStringList &args)
{
    const bool small = args.contains(QStringLiteral("--small"));
    const QString path = args.last();
    OvBenchPackage::Summary summary;
    QString error;
    if (!OvBenchPackage::write(path, small, &summary, &error)) {
        std::fprintf(stderr, "generate: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d files, %lld bytes\n", summary.files, static_cast<long long>(summary.bytes));
    return 0;
}

int extract(const QString &zipPath, const QString &destDir)
{
    qInstallMessageHandler(discardMessage);
    OvZipHelper helper;
    return helper.upzip(zipPath, destDir) ? 0 : 1;
}

// The floor for any minizip-based extractor: the same walk and the same 10240-byte reads,
// with the data thrown away instead of written.
int inflateOnly(const QString &zipPath)
{
    const QByteArray encoded = QFile::encodeName(zipPath);
    unzFile zf = unzOpen64(encoded.constData());
    if (!zf)
        return 1;
    static char data[10240];
    char name[256];
    long long total = 0;
    int entries = 0;
    for (int ret = unzGoToFirstFile(zf); ret == UNZ_OK; ret = unzGoToNextFile(zf)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zf, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            unzOpenCurrentFile(zf) != UNZ_OK)
            continue;
        int read;
        while ((read = unzReadCurrentFile(zf, data, sizeof data)) > 0)
            total += read;
        unzCloseCurrentFile(zf);
        ++entries;
    }
    unzClose(zf);
    std::printf("%d entries, %lld bytes\n", entries, total);
    return 0;
}

// The other half of the floor: what the file system takes for the same tree without any
// inflating. Every entry becomes a file of its size, filled from one buffer as large as
// OvZipHelper's staging buffer, with only the calls that any extractor needs (mkdir once per
// directory, open, write, close).
int writeOnly(const QString &zipPath, const QString &destDir)
{
    const QByteArray encoded = QFile::encodeName(zipPath);
    unzFile zf = unzOpen64(encoded.constData());
    if (!zf)
        return 1;
    static char data[32 * 10240];
    std::memset(data, 'x', sizeof data); // real pages, not the shared zero page
    char name[256];
    QSet<QString> made;
    for (int ret = unzGoToFirstFile(zf); ret == UNZ_OK; ret = unzGoToNextFile(zf)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zf, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            continue;
        name[qMin<uLong>(info.size_filename, sizeof name - 1)] = '\0';
        const QString path = destDir + QString::fromLocal8Bit(name);
        const QString dir = path.left(path.lastIndexOf(QLatin1Char('/')));
        if (!made.contains(dir) && QDir().mkpath(dir))
            made.insert(dir);
        if (path.endsWith(QLatin1Char('/')))
            continue;
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return 1;
        for (quint64 left = info.uncompressed_size; left > 0;) {
            const ssize_t n = ::write(fd, data, qMin<quint64>(left, sizeof data));
            if (n <= 0)
                return 1;
            left -= static_cast<quint64>(n);
        }
        ::close(fd);
    }
    unzClose(zf);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("start"))
        return 0;
    if (mode == QLatin1String("generate") && args.size() >= 2)
        return generate(args);
    if (mode == QLatin1String("extract") && args.size() == 3)
        return extract(args.at(1), args.at(2));
    if (mode == QLatin1String("inflate") && args.size() == 2)
        return inflateOnly(args.at(1));
    if (mode == QLatin1String("write") && args.size() == 3)
        return writeOnly(args.at(1), args.at(2));
    std::fprintf(stderr, "usage: ov_bench_extract generate [--small] PACKAGE.zip\n"
                         "       ov_bench_extract extract PACKAGE.zip DEST/\n"
                         "       ov_bench_extract inflate PACKAGE.zip\n"
                         "       ov_bench_extract write PACKAGE.zip DEST/\n"
                         "       ov_bench_extract start\n");
    return 2;
}
