#include "core/suite/OvSuiteProcess.h"
#include "core/suite/OvVersion.h"
#include "gui/window/OvBarPercent.h"
#include "gui/window/OvMessageBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

// What the workflow test leaves to the window's helpers: the version comparison's rules, the
// percentage guard, the question box closed in Chinese, and which processes a stop ends.
class TestOvWindowHelpers : public QObject
{
    Q_OBJECT

private slots:
    void isNewer_data();
    void isNewer();
    void barPercent_data();
    void barPercent();
    void closedQuestionAnswersNo();
    void isSuiteExecutable_data();
    void isSuiteExecutable();
    void stopEndsOnlyTheSuite();

private:
    QTemporaryDir dir;
};

void TestOvWindowHelpers::isNewer_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("isNewer"); // than
    QTest::addColumn<QString>("installed");

    QTest::newRow("trailing zeros are equal") << "2.0" << false << "2.0.0";
    QTest::newRow("numbers, not text") << "1.10" << true << "1.9";
    QTest::newRow("an empty offer") << "" << false << "2.0.0";
    QTest::newRow("longer with a non-zero tail") << "2.0.0.1" << true << "2.0";
    QTest::newRow("anything over an empty install") << "0.1" << true << "";
    QTest::newRow("parts that are no number count as 0") << "2.x.1" << true << "2.beta";
    QTest::newRow("empty parts count") << "2..1" << false << "2.0.2";
    QTest::newRow("the first difference decides") << "3.0.0" << true << "2.99.99";
}

void TestOvWindowHelpers::isNewer()
{
    QFETCH(QString, offered);
    QFETCH(QString, installed);
    QTEST(OvVersion::isNewer(offered, installed), "isNewer");
}

void TestOvWindowHelpers::barPercent_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<int>("value"); // -2: none, the bar keeps what it shows

    QTest::newRow("1023 of 1024 truncates") << 1023.0 / 1024 * 100 << 99;
    QTest::newRow("just below 0 (size not announced)") << -0.5 << 0;
    QTest::newRow("-1 and below") << -1.0 << -2;
    QTest::newRow("a total of 0") << qInf() << -2;
    QTest::newRow("0 of 0") << qQNaN() << -2;
    QTest::newRow("too large for an int") << 1e12 << -2;
}

void TestOvWindowHelpers::barPercent()
{
    QFETCH(double, percent);
    QTEST(OvBarPercent::value(percent).value_or(-2), "value");
}

// The workflow answers in English with Yes and with Escape; the title bar's close is No too.
void TestOvWindowHelpers::closedQuestionAnswersNo()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-zh_CN.qm")));
    QCoreApplication::installTranslator(&translator);
    QString seen;
    // Read and closed from the event loop that the box runs; a modal box is active once shown.
    QTimer::singleShot(0, this, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        seen = box->windowTitle() + '|' + box->text() + '|' +
               box->button(QMessageBox::Yes)->text() + '/' + box->button(QMessageBox::No)->text();
        box->close();
    });
    QCOMPARE(OvMessageBox::confirm(QStringLiteral("Tip"), QStringLiteral("Start?")), 0x10000);
    QCOMPARE(seen, QString::fromUtf8("Tip|Start?|是/否"));
}

void TestOvWindowHelpers::isSuiteExecutable_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<bool>("expected"); // for the name
    QTest::addColumn<QString>("name");

    // Long names, a shared kernel name of 15 characters and the empty name are the stop test's.
    QTest::newRow("replaced executable") << "/opt/z/zenta (deleted)" << true << "zenta";
    QTest::newRow("case matters") << "/opt/z/Zenta" << false << "zenta";
    QTest::newRow("a directory is not the name") << "/opt/zenta/x" << false << "zenta";
}

void TestOvWindowHelpers::isSuiteExecutable()
{
    QFETCH(QString, exe);
    QFETCH(QString, name);
    QTEST(OvSuiteProcess::isSuiteExecutable(exe, name), "expected");
}

void TestOvWindowHelpers::stopEndsOnlyTheSuite()
{
    // On Windows taskkill does it, given the name as one argument so that blanks stay inside.
    QCOMPARE(OvSuiteProcess::taskkillArguments(QStringLiteral("My Suite.exe")),
             (QStringList{"/im", "My Suite.exe", "/f"}));
    // Copies of sleep, so that they run under these executable names.
    const QString suiteName = QStringLiteral("zenta-suite-with-a-very-long-name");
    const QString ownName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QProcess suite, other, sibling;
    const auto run = [this](QProcess &process, const QString &name) {
        QFile::copy(QStringLiteral("/bin/sleep"), dir.filePath(name));
        process.start(dir.filePath(name), {QStringLiteral("60")});
        return process.waitForStarted();
    };
    QVERIFY2(run(suite, suiteName) && run(other, suiteName.chopped(1)) && run(sibling, ownName),
             "the test processes did not start");

    OvSuiteProcess::stop(QString()); // ends nothing
    OvSuiteProcess::stop(suiteName);
    OvSuiteProcess::stop(ownName); // ends the sibling of that name; this test runs on
    QVERIFY2(suite.waitForFinished(5000) && suite.exitStatus() == QProcess::CrashExit,
             "the suite was not stopped");
    QVERIFY2(sibling.waitForFinished(5000), "the other process of the updater's name runs on");
    QVERIFY2(!other.waitForFinished(100), "a process of another name was stopped");
}

QTEST_MAIN(TestOvWindowHelpers)
#include "tst_ovwindowhelpers.moc"
