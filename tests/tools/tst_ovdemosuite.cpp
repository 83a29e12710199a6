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

    QTest::newRow("blanks and more lines") << QByteArray("  2.0.3 \r\nnotes\n") << "2.0.3";
    QTest::newRow("no file") << QByteArray() << "unknown";
}

// The suite reads its version and logs its start beside its own executable, so it runs from a
// copy; the line is appended after what an earlier start wrote, and the window stays up.
void TestOvDemoSuite::logsItsStart()
{
    QFETCH(QByteArray, versionFile);
    QFETCH(QString, version);

    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("OvDemoSuite"));
    QVERIFY2(QFile::copy(QStringLiteral(OV_DEMO_SUITE), program), "cannot copy the demo suite");
    QFile file(dir.filePath(QStringLiteral("version.txt")));
    if (!versionFile.isEmpty())
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(versionFile) == versionFile.size());
    file.close();
    QFile log(dir.filePath(QStringLiteral("demo-suite.log")));
    QVERIFY(log.open(QIODevice::WriteOnly) && log.write("started 1.0 1\n") > 0);
    log.close();

    QProcess suite;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    suite.setProcessEnvironment(env);
    suite.start(program, QStringList());
    QVERIFY2(suite.waitForStarted(5000), qPrintable(suite.errorString()));
    const QByteArray expected = "started 1.0 1\nstarted " + version.toUtf8() + ' ' +
                                QByteArray::number(suite.processId()) + '\n';
    const auto logged = [&log] {
        log.close();
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(logged(), expected, 10000);
    QCOMPARE(suite.state(), QProcess::Running);
    suite.terminate();
    QVERIFY2(suite.waitForFinished(5000), "the demo suite did not end on SIGTERM");
}

QTEST_GUILESS_MAIN(TestOvDemoSuite)
#include "tst_ovdemosuite.moc"
