#include "common/OvTestZip.h"
#include "e2e/OvDesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

// The real programs in separate processes, on a desktop of their own: the updater as the
// suite starts it, the reference service, and the demo suite in an installation directory of
// its own. The updater is driven only through the screen, the mouse and the keyboard.
class TestOvEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void endsWithoutWindow_data();
    void endsWithoutWindow();
    void update_data();
    void update();

private:
    QString installPath(const QString &name) const { return root->filePath("install/" + name); }
    static QByteArray readFile(const QString &path);
    // Writes the catalogue offering `version` and starts the service with `args`.
    void startService(const QString &version, int importanceLevel, const QStringList &args = {});
    void startUpdater();
    // Waits for the updater to end; its exit code, or -99 when it did not end in time.
    int updaterExitCode(int timeoutMs);
    QString updaterLog();

    OvDesktop desktop;
    std::unique_ptr<QTemporaryDir> root;
    QProcess service;
    QProcess suite;
    QProcess updater;
    QString serviceUrl;
    QString log;
};

namespace {

const QString kWindowTitle = QStringLiteral("^Software update online$");
constexpr int kPackagePadding = 3 * 1024 * 1024;

QStringList suitePids(const QByteArray &suiteLog)
{
    QStringList pids;
    for (const QByteArray &line : suiteLog.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields[0] == "started")
            pids << QString::fromLatin1(fields[2]);
    }
    return pids;
}

} // namespace

QByteArray TestOvEndToEnd::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestOvEndToEnd::initTestCase()
{
    for (const char *tool : {"Xvfb", "openbox", "xdotool", "wmctrl", "import"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps installs "
                                            "it)")
                                 .arg(QString::fromLatin1(tool))));
    }
    QString error;
    QVERIFY2(desktop.start(&error), qPrintable(error));
}

void TestOvEndToEnd::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    QDir top(root->path());
    QVERIFY(top.mkpath(QStringLiteral("install/config")) && top.mkpath(QStringLiteral("packages")));
    QVERIFY(QFile::copy(QStringLiteral(OV_UPDATER), installPath(QStringLiteral("OvZentaUpdate"))));
    QVERIFY(QFile::copy(QStringLiteral(OV_DEMO_SUITE), installPath(QStringLiteral("OvDemoSuite"))));
    QFile version(installPath(QStringLiteral("version.txt")));
    QVERIFY(version.open(QIODevice::WriteOnly) && version.write("1.0\n") == 4);
    version.close();
    QFile language(installPath(QStringLiteral("config/sysconfig-language.xml")));
    QVERIFY(language.open(QIODevice::WriteOnly));
    language.write(R"(<cfg><ctrl isset="1" language="en_US"/></cfg>)");
    language.close();

    // The next release: the suite's executable, its version file and enough data that a
    // throttled download takes a while.
    QByteArray padding(kPackagePadding, Qt::Uninitialized);
    for (int i = 0; i < padding.size(); ++i)
        padding[i] = char((i * 7919) >> 5);
    QVERIFY(
        OvTestZip::write(top.filePath(QStringLiteral("packages/zenta-1.1.zip")),
                         {{QStringLiteral("OvDemoSuite"), readFile(QStringLiteral(OV_DEMO_SUITE))},
                          {QStringLiteral("version.txt"), "1.1\n"},
                          {QStringLiteral("media/"), QByteArray()},
                          {QStringLiteral("media/intro.bin"), padding}}));
    log.clear();
}

void TestOvEndToEnd::cleanup()
{
    for (QProcess *process : {&updater, &suite, &service}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
    }
    // The suites the updater started are not our children: end them by the pid they logged.
    for (const QString &pid : suitePids(readFile(installPath(QStringLiteral("demo-suite.log")))))
        ::kill(pid.toInt(), SIGKILL);
    root.reset();
}

