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

    void nothingNewerEndsWithoutWindow();
    void silentServiceEndsAfterTimeout();
    void wholeUpdate_data();
    void wholeUpdate();
    void closeDuringDownload_data();
    void closeDuringDownload();
    void cutPackageAsksRetry();

private:
    QString installPath(const QString &name) const
    {
        return root->filePath("core/install/" + name);
    }
    static QByteArray readFile(const QString &path);
    // Writes the catalogue offering `version` and starts the service with `args`.
    void startService(const QString &version, int importanceLevel, const QStringList &args = {});
    void startSuite();
    void startUpdater();
    // Waits for the updater to end; its exit code, or -99 when it did not end in time.
    int updaterExitCode(int timeoutMs);
    // Clicks the start button of the offer's row, found on the screen by its colour.
    void clickStartButton(const QString &window);
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
    QVERIFY(top.mkpath(QStringLiteral("core/install/config")) &&
            top.mkpath(QStringLiteral("packages")));
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
        padding[i] = char((unsigned(i) * 7919u) >> 5);
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
    catalogue.write(QStringLiteral(R"({"channels":[{"key":3,"releases":[{"version":"%1",)"
                                   R"("package":"zenta-1.1.zip","description":"Faster start-up.",)"
                                   R"("cdt":"2026-12-01","importanceLevel":%2}]}]})")
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

void TestOvEndToEnd::startSuite()
{
    suite.setProcessEnvironment(desktop.environment());
    suite.start(installPath(QStringLiteral("OvDemoSuite")), QStringList());
    QVERIFY2(suite.waitForStarted(), qPrintable(suite.errorString()));
    QVERIFY2(!desktop.waitForWindow(QStringLiteral("^Zenta demo suite 1.0$"), 10000).isEmpty(),
             "the demo suite 1.0 did not show");
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

void TestOvEndToEnd::clickStartButton(const QString &window)
{
    // The row's button is the only thing painted in its blue before a download runs.
    QPoint button;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (button = OvDesktop::centreOf(desktop.grab(window), QColor(0, 157, 254))).x() >= 0,
        "no start button on the screen", 10000);
    desktop.click(window, button);
}

void TestOvEndToEnd::nothingNewerEndsWithoutWindow()
{
    startService(QStringLiteral("1.0"), 2);
    startUpdater();
    bool windowSeen = false;
    while (!updater.waitForFinished(50) && updater.state() != QProcess::NotRunning)
        windowSeen = windowSeen || !desktop.windows(kWindowTitle).isEmpty();
    QCOMPARE(updaterExitCode(0), 0);
    QVERIFY2(!windowSeen, "the window showed although nothing newer was offered");
    QVERIFY2(updaterLog().contains(QStringLiteral("OvZentaUpdateForm::checkIsQuit false")),
             qPrintable(log));
}

void TestOvEndToEnd::silentServiceEndsAfterTimeout()
{
    startService(QStringLiteral("1.1"), 2, {QStringLiteral("--delay-ms"), QStringLiteral("20000")});
    QElapsedTimer clock;
    clock.start();
    startUpdater();
    const int code = updaterExitCode(15000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(code, 0);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= 2850 && elapsed < 10000, qPrintable(QString::number(elapsed)));
    QVERIFY2(log.contains(QStringLiteral("OvHttpHelper::onCheckTimeout")), qPrintable(log));
}

void TestOvEndToEnd::wholeUpdate_data()
{
    QTest::addColumn<bool>("isForced");
    QTest::newRow("started from the row") << false;
    QTest::newRow("forced: starts by itself") << true;
}

void TestOvEndToEnd::wholeUpdate()
{
    QFETCH(bool, isForced);
    startSuite();
    startService(QStringLiteral("1.1"), isForced ? 1 : 2);
    startUpdater();

    const QString window = desktop.waitForWindow(kWindowTitle, 15000);
    QVERIFY2(!window.isEmpty(), qPrintable(updaterLog()));
    if (!isForced)
        clickStartButton(window);

    // Download and extraction run by themselves; the next thing the user sees is the question.
    const QString question = desktop.waitForWindow(QStringLiteral("^Tip$"), 30000);
    QVERIFY2(!question.isEmpty(), qPrintable(updaterLog()));
    QVERIFY2(suite.state() == QProcess::NotRunning || suite.waitForFinished(5000),
             "the old suite was not stopped");
    desktop.key(question, QStringLiteral("Return")); // Yes: start the software

    QCOMPARE(updaterExitCode(15000), 0);
    QCOMPARE(readFile(installPath(QStringLiteral("version.txt"))), QByteArray("1.1\n"));
    QCOMPARE(QFileInfo(installPath(QStringLiteral("media/intro.bin"))).size(), kPackagePadding);
    QVERIFY2(!QFile::exists(installPath(QStringLiteral("zenta-1.1.zip"))), "the package was left");
    QVERIFY2(!desktop.waitForWindow(QStringLiteral("^Zenta demo suite 1.1$"), 10000).isEmpty(),
             "the updated suite did not show");
    QCOMPARE(suitePids(readFile(installPath(QStringLiteral("demo-suite.log")))).size(), 2);
}

void TestOvEndToEnd::closeDuringDownload_data()
{
    QTest::addColumn<bool>("isForced");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("offered update") << false << 1;
    QTest::newRow("forced update") << true << 2;
}

void TestOvEndToEnd::closeDuringDownload()
{
    QFETCH(bool, isForced);
    startService(QStringLiteral("1.1"), isForced ? 1 : 2,
                 {QStringLiteral("--throttle"), QStringLiteral("200000")});
    startUpdater();
    const QString window = desktop.waitForWindow(kWindowTitle, 15000);
    QVERIFY2(!window.isEmpty(), qPrintable(updaterLog()));
    if (!isForced)
        clickStartButton(window);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(installPath(QStringLiteral("zenta-1.1.zip"))), 10000);

    desktop.requestClose(window);
    const QString question = desktop.waitForWindow(QStringLiteral("^Warning$"), 10000);
    QVERIFY2(!question.isEmpty(), "closing during the download asked nothing");
    desktop.key(question, QStringLiteral("Return")); // Yes: exit
    QTEST(updaterExitCode(10000), "exitCode");
    QCOMPARE(readFile(installPath(QStringLiteral("version.txt"))), QByteArray("1.0\n"));
}

