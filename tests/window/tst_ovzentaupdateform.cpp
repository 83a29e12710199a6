#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"
#include "window/OvZentaUpdateForm.h"
#include "window/list/OvListItemHeaderForm.h"
#include "window/list/OvUpgradeListWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <atomic>

namespace {

// Answers the window's questions as a user would, and remembers what was asked.
class QuestionAnswerer : public QObject
{
public:
    struct Question
    {
        QString title;
        QString text;
    };

    QuestionAnswerer()
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, &QuestionAnswerer::poll);
        timer.start();
    }

    // The answers to give, in order; a question beyond them is answered No.
    QList<QMessageBox::StandardButton> answers;
    QList<Question> asked;
    // Called with each question just before it is answered.
    std::function<void(const Question &)> onQuestion;

    QStringList texts() const
    {
        QStringList t;
        for (const Question &q : asked)
            t << q.text;
        return t;
    }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("ovAnswered").toBool())
            return;
        box->setProperty("ovAnswered", true);
        const Question q{box->windowTitle(), box->text()};
        asked.append(q);
        if (onQuestion)
            onQuestion(q);
        const auto answer = answers.isEmpty() ? QMessageBox::No : answers.takeFirst();
        QMetaObject::invokeMethod(box->button(answer), "click", Qt::QueuedConnection);
    }

    QTimer timer;
};

enum class PackageMode
{
    Serve,
    NotFound,
    CutMidBody,
    Hold
};

const char *const kDownloadFailed = "Update failed because download failed,whether to retry?";
const char *const kUnZipFailed = "Update failed because unzip failed,whether to retry?";
const char *const kStartSuite = "Whether to start the software?";
const char *const kConfirmExit = "Software is updating, please confirm to exit?";

} // namespace

class TestOvZentaUpdateForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void offerDecision_data();
    void offerDecision();
    void failedCheckQuitsSilently();
    void wholeUpdate();
    void startQuestionNoKeepsWindowAndCloseAsks();
    void forcedUpdateStartsBeforeShow();
    void failedDownload_data();
    void failedDownload();
    void failedExtractionAsksRetry();
    void closeDuringDownloadAnsweredNo();
    void closeDuringExtractionIsSafe();

private:
    void serveCheck(const QString &version, int importanceLevel = 2);
    void startWindow(OvZentaUpdateForm &window, const QString &installedVersion = "1.0");
    // Runs the application's event loop until the window ends it; -99 when it never does.
    static int runLoop(int timeoutMs = 20000);
    static QPushButton *rowButton(OvZentaUpdateForm &window);
    static OvListItemHeaderForm *rowHeader(OvZentaUpdateForm &window);
    // Width in pixels of the progress bar the row paints, read off the rendered header.
    static int rowBarWidth(OvZentaUpdateForm &window);
    void writeSuite(const QByteArray &version);
    QByteArray suitePackage(const QByteArray &version, int extraFiles = 0);
    QString readInstalled(const QString &name) const;
    QString installPath(const QString &name) const { return QDir(dir->path()).filePath(name); }

    QTranslator translator;
    QString originalCwd;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<OvTestServer> server;
    std::unique_ptr<OvTestGate> gate;
    std::mutex packageMutex;
    QByteArray package;
    std::atomic<PackageMode> mode{PackageMode::Serve};
    std::atomic<PackageMode> modeAfterFirst{PackageMode::Serve};
    std::atomic<int> packageRequests{0};
    std::string checkAnswer;
};

void TestOvZentaUpdateForm::initTestCase()
{
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);
    originalCwd = QDir::currentPath();
}

