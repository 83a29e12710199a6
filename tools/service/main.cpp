#include "tools/service/OvPackageStore.h"
#include "tools/service/OvReleaseCatalogue.h"
#include "tools/service/OvServiceOptions.h"
#include "tools/service/OvUpgradeProtocol.h"
#include "tools/service/OvUpgradeService.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

void printError(const QString &text)
{
    std::fprintf(stderr, "OvUpgradeService: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// A vendor may still be uploading packages, so a missing file is only a warning.
void warnAboutMissingPackages(const OvReleaseCatalogue &catalogue, const QString &packagesDir)
{
    for (const OvRelease &release : catalogue.allReleases()) {
        if (!OvUpgradeProtocol::isAbsoluteUrl(release.package) &&
            OvPackageStore::resolve(packagesDir, release.package).isEmpty())
            printError(QStringLiteral("warning: package %1 of version %2 is not in %3")
                           .arg(release.package, release.version, packagesDir));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // SIGINT and SIGTERM are taken by sigwait() below. They are blocked before any thread
    // exists so that every server thread inherits the mask. A client that goes away in the
    // middle of a TLS write would otherwise end the process with SIGPIPE.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    OvServiceOptions options;
    QString error;
    if (!OvServiceOptions::parse(app.arguments().mid(1), &options, &error)) {
        printError(error);
        std::fputs(OvServiceOptions::usage().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (options.showHelp) {
        std::fputs(OvServiceOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    OvReleaseCatalogue catalogue;
    if (!catalogue.loadFile(options.cataloguePath, &error)) {
        printError(error);
        return 1;
    }
    warnAboutMissingPackages(catalogue, options.packagesDir);

    OvUpgradeService service(options, catalogue);
    if (!service.bind(&error)) {
        printError(error);
        return 1;
    }
    // The one line on stdout: scripts and tests read the chosen port from it.
    std::printf("listening on %s\n", service.url().toLocal8Bit().constData());
    std::fflush(stdout);

    std::atomic<bool> hasFailed{false};
    std::promise<void> served;
    std::future<void> hasServed = served.get_future();
    std::thread serverThread([&service, &hasFailed, &served] {
        if (!service.run()) {
            hasFailed = true;
            // Wakes sigwait() below.
            kill(getpid(), SIGTERM);
        }
        served.set_value();
    });
    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    service.stop();
    // A transfer to a client that does not read can block a worker for a long time; after a
    // grace period the remaining transfers are cut by ending the process.
    if (hasServed.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        printError(QStringLiteral("stopped by signal %1, open transfers cut").arg(signalNumber));
        std::_Exit(0);
    }
    serverThread.join();
    if (hasFailed) {
        printError(QStringLiteral("serving failed"));
        return 1;
    }
    printError(QStringLiteral("stopped by signal %1").arg(signalNumber));
    return 0;
}
