// Fetches one URL with OvDownloadManager into the current directory, the way the update
// window does, and exits when sigDownloadFinished arrives: 0 when the download succeeded.
// The bench/download/run script times it side by side with curl.

#include "core/download/OvDownloadManager.h"

#include <QCoreApplication>
#include <QStringList>
#include <QUrl>

#include <cstdio>

namespace {

bool isVerbose = false;

// The manager logs a line per progress report; keep them off the terminal unless asked,
// but let them be formatted as they would be in the product.
void messageHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (isVerbose)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    isVerbose = args.removeAll(QStringLiteral("-v")) > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: ovbench_download [-v] URL\n");
        return 2;
    }
    qInstallMessageHandler(messageHandler);

    OvDownloadManager manager;
    int exitCode = 1;
    QObject::connect(&manager, &OvDownloadManager::sigDownloadFinished, &app,
                     [&exitCode](const QString &filename, bool isSucc) {
                         exitCode = isSucc ? 0 : 1;
                         if (!isSucc)
                             std::fprintf(stderr, "download into %s failed\n",
                                          qPrintable(filename));
                         QCoreApplication::quit();
                     });
    manager.appendDownload(QUrl(args.first()));
    app.exec();
    return exitCode;
}