void TestOvZentaUpdateForm::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    // The download queue saves into the current directory; it is the installation directory.
    QVERIFY(QDir::setCurrent(dir->path()));
    gate = std::make_unique<OvTestGate>();
    mode = PackageMode::Serve;
    modeAfterFirst = PackageMode::Serve;
    packageRequests = 0;

    server = std::make_unique<OvTestServer>();
    server->server().Post("/check", [this](const httplib::Request &, httplib::Response &res) {
        res.set_content(checkAnswer, "application/json");
    });
    server->server().Get("/pkg.zip", [this](const httplib::Request &, httplib::Response &res) {
        const PackageMode m = packageRequests++ == 0 ? mode.load() : modeAfterFirst.load();
        QByteArray bytes;
        {
            std::lock_guard<std::mutex> lock(packageMutex);
            bytes = package;
        }
        if (m == PackageMode::NotFound) {
            res.status = 404;
            return;
        }
        const size_t total = size_t(bytes.size());
        res.set_content_provider(
            total, "application/zip",
            [bytes, m, total, this](size_t offset, size_t, httplib::DataSink &sink) {
                if (m == PackageMode::Hold && offset == 0)
                    gate->wait(20000);
                const size_t half = total / 2;
                if (m == PackageMode::CutMidBody) {
                    if (offset >= half)
                        return false; // the connection drops in the middle of the body
                    sink.write(bytes.constData(), half);
                    return true;
                }
                sink.write(bytes.constData() + offset, std::min<size_t>(64 * 1024, total - offset));
                return true;
            });
    });
    QVERIFY(server->start());
}

void TestOvZentaUpdateForm::cleanup()
{
    gate->open();
    server.reset();
    QThreadPool::globalInstance()->waitForDone();
    QDir::setCurrent(originalCwd);
    dir.reset();
}

void TestOvZentaUpdateForm::serveCheck(const QString &version, int importanceLevel)
{
    checkAnswer = QStringLiteral(R"({"status":200,"message":"ok","data":{"version":"%1",)"
                                 R"("url":"%2","description":"New things.","cdt":"2026-12-01",)"
                                 R"("importanceLevel":%3}})")
                      .arg(version, server->url(QStringLiteral("/pkg.zip")))
                      .arg(importanceLevel)
                      .toStdString();
}

void TestOvZentaUpdateForm::startWindow(OvZentaUpdateForm &window, const QString &installedVersion)
{
    window.setInstallDir(dir->path());
    window.setLanguage(QStringLiteral("en_US"));
    window.setCurrentVersion(installedVersion);
    window.setChannelType(3);
    window.setProcessName(QStringLiteral("zenta-suite"));
    window.setCode(QString());
    window.startUpgradeCheck(server->url(QStringLiteral("/check")));
}

int TestOvZentaUpdateForm::runLoop(int timeoutMs)
{
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-99); });
    guard.start(timeoutMs);
    return QApplication::exec();
}

OvListItemHeaderForm *TestOvZentaUpdateForm::rowHeader(OvZentaUpdateForm &window)
{
    auto *list = window.findChild<OvUpgradeListWidget *>(QStringLiteral("wgtList"));
    return list ? list->findChild<OvListItemHeaderForm *>() : nullptr;
}

int TestOvZentaUpdateForm::rowBarWidth(OvZentaUpdateForm &window)
{
    OvListItemHeaderForm *header = rowHeader(window);
    if (!header)
        return 0;
    // Near the bottom edge nothing but the bar covers the strip: the button is centred with
    // room above and below, and the percentage is written at the top.
    const QImage image = header->grab().toImage();
    const int y = image.height() - 2;
    int width = 0;
    while (width < image.width() && image.pixelColor(width, y) == QColor(0, 157, 254))
        ++width;
    return width;
}

QPushButton *TestOvZentaUpdateForm::rowButton(OvZentaUpdateForm &window)
{
    OvListItemHeaderForm *header = rowHeader(window);
    return header ? header->findChild<QPushButton *>(QStringLiteral("btnUpgrade")) : nullptr;
}

void TestOvZentaUpdateForm::writeSuite(const QByteArray &version)
{
    // A stand-in suite: a script that records its version and working directory when started.
    QFile suite(installPath(QStringLiteral("zenta-suite")));
    QVERIFY(suite.open(QIODevice::WriteOnly));
    suite.write("#!/bin/sh\necho " + version + " > started.txt\npwd >> started.txt\n");
    suite.close();
    QVERIFY(suite.setPermissions(suite.permissions() | QFileDevice::ExeOwner));
}

