// Signature check benchmark driver, run by bench/verify/run:
//   ov_bench_verify check PACKAGE.zip KEY SIGNATURE VERSION            the check alone
//   ov_bench_verify extract PACKAGE.zip DEST/                          the extraction alone
//   ov_bench_verify check-extract PACKAGE.zip DEST/ KEY SIGNATURE VERSION [HASH]
//   ov_bench_verify hash PACKAGE.zip                                   prints the package's hash
// KEY is the base64 line of minisign.pub, SIGNATURE the path of the .minisig file, HASH the
// package's BLAKE2b-512 in hex as the download takes it, so that only the signatures are left
// to check. The check and the extraction run as the updater's extraction task runs them: one
// after the other, on one thread.
#include "core/install/OvZipHelper.h"
#include "core/verify/OvPackageHash.h"
#include "core/verify/OvPackageVerifier.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

// The log lines are still built, as in the updater; only printing them is left out.
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

bool check(const QString &zipPath, const QString &key, const QString &signaturePath,
           const QString &version, const QString &hash = QString())
{
    QFile signature(signaturePath);
    if (!signature.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "check: %s\n", qPrintable(signature.errorString()));
        return false;
    }
    QString why;
    const QByteArray packageHash = hash.isEmpty() ? OvPackageHash::ofFile(zipPath, &why)
                                                  : QByteArray::fromHex(hash.toLatin1());
    if (packageHash.isEmpty()) {
        std::fprintf(stderr, "check: %s\n", qPrintable(why));
        return false;
    }
    OvPackageVerifier verifier;
    if (!verifier.verify(packageHash, key.toLatin1(), signature.readAll().toBase64(), version)) {
        std::fprintf(stderr, "check: %s\n", qPrintable(verifier.errorString()));
        return false;
    }
    return true;
}

bool extract(const QString &zipPath, const QString &destDir)
{
    OvZipHelper helper;
    return helper.upzip(zipPath, destDir);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(discardMessage);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("check") && args.size() == 5)
        return check(args.at(1), args.at(2), args.at(3), args.at(4)) ? 0 : 1;
    if (mode == QLatin1String("extract") && args.size() == 3)
        return extract(args.at(1), args.at(2)) ? 0 : 1;
    if (mode == QLatin1String("hash") && args.size() == 2) {
        QString why;
        const QByteArray hash = OvPackageHash::ofFile(args.at(1), &why);
        std::printf("%s\n", hash.toHex().constData());
        return hash.isEmpty() ? 1 : 0;
    }
    if (mode == QLatin1String("check-extract") && (args.size() == 6 || args.size() == 7))
        return check(args.at(1), args.at(3), args.at(4), args.at(5), args.value(6)) &&
                       extract(args.at(1), args.at(2))
                   ? 0
                   : 1;
    std::fprintf(stderr,
                 "usage: ov_bench_verify check PACKAGE.zip KEY SIGNATURE VERSION\n"
                 "       ov_bench_verify extract PACKAGE.zip DEST/\n"
                 "       ov_bench_verify check-extract PACKAGE.zip DEST/ KEY SIGNATURE VERSION "
                 "[HASH]\n"
                 "       ov_bench_verify hash PACKAGE.zip\n");
    return 2;
}