void TestOvEndToEnd::startService(const QString &version, int importanceLevel,
                                  const QStringList &args)
{
    QFile catalogue(root->filePath(QStringLiteral("catalogue.json")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write(QStringLiteral(R"({"channels":[{"key":3,"codes":{"demo":[{"version":"%1",)"
                                   R"("package":"zenta-1.1.zip","description":"Faster start-up.",)"
                                   R"("cdt":"2026-12-01","importanceLevel":%2}]}}]})")
                        .arg(version)
                        .arg(importanceLevel)
                        .toUtf8());
    catalogue.close();
    service.start(QStringLiteral(OV_UPGRADE_SERVICE),
                  QStringList{QStringLiteral("--catalogue"), catalogue.fileName(),
                              QStringLiteral("--packages"),
                              root->filePath(QStringLiteral("packages"))} +
                      args);
    QVERIFY2(service.waitForStarted(), qPrintable(service.errorString()));
    QDeadlineTimer deadline(10000);
    while (!service.canReadLine() && !deadline.hasExpired())
        service.waitForReadyRead(100);
    const QString line = QString::fromUtf8(service.readLine()).trimmed();
    QVERIFY2(line.startsWith(QStringLiteral("listening on ")), qPrintable(line));
    serviceUrl = line.mid(int(qstrlen("listening on ")));
}

void TestOvEndToEnd::startUpdater()
{
    // Started as the suite starts it, from a directory that is not the installation directory.
    updater.setProcessEnvironment(desktop.environment());
    updater.setProcessChannelMode(QProcess::MergedChannels);
    updater.setWorkingDirectory(root->path());
    updater.start(installPath(QStringLiteral("OvZentaUpdate")),
                  {QStringLiteral("-v"), QStringLiteral("1.0"), QStringLiteral("-t"),
                   QStringLiteral("1"), QStringLiteral("-k"), QStringLiteral("OvDemoSuite"),
                   QStringLiteral("-url"), serviceUrl + QStringLiteral("/check"),
                   QStringLiteral("-ct"), QStringLiteral("3"), QStringLiteral("-cc"),
                   QStringLiteral("demo")});
    QVERIFY2(updater.waitForStarted(), qPrintable(updater.errorString()));
}

QString TestOvEndToEnd::updaterLog()
{
    log += QString::fromUtf8(updater.readAll());
    return log;
}

int TestOvEndToEnd::updaterExitCode(int timeoutMs)
{
    if (updater.state() != QProcess::NotRunning && !updater.waitForFinished(timeoutMs))
        return -99;
    updaterLog();
    return updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -98;
}

void TestOvEndToEnd::endsWithoutWindow_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QStringList>("serviceArgs");
    QTest::addColumn<QStringList>("logged"); // among the updater's lines, in this order

    QTest::newRow("nothing newer")
        << "1.0" << QStringList() << QStringList{"OvZentaUpdateForm::checkIsQuit false"};
    QTest::newRow("silent service")
        << "1.1" << QStringList{"--delay-ms", "20000"}
        << QStringList{"OvHttpHelper::onUpgradeReplyFinished true", "OvHttpHelper::onCheckTimeout"};
}

void TestOvEndToEnd::endsWithoutWindow()
{
    QFETCH(QString, offered);
    QFETCH(QStringList, serviceArgs);
    QFETCH(QStringList, logged);

    startService(offered, 2, serviceArgs);
    // Before the updater starts, so never after its timer does.
    QElapsedTimer clock;
    clock.start();
    startUpdater();
    bool windowSeen = false;
    while (!updater.waitForFinished(50) && updater.state() != QProcess::NotRunning &&
           !clock.hasExpired(15000))
        windowSeen = windowSeen || !desktop.windows(kWindowTitle).isEmpty();
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(updaterExitCode(0), 0);
    QVERIFY2(!windowSeen, "the window showed although nothing was to be done");
    // Start-up logs each argument, then the options read; no elevation's parameters off Windows.
    const QStringList args = QStringList{updater.program()} + updater.arguments();
    for (int i = 0; i < args.size(); ++i)
        QVERIFY2(log.contains(QStringLiteral("============  %1 \"%2\"").arg(i).arg(args[i])),
                 qPrintable(log));
    QVERIFY2(log.contains("Zenta version:  \"1.0\" \n Zenta type:  1 Zenta name:  \"OvDemoSuite\" "
                          "Channnel type:  3 Url:  \"" +
                          serviceUrl + "/check\"") &&
                 !log.contains("------"),
             qPrintable(log));
    int at = 0;
    for (const QString &line : logged)
        QVERIFY2((at = log.indexOf(line, at)) >= 0, qPrintable(line + " missing in\n" + log));
    // The time-out ends it, long before the service would answer; a coarse timer such as the
    // check's may fire up to 5 % early.
    QVERIFY2(serviceArgs.isEmpty() || (elapsed >= 2850 && elapsed < 10000),
             qPrintable(QString::number(elapsed)));
}

void TestOvEndToEnd::update_data()
{
    QTest::addColumn<int>("importanceLevel"); // 1 starts by itself, 2 by a click on the row
    QTest::addColumn<QStringList>("serviceArgs");
    QTest::addColumn<bool>("closeWhileDownloading");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("key"); // Return answers Yes, Escape No (then the window is closed)
    QTest::addColumn<int>("exitCode");

    const QStringList slow{"--throttle", "200000"};
    QTest::newRow("offer started from the row, restarted") << 2 << QStringList() << false << "Tip"
                                                           << "Return" << 0;
    QTest::newRow("forced: starts by itself") << 1 << QStringList() << false << "Tip"
                                              << "Return" << 0;
    QTest::newRow("offer closed while downloading") << 2 << slow << true << "Warning"
                                                    << "Return" << 1;
    QTest::newRow("forced, closed while downloading") << 1 << slow << true << "Warning"
                                                      << "Return" << 2;
    // Back at the offer nothing runs, so the close then ends at once without a question.
    QTest::newRow("cut package: No to the retry, then a close")
        << 2 << QStringList{"--cut-after", "100000"} << false << "Warning"
        << "Escape" << 1;
}

void TestOvEndToEnd::update()
{
    QFETCH(int, importanceLevel);
    QFETCH(QStringList, serviceArgs);
    QFETCH(bool, closeWhileDownloading);
    QFETCH(QString, question);
    QFETCH(QString, key);
    QFETCH(int, exitCode);

    suite.setProcessEnvironment(desktop.environment());
    suite.start(installPath(QStringLiteral("OvDemoSuite")), QStringList());
    QVERIFY2(!desktop.waitForWindow(QStringLiteral("^Zenta demo suite 1.0$"), 10000).isEmpty(),
             "the demo suite 1.0 did not show");
    startService(QStringLiteral("1.1"), importanceLevel, serviceArgs);
    startUpdater();
    const QString window = desktop.waitForWindow(kWindowTitle, 15000);
    QVERIFY2(!window.isEmpty(), qPrintable(updaterLog()));
    if (importanceLevel == 2) {
        // The row's button is the only thing painted in its blue before a download runs.
        QPoint button;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (button = OvDesktop::centreOf(desktop.grab(window), QColor(0, 157, 254))).x() >= 0,
            "no start button on the screen", 10000);
        desktop.click(window, button);
    }
    const QString package = installPath(QStringLiteral("zenta-1.1.zip"));
    if (closeWhileDownloading) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(package), 10000);
        desktop.requestClose(window);
    }

    // Download and extraction run by themselves; the next thing the user sees is the question.
    const QString asked = desktop.waitForWindow('^' + question + '$', 30000);
    QVERIFY2(!asked.isEmpty(), qPrintable(updaterLog()));
    QVERIFY2(suite.state() == QProcess::NotRunning || suite.waitForFinished(5000),
             "the old suite was not stopped");
    desktop.key(asked, key);
    if (key == QLatin1String("Escape")) {
        QTRY_VERIFY(desktop.windows('^' + question + '$').isEmpty());
        desktop.requestClose(window);
    }

    QTEST(updaterExitCode(15000), "exitCode");
    QCOMPARE(readFile(installPath(QStringLiteral("version.txt"))),
             exitCode == 0 ? QByteArray("1.1\n") : QByteArray("1.0\n"));
    QVERIFY2(closeWhileDownloading || !QFile::exists(package), "the package was left");
    if (exitCode == 0) { // the suite restarted from the updated directory
        QCOMPARE(QFileInfo(installPath(QStringLiteral("media/intro.bin"))).size(), kPackagePadding);
        QVERIFY2(!desktop.waitForWindow(QStringLiteral("^Zenta demo suite 1.1$"), 10000).isEmpty(),
                 "the updated suite did not show");
        QCOMPARE(suitePids(readFile(installPath(QStringLiteral("demo-suite.log")))).size(), 2);
    }
}

QTEST_GUILESS_MAIN(TestOvEndToEnd)
#include "tst_ovendtoend.moc"