QByteArray TestOvZentaUpdateForm::suitePackage(const QByteArray &version, int extraFiles)
{
    QList<QPair<QString, QByteArray>> entries{
        {QStringLiteral("zenta-suite"),
         "#!/bin/sh\necho " + version + " > started.txt\npwd >> started.txt\n"},
        {QStringLiteral("data.txt"), "data of " + version},
        {QStringLiteral("plugins/"), QByteArray()},
        {QStringLiteral("plugins/video/codec.bin"), QByteArray(200000, 'v')}};
    for (int i = 0; i < extraFiles; ++i)
        entries.append(
            {QStringLiteral("extra/file%1.bin").arg(i), QByteArray(50000, char('a' + i % 26))});
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("ov-test-package.zip"));
    QFile::remove(path);
    if (!OvTestZip::write(path, entries))
        return QByteArray();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    f.close();
    QFile::remove(path);
    return bytes;
}

QString TestOvZentaUpdateForm::readInstalled(const QString &name) const
{
    QFile f(installPath(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void TestOvZentaUpdateForm::offerDecision_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("shown");
    QTest::newRow("2.0 is not newer than 2.0.0") << "2.0"
                                                 << "2.0.0" << false;
    QTest::newRow("an empty offer is not newer") << ""
                                                 << "2.0.0" << false;
    QTest::newRow("older offer") << "1.9"
                                 << "2.0" << false;
    QTest::newRow("2.0.1 over 2.0.0") << "2.0.1"
                                      << "2.0.0" << true;
    QTest::newRow("1.10 over 1.9") << "1.10"
                                   << "1.9" << true;
}

void TestOvZentaUpdateForm::offerDecision()
{
    QFETCH(QString, offered);
    QFETCH(QString, installed);
    QFETCH(bool, shown);

    serveCheck(offered);
    QuestionAnswerer answerer;
    OvZentaUpdateForm window;
    startWindow(window, installed);
    // Once shown, the user closes the window: no update runs, so no question and code 1.
    QTimer closer;
    connect(&closer, &QTimer::timeout, &window, [&window] {
        if (window.isVisible())
            window.close();
    });
    closer.start(20);

    const int code = runLoop();
    QCOMPARE(code, shown ? 1 : 0);
    QVERIFY2(answerer.asked.isEmpty(), qPrintable(answerer.texts().join(QLatin1Char('|'))));
    if (shown) {
        OvListItemHeaderForm *header = rowHeader(window);
        QVERIFY2(header, "the offer has no row");
        const auto *name = header->findChild<QLabel *>(QStringLiteral("labName"));
        QCOMPARE(name->text(), QStringLiteral("Software can be upgraded to V%1").arg(offered));
        QCOMPARE(window.windowTitle(), QStringLiteral("Software update online"));
    } else {
        QVERIFY2(!rowHeader(window), "a row was added for an offer that is not newer");
    }
    QCOMPARE(packageRequests.load(), 0);
}

void TestOvZentaUpdateForm::failedCheckQuitsSilently()
{
    checkAnswer = R"({"status":404,"message":"unknown key"})";
    OvTestSupport::LogCapture log;
    OvZentaUpdateForm window;
    startWindow(window);
    QCOMPARE(runLoop(), 0);
    QVERIFY(!window.isVisible());
    const QStringList lines = log.lines();
    const int decided = lines.indexOf(QStringLiteral("OvZentaUpdateForm::checkIsQuit 0 2"));
    QVERIFY2(decided >= 0 &&
                 lines.indexOf(QStringLiteral("OvZentaUpdateForm::checkIsQuit false")) > decided,
             qPrintable(lines.join(QLatin1Char('\n'))));
}

void TestOvZentaUpdateForm::wholeUpdate()
{
    writeSuite("1.0");
    QFile old(installPath(QStringLiteral("data.txt")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old data that is longer than the new data");
    old.close();
    package = suitePackage("2.0");
    QVERIFY(!package.isEmpty());
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::Yes};
    OvZentaUpdateForm window;
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QVERIFY(bar);
    QSignalSpy barValues(bar, &QProgressBar::valueChanged);
    int rowBar = 0;
    QString buttonTextWhileRunning;
    startWindow(window);

    // The user clicks the row's button as soon as the offer shows, and we watch the row.
    QTimer user;
    connect(&user, &QTimer::timeout, &window, [&] {
        QPushButton *button = rowButton(window);
        if (!window.isVisible() || !button)
            return;
        if (packageRequests == 0 && buttonTextWhileRunning.isEmpty()) {
            QTest::mouseClick(button, Qt::LeftButton);
            buttonTextWhileRunning = button->text();
        }
        rowBar = std::max(rowBar, rowBarWidth(window));
    });
    user.start(5);

    const int code = runLoop();
    QCOMPARE(code, 0);
    QCOMPARE(buttonTextWhileRunning, QStringLiteral("Stop Update"));
    QCOMPARE(answerer.texts(), QStringList{kStartSuite});
    QCOMPARE(answerer.asked.first().title, QStringLiteral("Tip"));

    QCOMPARE(readInstalled(QStringLiteral("data.txt")), QStringLiteral("data of 2.0"));
    QCOMPARE(QFileInfo(installPath(QStringLiteral("plugins/video/codec.bin"))).size(), 200000);
    QVERIFY2(!QFile::exists(installPath(QStringLiteral("pkg.zip"))), "the package was not removed");
    QVERIFY2(barValues.count() > 0, "no progress reached the hidden bar");
    QVERIFY2(rowBar > 0, "no download progress reached the row");

    // The restarted suite is the updated one, started in the installation directory.
    const QString started = installPath(QStringLiteral("started.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(readInstalled(QStringLiteral("started.txt")).count('\n') == 2, 5000);
    QCOMPARE(readInstalled(QStringLiteral("started.txt")),
             QStringLiteral("2.0\n%1\n").arg(QFileInfo(dir->path()).canonicalFilePath()));
    Q_UNUSED(started)
}

void TestOvZentaUpdateForm::startQuestionNoKeepsWindowAndCloseAsks()
{
    writeSuite("1.0");
    package = suitePackage("2.0");
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::No, QMessageBox::Yes};
    OvZentaUpdateForm window;
    answerer.onQuestion = [&window](const QuestionAnswerer::Question &q) {
        // After "No" to the start question the window stays; the user then closes it.
        if (q.text == QLatin1String(kStartSuite))
            QTimer::singleShot(50, &window, [&window] { window.close(); });
    };
    startWindow(window);
    QTimer user;
    connect(&user, &QTimer::timeout, &window, [&] {
        if (window.isVisible() && rowButton(window) && packageRequests == 0 &&
            rowButton(window)->text() == QLatin1String("Upgrade"))
            rowButton(window)->click();
    });
    user.start(10);

    QCOMPARE(runLoop(), 1);
    QCOMPARE(answerer.texts(), (QStringList{kStartSuite, kConfirmExit}));
    QCOMPARE(answerer.asked.last().title, QStringLiteral("Warning"));
    QCOMPARE(readInstalled(QStringLiteral("data.txt")), QStringLiteral("data of 2.0"));
    QVERIFY(!QFile::exists(installPath(QStringLiteral("started.txt"))));
    QVERIFY(!QFile::exists(installPath(QStringLiteral("pkg.zip"))));
}

void TestOvZentaUpdateForm::forcedUpdateStartsBeforeShow()
{
    // A running suite under the name the window stops.
    QFile::copy(QStringLiteral("/bin/sleep"), installPath(QStringLiteral("zenta-suite")));
    QProcess suite;
    suite.start(installPath(QStringLiteral("zenta-suite")), {QStringLiteral("60")});
    QVERIFY(suite.waitForStarted());
    const qint64 suitePid = suite.processId();

    package = suitePackage("2.0");
    mode = PackageMode::Hold;
    serveCheck(QStringLiteral("2.0"), 1);

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::Yes};
    OvZentaUpdateForm window;
    bool suiteAliveAtShow = true;
    QString titleAtShow;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, &window, [&] {
        if (!window.isVisible() || !titleAtShow.isEmpty())
            return;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(suitePid));
        suiteAliveAtShow = stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z");
        titleAtShow = rowHeader(window)->findChild<QLabel *>(QStringLiteral("labName"))->text();
    });
    watcher.start(1);
    // Once the package download has begun by itself, the user closes the window.
    QTimer closer;
    connect(&closer, &QTimer::timeout, &window, [&] {
        if (window.isVisible() && packageRequests > 0 && answerer.asked.isEmpty())
            window.close();
    });
    closer.start(20);
    startWindow(window);

    QCOMPARE(runLoop(), 2);
    QVERIFY2(!suiteAliveAtShow, "the suite was still running when the window appeared");
    QVERIFY2(titleAtShow.startsWith(QStringLiteral("Software is updating to V2.0")),
             qPrintable(titleAtShow));
    QVERIFY2(!rowButton(window)->isVisible(), "a forced update shows a start button");
    QCOMPARE(answerer.texts(), QStringList{kConfirmExit});
    suite.waitForFinished();
}

void TestOvZentaUpdateForm::failedDownload_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<bool>("retry");
    QTest::newRow("404, retried") << int(PackageMode::NotFound) << true;
    QTest::newRow("cut mid-body, retried") << int(PackageMode::CutMidBody) << true;
    QTest::newRow("404, back to the offer") << int(PackageMode::NotFound) << false;
    QTest::newRow("cut mid-body, back to the offer") << int(PackageMode::CutMidBody) << false;
}

