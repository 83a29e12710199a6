#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestOvDemoSuite : public QObject
{
    Q_OBJECT

private slots:
    void logsItsStart_data();
    void logsItsStart();
};

void TestOvDemoSuite::logsItsStart_data()
{
    QTest::addColumn<QByteArray>("versionFile"); // empty: no version.txt at all
    QTest::addColumn<QString>("version");

    QTest::newRow("one line") << QByteArray("1.1\n") << "1.1";
    QTest::newRow("blanks and more lines") << QByteArray("  2.0.3 \r\nnotes\n") << "2.0.3";
    QTest::newRow("no file") << QByteArray() << "unknown";
}

void TestOvDemoSuite::logsItsStart()
{
    QFETCH(QByteArray, versionFile);
    QFETCH(QString, version);

    // The suite reads and logs beside its own executable, so it runs from a copy.
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), "no temporary folder");
    const QDir home(dir.path());
    const QString program = home.filePath(QStringLiteral("OvDemoSuite"));
    QVERIFY2(QFile::copy(QStringLiteral(OV_DEMO_SUITE), program), "cannot copy the demo suite");
    if (!versionFile.isEmpty()) {
        QFile file(home.filePath(QStringLiteral("version.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(versionFile) == versionFile.size());
    }
    QFile log(home.filePath(QStringLiteral("demo-suite.log")));
    QVERIFY(log.open(QIODevice::WriteOnly) && log.write("started 1.0 1\n") > 0);
    log.close();

    QProcess suite;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    suite.setProcessEnvironment(env);
    suite.start(program, QStringList());
    QVERIFY2(suite.waitForStarted(5000), qPrintable(suite.errorString()));

    // Appended after what an earlier start wrote.
    const QByteArray expected = "started 1.0 1\nstarted " + version.toUtf8() + ' ' +
                                QByteArray::number(suite.processId()) + '\n';
    const auto logged = [&home] {
        QFile file(home.filePath(QStringLiteral("demo-suite.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(logged(), expected, 10000);
    QCOMPARE(suite.state(), QProcess::Running); // the window stays up
    suite.terminate();
    QVERIFY2(suite.waitForFinished(5000), "the demo suite did not end on SIGTERM");
}

QTEST_GUILESS_MAIN(TestOvDemoSuite)
#include "tst_ovdemosuite.moc"
