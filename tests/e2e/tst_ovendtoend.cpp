#include "common/OvTestMinisign.h"
#include "common/OvTestPackage.h"
#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"

#include <QtTest>

#include <signal.h>

// The real programs in separate processes, on a desktop of their own: the updater as the
// suite starts it, the reference service, and the demo suite in an installation directory of
// its own. The updater is driven only through the window manager and the keyboard.
class TestOvEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void run_data();
    void run();

private:
    QString installPath(const QString &name) const { return root->filePath("install/" + name); }
    QByteArray x(const QString &program, const QStringList &args) const; // its standard output
    // The id of a shown window whose title matches, waiting up to `ms`; empty when none shows.
    QString waitForWindow(const QString &titleRegExp, int ms = 0) const;
    QString updaterLog() { return log += QString::fromUtf8(updater.readAll()); }

    // The desktop: Xvfb on a free display with openbox, and the environment that shows on it.
    QProcess xvfb, windowManager, service, suite, updater;
    QProcessEnvironment desktop = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<QTemporaryDir> root;
    QString log;
};

namespace {

using OvTestSupport::readFile;
using OvTestSupport::writeFile;
const QString kWindowTitle = QStringLiteral("^Software update online$");
constexpr int kPackagePadding = 1 << 20;

// The pids that the demo suite logged at each start ("started VERSION PID").
QStringList suitePids(const QString &logPath)
{
    QStringList pids;
    for (auto it = QRegularExpression("^started \\S+ (\\d+)$", QRegularExpression::MultilineOption)
                       .globalMatch(readFile(logPath));
         it.hasNext();)
        pids << it.next().captured(1);
    return pids;
}

} // namespace