void TestOvZentaUpdateForm::failedDownload()
{
    QFETCH(int, failure);
    QFETCH(bool, retry);
    writeSuite("1.0");
    package = suitePackage("2.0");
    mode = PackageMode(failure);
    modeAfterFirst = PackageMode::Serve;
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {retry ? QMessageBox::Yes : QMessageBox::No, QMessageBox::Yes};
    OvZentaUpdateForm window;
    QString buttonAfterNo;
    int barAfterNo = -1;
    int clicks = 0;
    startWindow(window);
    QTimer user;
    connect(&user, &QTimer::timeout, &window, [&] {
        QPushButton *button = rowButton(window);
        if (!window.isVisible() || !button || QApplication::activeModalWidget())
            return;
        if (clicks == 0) {
            button->click();
            ++clicks;
        } else if (clicks == 1 && !retry && answerer.asked.size() == 1) {
            // Back at the offer: the row offers its start again, one click restarts.
            buttonAfterNo = button->text();
            barAfterNo = rowBarWidth(window);
            button->click();
            ++clicks;
        }
    });
    user.start(10);

    QCOMPARE(runLoop(), 0);
    QCOMPARE(answerer.texts(), (QStringList{kDownloadFailed, kStartSuite}));
    QCOMPARE(answerer.asked.first().title, QStringLiteral("Warning"));
    QCOMPARE(packageRequests.load(), 2);
    if (!retry) {
        QCOMPARE(buttonAfterNo, QStringLiteral("Upgrade"));
        QVERIFY2(barAfterNo == 0, "the row still shows progress after going back");
    }
    QCOMPARE(readInstalled(QStringLiteral("data.txt")), QStringLiteral("data of 2.0"));
    // No partial package is left behind.
    QCOMPARE(QDir(dir->path()).entryList({QStringLiteral("pkg*")}, QDir::Files), QStringList());
}

