#include "common/OvTestMinisign.h"
#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"
#include "gui/window/OvZentaUpdateForm.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <atomic>

namespace {

using OvTestSupport::readFile;

const QString kRetry = QStringLiteral("Warning: Update failed because %1 failed,whether to retry?");
const QString kDownloadFailed = kRetry.arg("download");
const QString kUnZipFailed = kRetry.arg("unzip");
const QString kStart = QStringLiteral("Tip: Whether to start the software?");
const QString kExit = QStringLiteral("Warning: Software is updating, please confirm to exit?");
const QByteArray kOldData = "old data, longer than the new";

// One update from the offer on: the user's script and what must come of it.
struct Update
{
    int importance = 2;
    QString firstRequest; // "404", "cut", "hold", "not a zip"; later requests get the package
    int clicks = 0;       // on the row's start button, each time the row offers it
    QString closeAt;      // "downloading", "extracting", "after N" questions, or never
    QString answers;      // one letter per question: Y clicks Yes, N presses Escape; N beyond
    int exitCode = 0;     // 0 only when the suite was started again
    QStringList questions;
    int requests = 0;
    bool isUpdated = false;  // the package's files are in place
    bool isTampered = false; // signed, then changed: the window has the vendor's key
};

// What the user saw.
struct Seen
{
    QStringList asked;                    // "title: text" of each question
    QList<QPair<int, int>> progressAsked; // row bar in % of its header, hidden bar, per question
    int clicks = 0;
    int rowBarAtClicks = 0;
    QString titleAtShow;
    bool isSuiteAliveAtShow = false;
    bool isRowButtonHiddenAtShow = false;
    int extractedAtClose = -1;
};

} // namespace

Q_DECLARE_METATYPE(Update)

// The whole workflow in process, against a loopback server, over a temporary installation,
// with the user played by a timer.
class TestOvZentaUpdateForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void update_data();
    void update();

protected:
    bool eventFilter(QObject *, QEvent *event) override;

private:
    void poll();
    bool isTimeToClose() const;
    int rowPercent() const;
    QWidget *header() const { return window->findChild<QWidget *>("wgtHead"); }
    QPushButton *button() const { return header()->findChild<QPushButton *>("btnUpgrade"); }
    QString path(const QString &name) const { return QDir(dir->path()).filePath(name); }

    QTranslator translator;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<OvTestServer> server;
    std::unique_ptr<OvTestGate> gate;
    std::string checkAnswer;
    QByteArray package;
    std::atomic<int> packageRequests{0};
    QPointer<OvZentaUpdateForm> window;
    Update script;
    Seen seen;
    qint64 suitePid = 0;
    QTimer user;
};

void TestOvZentaUpdateForm::initTestCase()
{
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);
    connect(&user, &QTimer::timeout, this, &TestOvZentaUpdateForm::poll);
    user.start(5);
}

void TestOvZentaUpdateForm::init()
{
    dir = std::make_unique<QTemporaryDir>();
    // The download queue saves into the current directory; it is the installation directory.
    QVERIFY(dir->isValid() && QDir::setCurrent(dir->path()));
    gate = std::make_unique<OvTestGate>();
    script = Update();
    seen = Seen();
    packageRequests = 0;
    server = std::make_unique<OvTestServer>();
    server->server().Post("/check", [this](const httplib::Request &, httplib::Response &res) {
        res.set_content(checkAnswer, "application/json");
    });
    server->server().Get("/pkg.zip", [this](const httplib::Request &, httplib::Response &res) {
        const QString mode = packageRequests++ == 0 ? script.firstRequest : QString();
        if (mode == QLatin1String("404")) {
            res.status = 404;
            return;
        }
        const QByteArray bytes = mode == QLatin1String("not a zip") ? "no zip archive" : package;
        const size_t half = size_t(bytes.size()) / 2;
        res.set_content_provider(
            size_t(bytes.size()), "application/zip",
            [this, bytes, mode, half](size_t offset, size_t, httplib::DataSink &sink) {
                if (offset == half && mode == QLatin1String("cut"))
                    return false; // the connection drops in the middle of the body
                if (offset == half && mode == QLatin1String("hold"))
                    gate->wait(20000); // until the user is asked something
                const size_t end = offset < half ? half : size_t(bytes.size());
                return sink.write(bytes.constData() + offset, end - offset);
            });
    });
    QVERIFY(server->start());
}

void TestOvZentaUpdateForm::cleanup()
{
    delete window;
    gate->open();
    server.reset();
    QThreadPool::globalInstance()->waitForDone();
    QDir::setCurrent(QDir::tempPath());
    dir.reset();
}

