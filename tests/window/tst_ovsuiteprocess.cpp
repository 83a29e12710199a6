#include "window/OvSuiteProcess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestOvSuiteProcess : public QObject
{
    Q_OBJECT

private slots:
    void isSuiteExecutable_data();
    void isSuiteExecutable();
    void taskkillKeepsNameWhole();
    void stopEndsOnlyTheSuite();
    void startRunsFromInstallDir();

private:
    QTemporaryDir dir;
};

void TestOvSuiteProcess::isSuiteExecutable_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<bool>("expected"); // for the name
    QTest::addColumn<QString>("name");

    // Long names, and names that share the kernel's first 15 characters, are the stop test's.
    QTest::newRow("same file name") << "/opt/z/zenta" << true << "zenta";
    QTest::newRow("replaced executable") << "/opt/z/zenta (deleted)" << true << "zenta";
    QTest::newRow("case matters") << "/opt/z/Zenta" << false << "zenta";
    QTest::newRow("an empty name matches nothing") << "/opt/z/zenta" << false << "";
    QTest::newRow("a directory is not the name") << "/opt/zenta/x" << false << "zenta";
}

void TestOvSuiteProcess::isSuiteExecutable()
{
    QFETCH(QString, exe);
    QFETCH(QString, name);
    QTEST(OvSuiteProcess::isSuiteExecutable(exe, name), "expected");
}

void TestOvSuiteProcess::taskkillKeepsNameWhole()
{
    QCOMPARE(OvSuiteProcess::taskkillArguments(QStringLiteral("My Suite.exe")),
             (QStringList{"/im", "My Suite.exe", "/f"}));
}

void TestOvSuiteProcess::stopEndsOnlyTheSuite()
{
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

void TestOvSuiteProcess::startRunsFromInstallDir()
{
    // Not from PATH and not from the current directory: from the installation directory.
    QFile script(dir.filePath(QStringLiteral("zenta-suite")));
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\npwd > started\n") > 0);
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    OvSuiteProcess::start(dir.path(), QStringLiteral("zenta-suite"));
    QFile started(dir.filePath(QStringLiteral("started")));
    QTRY_VERIFY_WITH_TIMEOUT(started.size() > 0, 5000);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(started.readAll().trimmed(), QFileInfo(dir.path()).canonicalFilePath().toUtf8());
}

QTEST_GUILESS_MAIN(TestOvSuiteProcess)
#include "tst_ovsuiteprocess.moc"
