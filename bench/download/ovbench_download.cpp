// Fetches one URL with OvDownloadManager into the current directory, the way the update
// window does, and exits when sigDownloadFinished arrives: 0 when the download succeeded.
// The bench/download/run script times it side by side with curl. With --stop-at F it stops
// the download once a fraction F of it has arrived and starts it again at once, as a user
// who presses stop and start does, so that the second try resumes from the partial file.
// With --hash it takes the package's hash as it arrives, as an updater with a key does.

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
    const bool isHashing = args.removeAll(QStringLiteral("--hash")) > 0;
    double stopAt = -1.0;
    const int stopOption = args.indexOf(QStringLiteral("--stop-at"));
    if (stopOption >= 0 && stopOption + 1 < args.size()) {
        stopAt = args.takeAt(stopOption + 1).toDouble();
        args.removeAt(stopOption);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: ovbench_download [-v] [--hash] [--stop-at FRACTION] URL\n");
        return 2;
    }
    const QUrl url(args.first());
    qInstallMessageHandler(messageHandler);

    OvDownloadManager manager;
    manager.setHashing(isHashing);
    int exitCode = 1;
    QObject::connect(&manager, &OvDownloadManager::sigDownloadFinished, &app,
                     [&exitCode](const QString &filename, bool isSucc) {
                         exitCode = isSucc ? 0 : 1;
                         if (!isSucc)
                             std::fprintf(stderr, "download into %s failed\n",
                                          qPrintable(filename));
                         QCoreApplication::quit();
                     });
    bool isStopped = false;
    QObject::connect(&manager, &OvDownloadManager::sigDownloadProgress, &app,
                     [&](qlonglong received, qlonglong total) {
                         if (isStopped || stopAt <= 0.0 || total <= 0 ||
                             double(received) < stopAt * double(total))
                             return;
                         isStopped = true;
                         // At once: deferred, the reports already queued would take the
                         // download well past the point.
                         manager.abortDownload();
                         manager.appendDownload(url);
                     });
    manager.appendDownload(url);
    app.exec();
    return exitCode;
}