bool TestOvZentaUpdateForm::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Show && header() && seen.titleAtShow.isEmpty()) {
        seen.titleAtShow = header()->findChild<QLabel *>(QStringLiteral("labName"))->text();
        seen.isRowButtonHiddenAtShow = button()->isHidden();
        QFile stat(QStringLiteral("/proc/%1/stat").arg(suitePid));
        seen.isSuiteAliveAtShow = stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z");
    }
    return false;
}

// The painted bar's width along the header's bottom edge, where nothing else is blue.
int TestOvZentaUpdateForm::rowPercent() const
{
    const QImage image = header()->grab().toImage();
    int width = 0;
    while (width < image.width() &&
           image.pixelColor(width, image.height() - 2) == QColor(0, 157, 254))
        ++width;
    return width * 100 / image.width();
}

bool TestOvZentaUpdateForm::isTimeToClose() const
{
    if (script.closeAt == QLatin1String("downloading"))
        return seen.asked.isEmpty() && packageRequests > 0;
    if (script.closeAt == QLatin1String("extracting"))
        return readFile(path("data.txt")) == "data of 2.0";
    return script.closeAt.startsWith(QLatin1String("after ")) &&
           seen.asked.size() >= script.closeAt.mid(6).toInt();
}

// The user. The close goes through a timer of its own, because it asks a question that this
// timer must be free to answer.
void TestOvZentaUpdateForm::poll()
{
    if (!window || !window->isVisible() || !header())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        seen.asked << box->windowTitle() + ": " + box->text();
        seen.progressAsked << qMakePair(rowPercent(), window->findChild<QProgressBar *>()->value());
        gate->open();
        if (script.answers.mid(seen.asked.size() - 1, 1) == QLatin1String("Y"))
            box->button(QMessageBox::Yes)->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
        return;
    }
    if (seen.clicks < script.clicks && button()->text() == QLatin1String("Upgrade")) {
        ++seen.clicks;
        seen.rowBarAtClicks += rowPercent();
        QTest::mouseClick(button(), Qt::LeftButton);
    }
    if (seen.extractedAtClose < 0 && isTimeToClose()) {
        seen.extractedAtClose = QDir(path("extra")).entryList(QDir::Files).size();
        QTimer::singleShot(0, window, [this] { window->close(); });
    }
}

void TestOvZentaUpdateForm::update_data()
{
    QTest::addColumn<Update>("update");
    using L = QStringList;
    QTest::newRow("Yes starts the suite")
        << Update{2, "", 1, "", "Y", 0, L{kStart}, 1, true, false};
    QTest::newRow("No keeps the window, a close asks")
        << Update{2, "", 1, "after 1", "NY", 1, L{kStart, kExit}, 1, true, false};
    QTest::newRow("404, Yes downloads again")
        << Update{2, "404", 1, "", "YY", 0, L{kDownloadFailed, kStart}, 2, true, false};
    QTest::newRow("cut, No, one click starts again")
        << Update{2, "cut", 2, "", "NY", 0, L{kDownloadFailed, kStart}, 2, true, false};
    QTest::newRow("not a zip, Yes extracts again, No") << Update{
        2, "not a zip", 1, "after 2", "YN", 1, L{kUnZipFailed, kUnZipFailed}, 1, false, false};
    QTest::newRow("close while downloading, No goes on")
        << Update{2, "hold", 1, "downloading", "NY", 0, L{kExit, kStart}, 1, true, false};
    QTest::newRow("close while extracting")
        << Update{2, "", 1, "extracting", "Y", 1, L{kExit}, 1, true, false};
    QTest::newRow("forced, close while downloading")
        << Update{1, "hold", 0, "downloading", "Y", 2, L{kExit}, 1, false, false};
    QTest::newRow("package changed after signing is refused, nothing written")
        << Update{2, "", 1, "after 1", "N", 1, L{kUnZipFailed}, 1, false, true};
}

