// Extraction benchmark driver, run by bench/extract/run:
//   ov_bench_extract generate [--small] PACKAGE.zip   write the deterministic test package
//   ov_bench_extract extract PACKAGE.zip DEST/        extract it with OvZipHelper
//   ov_bench_extract inflate PACKAGE.zip              inflate every entry into memory only
#include "OvBenchPackage.h"
#include "install/OvZipHelper.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <unzip.h>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("generate") && args.size() >= 2)
        return generate(args);
    if (mode == QLatin1String("extract") && args.size() == 3)
        return extract(args.at(1), args.at(2));
    if (mode == QLatin1String("inflate") && args.size() == 2)
        return inflateOnly(args.at(1));
    std::fprintf(stderr, "usage: ov_bench_extract generate [--small] PACKAGE.zip\n"
                         "       ov_bench_extract extract PACKAGE.zip DEST/\n"
                         "       ov_bench_extract inflate PACKAGE.zip\n");
    return 2;
}