void TestOvZentaUpdateForm::failedExtractionAsksRetry()
{
    writeSuite("1.0");
    package = QByteArray("this is not a zip archive");
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::Yes, QMessageBox::No};
    OvZentaUpdateForm window;
    answerer.onQuestion = [&](const QuestionAnswerer::Question &) {
        if (answerer.asked.size() == 2) // No: back to the offer, then the user closes
            QTimer::singleShot(50, &window, [&window] { window.close(); });
    };
    startWindow(window);
    QTimer user;
    connect(&user, &QTimer::timeout, &window, [&] {
        if (window.isVisible() && rowButton(window) && packageRequests == 0 &&
            rowButton(window)->text() == QLatin1String("Upgrade"))
            rowButton(window)->click();
    });
    user.start(10);

    // The retry extracts the same file again, without a second download.
    QCOMPARE(runLoop(), 1);
    QCOMPARE(answerer.texts(), (QStringList{kUnZipFailed, kUnZipFailed}));
    QCOMPARE(packageRequests.load(), 1);
    QCOMPARE(readInstalled(QStringLiteral("zenta-suite")).contains("1.0"), true);
}

void TestOvZentaUpdateForm::closeDuringDownloadAnsweredNo()
{
    writeSuite("1.0");
    package = suitePackage("2.0");
    mode = PackageMode::Hold;
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::No, QMessageBox::Yes};
    OvZentaUpdateForm window;
    answerer.onQuestion = [&](const QuestionAnswerer::Question &q) {
        if (q.text == QLatin1String(kConfirmExit))
            QTimer::singleShot(100, &window, [this] { gate->open(); }); // the download goes on
    };
    startWindow(window);
    bool closed = false;
    QTimer user;
    connect(&user, &QTimer::timeout, &window, [&] {
        if (!window.isVisible() || !rowButton(window))
            return;
        if (packageRequests == 0 && rowButton(window)->text() == QLatin1String("Upgrade"))
            rowButton(window)->click();
        else if (packageRequests > 0 && !closed) {
            closed = true;
            window.close();
        }
    });
    user.start(10);

    QCOMPARE(runLoop(), 0);
    QCOMPARE(answerer.texts(), (QStringList{kConfirmExit, kStartSuite}));
    QCOMPARE(packageRequests.load(), 1);
    QCOMPARE(readInstalled(QStringLiteral("data.txt")), QStringLiteral("data of 2.0"));
}