void TestOvZentaUpdateForm::update()
{
    QFETCH(Update, update);
    script = update;
    // The updated suite records its version and working directory when it starts. Closing
    // during the extraction needs a package that takes a while to extract.
    const int extraFiles = update.closeAt == QLatin1String("extracting") ? 2000 : 0;
    QList<OvTestZip::Entry> entries{
        {"zenta-suite", "#!/bin/sh\necho 2.0 > started.txt\npwd >> started.txt\n"},
        {"data.txt", "data of 2.0"}};
    for (int i = 0; i < extraFiles; ++i)
        entries.append(OvTestZip::Entry("extra/" + QByteArray::number(i),
                                        QByteArray(50000, char('a' + i % 26))));
    QVERIFY(OvTestZip::write(path("source.zip"), entries)); // left there, among older files
    QByteArray key, signature; // the window's key and the answer's member, when not empty
    if (update.isTampered) {   // still a sound zip: only the signature check can refuse it
        key = OvTestMinisign::makeKey(dir->path(), "vendor");
        signature =
            OvTestMinisign::sign(dir->path(), "vendor", path("source.zip"), "zenta 2.0").toBase64();
        QVERIFY2(!key.isEmpty() && !signature.isEmpty(), "minisign failed");
        entries[1].data = "tampered";
        QVERIFY(OvTestZip::write(path("source.zip"), entries));
    }
    package = readFile(path("source.zip"));

    // The running suite, a copy of sleep under the name the window stops, among older files.
    QVERIFY(OvTestSupport::writeFile(path("data.txt"), kOldData) &&
            QFile::copy(QStringLiteral("/bin/sleep"), path("zenta-suite")));
    QProcess suite;
    suite.start(path("zenta-suite"), {QStringLiteral("60")});
    QVERIFY(suite.waitForStarted());
    suitePid = suite.processId();

    const OvTestSupport::LogCapture log;
    checkAnswer =
        QStringLiteral(R"({"status":200,"message":"ok","data":{"version":"%1",)"
                       R"("url":"%2","description":"New things.","importanceLevel":%3%4}})")
            .arg("2.0", server->url(QStringLiteral("/pkg.zip")))
            .arg(script.importance)
            .arg(signature.isEmpty() ? QString() : ",\"signature\":\"" + signature + '"')
            .toStdString();
    window = new OvZentaUpdateForm;
    window->installEventFilter(this);
    window->setInstallDir(dir->path());
    window->setCurrentVersion(QStringLiteral("1.0"));
    window->setProcessName(QStringLiteral("zenta-suite"));
    if (!key.isEmpty())
        window->setPublicKey(key);
    window->startUpgradeCheck(server->url(QStringLiteral("/check")));
    // -99 when the window never ends the loop; the time-out goes with the window.
    QTimer::singleShot(20000, window, [] { QCoreApplication::exit(-99); });
    QCOMPARE(QApplication::exec(), update.exitCode);
    // The newer offer shows the window (the lines of one not newer are the end-to-end runs').
    QVERIFY2(log.contains("OvZentaUpdateForm::checkIsQuit 0 1") &&
                 log.contains("OvZentaUpdateForm::checkIsQuit true"),
             qPrintable(log.lines().join('\n')));
    delete window; // perhaps while its extraction task still runs
    QCOMPARE(seen.asked, update.questions);
    QCOMPARE(packageRequests.load(), update.requests);
    QTRY_VERIFY2(suite.state() == QProcess::NotRunning && suite.exitStatus() == QProcess::CrashExit,
                 "the running suite was not stopped");
    QCOMPARE(seen.titleAtShow, update.importance == 1 ? "Software is updating to V2.0"
                                                      : "Software can be upgraded to V2.0");
    // A forced update stops the suite before the window shows, and cannot be stopped.
    QCOMPARE(seen.isSuiteAliveAtShow, update.importance != 1);
    QCOMPARE(seen.isRowButtonHiddenAtShow, update.importance == 1);
    QVERIFY2(seen.clicks == update.clicks && seen.rowBarAtClicks == 0,
             "the row did not offer its start again, or still showed progress");
    // The row shows the download, the hidden bar the download and then the extraction.
    const QPair<int, int> half = seen.progressAsked.value(0); // when the cut download failed
    QVERIFY2(update.firstRequest != "cut" ||
                 (half.first > 0 && half.first < 100 && qAbs(half.first - half.second) <= 1),
             "half a download does not show as such on the row and the bar");
    const int tip = seen.asked.indexOf(kStart);
    if (tip >= 0) { // both bars full, and the package gone, before the start question
        QCOMPARE(seen.progressAsked.at(tip), qMakePair(100, 100));
        QCOMPARE(QDir(dir->path()).entryList({"pkg*"}, QDir::Files), QStringList());
        QVERIFY2(!QFileInfo::exists(path(".ovupdate")), "the install left its state behind");
    }

    QCOMPARE(readFile(path("data.txt")), update.isUpdated ? QByteArray("data of 2.0") : kOldData);
    if (extraFiles > 0) {
        QVERIFY2(seen.extractedAtClose < extraFiles, "the extraction ended before the close");
        QCOMPARE(QDir(path("extra")).entryList(QDir::Files).size(), extraFiles);
    }
    // Only a Yes to the start question runs the suite, from its directory.
    const QString ran = "2.0\n" + QFileInfo(dir->path()).canonicalFilePath() + '\n';
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readFile(path("started.txt"))),
                              update.exitCode == 0 ? ran : QString(), 5000);
}

QTEST_MAIN(TestOvZentaUpdateForm)
#include "tst_ovzentaupdateform.moc"
