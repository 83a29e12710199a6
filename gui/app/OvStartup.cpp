#include "gui/app/OvStartup.h"

#include "core/install/OvInstallTransaction.h"
#include "gui/app/OvCommandLine.h"
#include "gui/app/OvElevation.h"
#include "gui/app/OvLanguageSetting.h"
#include "gui/window/OvZentaUpdateForm.h"

#include <QApplication>
#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace OvStartup {

int run(int &argc, char **argv, const QByteArray &publicKey)
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);

    if (runAsAdminIfNeeded())
        return 0;
    // An install cut short by a crash or a power cut is undone before anything reads the
    // installation directory; what a finished one could not remove goes now.
    OvInstallTransaction::recover(QCoreApplication::applicationDirPath());

    QStringList args;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromUtf8(argv[i]);
        args.append(arg);
        qDebug() << "============ " << i << arg;
    }

    const OvStartupOptions options = OvCommandLine::parse(args);
    qDebug() << "Zenta version: " << options.version << "\n"
             << "Zenta type: " << options.type << "Zenta name: " << options.processName
             << "Channnel type: " << options.channelType << "Url: " << options.url;

    // The package is saved to the current directory and looked for beside the executable:
    // make them the same, whichever directory the suite started us from.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    const QString language = loadLanguageSetting();

    QTranslator translator;
    if (translator.load(QStringLiteral(":/OvZentaUpdate-") + language + QStringLiteral(".qm")))
        app.installTranslator(&translator);

    QFile styleFile(QStringLiteral(":/qss/resource/dark.qss"));
    if (styleFile.open(QIODevice::ReadOnly)) {
        const QByteArray style = styleFile.readAll();
        app.setStyleSheet(QString::fromLatin1(style.constData())); // stops at a zero byte
        styleFile.close();
    }

    OvZentaUpdateForm window(nullptr);
    window.setLanguage(language);
    window.setCurrentVersion(options.version);
    window.setChannelType(options.channelType);
    window.setProcessName(options.processName);
    window.setCode(options.code);
    window.setPublicKey(publicKey);
    window.startUpgradeCheck(options.url);

    const int exitCode = app.exec();
    // An extraction that the user chose to leave may still be writing files; the window waits
    // for it as it is destroyed, and should not stand frozen on the screen meanwhile.
    window.hide();
    return exitCode;
}

} // namespace OvStartup