void TestOvZentaUpdateForm::closeDuringExtractionIsSafe()
{
    // A package large enough that the extraction is still running when the window goes.
    writeSuite("1.0");
    package = suitePackage("2.0", 2000);
    serveCheck(QStringLiteral("2.0"));

    QuestionAnswerer answerer;
    answerer.answers = {QMessageBox::Yes};
    int extractedAtClose = -1;
    {
        OvZentaUpdateForm window;
        auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        bool closed = false;
        // The first extraction progress comes after the download: close then.
        connect(bar, &QProgressBar::valueChanged, &window, [&](int) {
            if (!closed && QFile::exists(installPath(QStringLiteral("data.txt"))) &&
                readInstalled(QStringLiteral("data.txt")) == QLatin1String("data of 2.0")) {
                closed = true;
                extractedAtClose =
                    QDir(installPath(QStringLiteral("extra"))).entryList(QDir::Files).size();
                window.close();
            }
        });
        startWindow(window);
        QTimer user;
        connect(&user, &QTimer::timeout, &window, [&] {
            if (window.isVisible() && rowButton(window) && packageRequests == 0 &&
                rowButton(window)->text() == QLatin1String("Upgrade"))
                rowButton(window)->click();
        });
        user.start(10);
        QCOMPARE(runLoop(), 1);
        QVERIFY2(!answerer.asked.isEmpty(), "closing during the update asked nothing");
        QCOMPARE(answerer.asked.first().text, QString::fromLatin1(kConfirmExit));
        QVERIFY2(extractedAtClose < 2000,
                 "the extraction had already ended when the window closed");
    } // the window goes while the task may still be writing

    // The task ran to its end before the window was destroyed.
    QCOMPARE(QDir(installPath(QStringLiteral("extra"))).entryList(QDir::Files).size(), 2000);
}

QTEST_MAIN(TestOvZentaUpdateForm)
#include "tst_ovzentaupdateform.moc"
