#include "common/OvTestServer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The real program, started as the suite starts it, against a local query service.
class TestOvStartup : public QObject
{
    Q_OBJECT

private slots:
    void commandLineReachesLogAndService_data();
    void commandLineReachesLogAndService();

private:
    struct Run
    {
        int exitCode = -1;
        QString log;
    };
    static Run runUpdater(const QStringList &args);
};

TestOvStartup::Run TestOvStartup::runUpdater(const QStringList &args)
{
    QProcess updater;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    updater.setProcessEnvironment(env);
    updater.setProcessChannelMode(QProcess::MergedChannels);
    updater.start(QStringLiteral(OV_UPDATER_PATH), args);
    Run run;
    if (!updater.waitForFinished(15000)) {
        updater.kill();
        updater.waitForFinished();
    } else {
        run.exitCode = updater.exitCode();
    }
    run.log = QString::fromUtf8(updater.readAll());
    return run;
}

void TestOvStartup::commandLineReachesLogAndService_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("summary");

    QTest::newRow("all options")
        << QStringList{"-v",  "1.0", "-t",  "2",   "-k",   "zenta",
                       "-ct", "3",   "-cc", "abc", "-url", "URL"}
        << QByteArray(R"({"code":"abc","key":3})")
        << "Zenta version:  \"1.0\" \n Zenta type:  2 Zenta name:  \"zenta\" Channnel type:  3 "
           "Url:  \"URL\"";
    QTest::newRow("without code and channel")
        << QStringList{"-url", "URL", "-v", "1.0"} << QByteArray(R"({"key":-1})")
        << "Zenta version:  \"1.0\" \n Zenta type:  -1 Zenta name:  \"\" Channnel type:  -1 "
           "Url:  \"URL\"";
    QTest::newRow("-ct abc sends key 0")
        << QStringList{"-ct", "abc", "-url", "URL", "-v", "1.0"} << QByteArray(R"({"key":0})")
        << "Channnel type:  0 Url:  \"URL\"";
    QTest::newRow("no arguments: nothing is posted")
        << QStringList{} << QByteArray()
        << "Zenta version:  \"\" \n Zenta type:  -1 "
           "Zenta name:  \"\" Channnel type:  -1 Url:  \"\"";
}

void TestOvStartup::commandLineReachesLogAndService()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, body);
    QFETCH(QString, summary);

    OvTestServer server;
    server.server().Post("/check", [](const httplib::Request &, httplib::Response &res) {
        // Nothing newer: the updater ends without a window.
        res.set_content(R"({"status":200,"message":"ok","data":{"version":"0.1"}})",
                        "application/json");
    });
    QVERIFY(server.start());
    const QString url = server.url(QStringLiteral("/check"));
    args.replaceInStrings(QStringLiteral("URL"), url);
    summary.replace(QStringLiteral("URL"), url);

    const Run run = runUpdater(args);
    QVERIFY2(run.exitCode == 0, qPrintable(run.log));
    QVERIFY2(run.log.contains(
                 QStringLiteral("============  0 \"%1\"").arg(QStringLiteral(OV_UPDATER_PATH))),
             qPrintable(run.log));
    for (int i = 0; i < args.size(); ++i)
        QVERIFY2(
            run.log.contains(QStringLiteral("============  %1 \"%2\"").arg(i + 1).arg(args[i])),
            qPrintable(run.log));
    QVERIFY2(run.log.contains(summary), qPrintable(run.log));
    QVERIFY2(run.log.contains(QStringLiteral("OvZentaUpdateForm::checkIsQuit false")),
             qPrintable(run.log));

    const auto requests = server.requests();
    if (body.isEmpty()) {
        QCOMPARE(requests.size(), size_t(0));
    } else {
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(QByteArray::fromStdString(requests.front().body), body);
    }
}

QTEST_GUILESS_MAIN(TestOvStartup)
#include "tst_ovstartup.moc"
