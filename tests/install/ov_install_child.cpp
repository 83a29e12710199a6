// Runs one install and stops once N entries are staged or N files moved, so that a test can
// kill it there: ov_install_child PACKAGE.zip DEST staging|swap N
#include "core/install/OvInstallTransaction.h"
#include "core/install/OvZipHelper.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

static QByteArray stopPhase;
static int stopAt = 0;

static void stopIfDue(const char *phase, int count)
{
    if (stopPhase == phase && count == stopAt) {
        std::puts("stopped");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    stopPhase = argc == 5 ? argv[3] : "";
    stopAt = argc == 5 ? QByteArray(argv[4]).toInt() : 0;
    OvInstallTransaction::stepHook = stopIfDue;
    OvZipHelper helper;
    QObject::connect(&helper, &OvZipHelper::sigUpZipProgress,
                     [](tds8 done, tds8) { stopIfDue("staging", static_cast<int>(done)); });
    return helper.upzip(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
