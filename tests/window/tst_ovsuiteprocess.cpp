#include "window/OvSuiteProcess.h"

#include <QCoreApplication>
#include <QFile>
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
    void stopNeverEndsTheUpdater();
    void startRunsFromInstallDir();

private:
    // A copy of sleep under `name`, so that it runs with that executable name.
    static QString sleeperNamed(const QTemporaryDir &dir, const QString &name);
};

QString TestOvSuiteProcess::sleeperNamed(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile::copy(QStringLiteral("/bin/sleep"), path);
    return path;
}

void TestOvSuiteProcess::isSuiteExecutable_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");
    QTest::newRow("same file name") << "/opt/z/zenta"
                                    << "zenta" << true;
    QTest::newRow("long name beyond the kernel's 15 characters")
        << "/opt/z/zenta-suite-with-a-long-name"
        << "zenta-suite-with-a-long-name" << true;
    QTest::newRow("only a prefix") << "/opt/z/zenta-suite-with-a-long-name"
                                   << "zenta-suite-wit" << false;
    QTest::newRow("replaced executable") << "/opt/z/zenta (deleted)"
                                         << "zenta" << true;
    QTest::newRow("other program") << "/usr/bin/bash"
                                   << "zenta" << false;
    QTest::newRow("case matters") << "/opt/z/Zenta"
                                  << "zenta" << false;
    QTest::newRow("empty name matches nothing") << "/opt/z/zenta"
                                                << "" << false;
    QTest::newRow("directory part is not the name") << "/opt/zenta/x"
                                                    << "zenta" << false;
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
    QCOMPARE(OvSuiteProcess::taskkillArguments(QString()), (QStringList{"/im", "", "/f"}));
}

void TestOvSuiteProcess::stopEndsOnlyTheSuite()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString suiteName = QStringLiteral("zenta-suite-with-a-very-long-name");
    QProcess suite;
    QProcess other;
    suite.start(sleeperNamed(dir, suiteName), {QStringLiteral("60")});
    other.start(sleeperNamed(dir, QStringLiteral("zenta-suite-with-a-very-long-nam")),
                {QStringLiteral("60")});
    QVERIFY2(suite.waitForStarted() && other.waitForStarted(), "the test processes did not start");

    OvSuiteProcess::stop(QString()); // an empty name ends nothing
    OvSuiteProcess::stop(suiteName);

    QVERIFY2(suite.waitForFinished(5000), "the suite was not stopped");
    QCOMPARE(suite.exitStatus(), QProcess::CrashExit); // killed, not ended by itself
    QVERIFY2(other.state() == QProcess::Running, "a process with another name was stopped");
    other.kill();
    other.waitForFinished();
}

void TestOvSuiteProcess::stopNeverEndsTheUpdater()
{
    // The updater survives its own name; a sibling process under that name does not.
    const QString ownName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QTemporaryDir dir;
    QProcess sibling;
    sibling.start(sleeperNamed(dir, ownName), {QStringLiteral("60")});
    QVERIFY(sibling.waitForStarted());
    OvSuiteProcess::stop(ownName);
    QVERIFY2(sibling.waitForFinished(5000), "the other process of that name was not stopped");
}

void TestOvSuiteProcess::startRunsFromInstallDir()
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("zenta-suite"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\npwd > started.txt\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);

    // Not from PATH and not from the current directory: from the installation directory.
    OvSuiteProcess::start(dir.path(), QStringLiteral("zenta-suite"));
    const QString marker = dir.filePath(QStringLiteral("started.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 5000);
    QFile started(marker);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(started.readAll()).trimmed(),
             QFileInfo(dir.path()).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestOvSuiteProcess)
#include "tst_ovsuiteprocess.moc"