void TestOvEndToEnd::cutPackageAsksRetry()
{
    startService(QStringLiteral("1.1"), 2,
                 {QStringLiteral("--cut-after"), QStringLiteral("100000")});
    startUpdater();
    const QString window = desktop.waitForWindow(kWindowTitle, 15000);
    QVERIFY2(!window.isEmpty(), qPrintable(updaterLog()));
    clickStartButton(window);

    const QString question = desktop.waitForWindow(QStringLiteral("^Warning$"), 15000);
    QVERIFY2(!question.isEmpty(), qPrintable(updaterLog()));
    QTRY_VERIFY(
        updaterLog().contains(QStringLiteral("OvZentaUpdateForm::onDownloadFinished  false")));
    desktop.key(question, QStringLiteral("Escape")); // No: back to the offer

    // Back at the offer nothing runs, so closing ends at once without a question.
    QTRY_VERIFY(desktop.windows(QStringLiteral("^Warning$")).isEmpty());
    desktop.requestClose(window);
    QCOMPARE(updaterExitCode(10000), 1);
    QVERIFY2(!QFile::exists(installPath(QStringLiteral("zenta-1.1.zip"))),
             "the cut package was left behind");
    QCOMPARE(readFile(installPath(QStringLiteral("version.txt"))), QByteArray("1.0\n"));
}

QTEST_GUILESS_MAIN(TestOvEndToEnd)
#include "tst_ovendtoend.moc"