void TestOvEndToEnd::initTestCase()
{
    for (const QString tool : {"Xvfb", "openbox", "xdotool", "wmctrl"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is not installed (scripts/install-deps installs it)"));
    // -displayfd picks a free display and writes its number to the given descriptor.
    xvfb.start("Xvfb",
               QString("-displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset").split(' '));
    xvfb.waitForReadyRead(15000); // one write of the number and its line end
    const QString display = ':' + QString::fromLatin1(xvfb.readLine().trimmed());
    QVERIFY2(display != ":", qPrintable("Xvfb did not start: " + xvfb.errorString()));
    desktop.insert("DISPLAY", display);
    desktop.insert("QT_QPA_PLATFORM", "xcb");
    windowManager.setProcessEnvironment(desktop);
    windowManager.start("openbox", {"--sm-disable"});
    // wmctrl names the window manager once there is one.
    QVERIFY2(QTest::qWaitFor([this] { return !x("wmctrl", {"-m"}).isEmpty(); }, 15000),
             "openbox did not take over the display");
}

void TestOvEndToEnd::cleanupTestCase()
{
    for (QProcess *process : {&windowManager, &xvfb}) // killed by ~QProcess if they hang
        process->terminate(), process->waitForFinished(5000);
}

QByteArray TestOvEndToEnd::x(const QString &program, const QStringList &args) const
{
    QProcess process; // killed by its destructor when it hangs
    process.setProcessEnvironment(desktop);
    process.start(program, args);
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

QString TestOvEndToEnd::waitForWindow(const QString &titleRegExp, int ms) const
{
    QDeadlineTimer deadline(ms);
    QByteArray ids;
    while ((ids = x("xdotool", {"search", "--onlyvisible", "--name", titleRegExp})).isEmpty() &&
           !deadline.hasExpired())
        QTest::qWait(50);
    return QString::fromLatin1(ids.split('\n').value(0));
}

void TestOvEndToEnd::cleanup()
{
    for (QProcess *process : {&updater, &suite, &service})
        process->kill(), process->waitForFinished();
    // The suites the updater started are not our children: end them by the pid they logged.
    for (const QString &pid : suitePids(installPath("demo-suite.log")))
        ::kill(pid.toInt(), SIGKILL);
    root.reset();
}

void TestOvEndToEnd::run_data()
{
    // Forced updates start by themselves; the row's button is clicked in the workflow tests.
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QStringList>("serviceArgs");
    // None: no window at all; "^Tip$": Yes to the start question; "^Warning$": No to a retry.
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("isSigned"); // by an updater built with the test key

    const QStringList none, silent{"--delay-ms", "20000"}, cut{"--cut-after", "100000"};
    QTest::newRow("nothing newer") << "1.0" << none << "" << 0 << false;
    QTest::newRow("silent service") << "1.1" << silent << "" << 0 << false;
    QTest::newRow("signed package, keyed updater") << "1.1" << none << "^Tip$" << 0 << true;
    // Back at the offer nothing runs, so the close then ends at once without a question.
    QTest::newRow("cut package: No to the retry, then a close")
        << "1.1" << cut << "^Warning$" << 2 << false;
}

void TestOvEndToEnd::run()
{
    QFETCH(QString, offered);
    QFETCH(QStringList, serviceArgs);
    QFETCH(QString, question);
    QFETCH(bool, isSigned);
    const bool updated = question == "^Tip$";
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(root->path()).mkpath("install/config") && QDir(root->path()).mkpath("packages"));
    QVERIFY(QFile::copy(isSigned ? OV_SIGNED_UPDATER : OV_UPDATER, installPath("OvZentaUpdate")) &&
            QFile::copy(OV_DEMO_SUITE, installPath("OvDemoSuite")) &&
            writeFile(installPath("version.txt"), "1.0\n") &&
            writeFile(installPath("config/sysconfig-language.xml"),
                      R"(<cfg><ctrl isset="1" language="en_US"/></cfg>)"));
    // The next release: the suite's executable, its version file and data of its own.
    QVERIFY(OvTestZip::write(root->filePath("packages/zenta-1.1.zip"),
                             {{"OvDemoSuite", readFile(OV_DEMO_SUITE)},
                              {"version.txt", "1.1\n"},
                              {"media/", QByteArray()},
                              {"media/intro.bin", OvTestPackage::bytes(kPackagePadding)}}));
    log.clear();
    QVERIFY2(!isSigned ||
                 !OvTestMinisign::sign(OV_TEST_KEY_DIR, "vendor",
                                       root->filePath("packages/zenta-1.1.zip"), "zenta 1.1")
                      .isEmpty(),
             "minisign did not sign the package");

    suite.setProcessEnvironment(desktop);
    suite.start(installPath("OvDemoSuite"), QStringList());
    QVERIFY2(!waitForWindow("^Zenta demo suite 1.0$", 10000).isEmpty(),
             "the demo suite 1.0 did not show");
    // Offered as forced, and only for the code the suite passes: a query without it finds none.
    const QString catalogue = root->filePath("catalogue.json");
    QVERIFY(writeFile(catalogue,
                      QStringLiteral(R"({"channels":[{"key":3,"codes":{"demo":[{"version":"%1",)"
                                     R"("package":"zenta-1.1.zip","importanceLevel":1}]}}]})")
                          .arg(offered)
                          .toUtf8()));
    service.start(OV_UPGRADE_SERVICE,
                  QStringList{"--catalogue", catalogue, "--packages", root->filePath("packages")} +
                      serviceArgs);
    service.waitForReadyRead(10000); // one line, written and flushed at once
    const QString line = QString::fromUtf8(service.readLine()).trimmed();
    QVERIFY2(line.startsWith("listening on "), qPrintable("the service did not start: " + line));
    const QString serviceUrl = line.mid(int(qstrlen("listening on ")));

    // Started as the suite starts it, from a directory that is not the installation directory.
    updater.setProcessEnvironment(desktop);
    updater.setProcessChannelMode(QProcess::MergedChannels);
    updater.setWorkingDirectory(root->path());
    updater.start(installPath("OvZentaUpdate"),
                  QStringLiteral("-v 1.0 -t 1 -k OvDemoSuite -url %1/check -ct 3 -cc demo")
                      .arg(serviceUrl)
                      .split(' '));
    QVERIFY2(updater.waitForStarted(), qPrintable(updater.errorString()));
    if (question.isEmpty()) {
        // Nothing newer, or a silent service timed out: it ends by itself, without a window.
        bool windowSeen = false;
        for (QDeadlineTimer deadline(15000); !updater.waitForFinished(50) &&
                                             updater.state() != QProcess::NotRunning &&
                                             !deadline.hasExpired();)
            windowSeen = windowSeen || !waitForWindow(kWindowTitle).isEmpty();
        QVERIFY2(!windowSeen, "the window showed although nothing was to be done");
    } else {
        const QString window = waitForWindow(kWindowTitle, 15000);
        QVERIFY2(!window.isEmpty(), qPrintable(updaterLog()));
        // Download and extraction run by themselves; the next thing the user sees is the question.
        const QString asked = waitForWindow(question, 30000);
        QVERIFY2(!asked.isEmpty(), qPrintable(updaterLog()));
        QVERIFY2(suite.state() == QProcess::NotRunning || suite.waitForFinished(5000),
                 "the old suite was not stopped");
        x("xdotool", {"windowactivate", "--sync", asked, "key", updated ? "Return" : "Escape"});
        if (!updated) {
            QTRY_VERIFY(waitForWindow(question).isEmpty());
            x("wmctrl", {"-i", "-c", window}); // as its close button does
        }
    }

    QVERIFY2(updater.state() == QProcess::NotRunning || updater.waitForFinished(15000),
             "the updater did not end");
    QTEST(updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -98, "exitCode");
    updaterLog();
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
    QCOMPARE(readFile(installPath("version.txt")), updated ? QByteArray("1.1\n") : "1.0\n");
    QVERIFY2(!QFile::exists(installPath("zenta-1.1.zip")), "the package was left");
    if (updated) { // the suite restarted from the updated directory
        QCOMPARE(QFileInfo(installPath("media/intro.bin")).size(), kPackagePadding);
        QVERIFY2(!waitForWindow("^Zenta demo suite 1.1$", 10000).isEmpty(),
                 "the updated suite did not show");
        QCOMPARE(suitePids(installPath("demo-suite.log")).size(), 2);
    }
    QCOMPARE(updaterLog().contains("OvZentaUpdateForm::unZipPackage signature verified for 1.1"),
             isSigned);
}

QTEST_GUILESS_MAIN(TestOvEndToEnd)
#include "tst_ovendtoend.moc"
