#include "check/OvHttpHelper.h"
#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"

#include <QDirIterator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

// One query's outcome as the window would see it.
struct Outcome
{
    int successes = 0;
    int failures = 0;
    OvZentaUpdateInfo info;
    QString error;
};

} // namespace

class TestOvHttpHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void queryOnTheWire_data();
    void queryOnTheWire();
    void answers_data();
    void answers();
    void hostileBodiesFromCorpus();
    void httpErrorStatus();
    void refusedConnection();
    void emptyAddress();
    void timeoutReportsOnceAndIgnoresLateAnswer();
    void quickAnswerIsNotDisturbedByTimer();
    void untrustedCertificate();
    void trustedCertificate();

private:
    // Posts one query and waits for its single answer signal.
    Outcome query(const QString &url, qint32 key = 3, const QString &code = QString(),
                  int waitMs = 10000);
    static void serve(OvTestServer &server, const std::string &body, int status = 200);

    QTemporaryDir certDir;
    QString certPath;
    QString keyPath;
};

void TestOvHttpHelper::initTestCase()
{
    qRegisterMetaType<OvZentaUpdateInfo>("OvZentaUpdateInfo");
    QVERIFY(certDir.isValid());
    QString error;
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(certDir.path(), &certPath, &keyPath, &error),
             qPrintable(error));
}

Outcome TestOvHttpHelper::query(const QString &url, qint32 key, const QString &code, int waitMs)
{
    Outcome outcome;
    OvHttpHelper helper;
    connect(&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded, this,
            [&outcome](const OvZentaUpdateInfo &info) {
                ++outcome.successes;
                outcome.info = info;
            });
    connect(&helper, &OvHttpHelper::sigDownloadFailed, this, [&outcome](const QString &err) {
        ++outcome.failures;
        outcome.error = err;
    });
    helper.requestUpgradeTip(key, code, url);
    const bool answered =
        QTest::qWaitFor([&outcome] { return outcome.successes + outcome.failures > 0; }, waitMs);
    Q_UNUSED(answered) // the callers compare the counts
    // Exactly one of the two signals per query, also once the time-out timer has had its say.
    QCoreApplication::processEvents();
    return outcome;
}

void TestOvHttpHelper::serve(OvTestServer &server, const std::string &body, int status)
{
    server.server().Post("/check",
                         [body, status](const httplib::Request &, httplib::Response &res) {
                             res.status = status;
                             res.set_content(body, "application/json");
                         });
}

void TestOvHttpHelper::queryOnTheWire_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("code and key") << 3 << "abc" << QByteArray(R"({"code":"abc","key":3})");
    QTest::newRow("empty code leaves key alone") << 3 << "" << QByteArray(R"({"key":3})");
    QTest::newRow("no -ct sends -1") << -1 << "" << QByteArray(R"({"key":-1})");
    QTest::newRow("code is escaped")
        << 0 << "a\"b\\c" << QByteArray(R"({"code":"a\"b\\c","key":0})");
    QTest::newRow("non-ASCII code as UTF-8")
        << 7 << QString::fromUtf8("中文") << QByteArray("{\"code\":\"中文\",\"key\":7}");
}

void TestOvHttpHelper::queryOnTheWire()
{
    QFETCH(int, key);
    QFETCH(QString, code);
    QFETCH(QByteArray, body);

    OvTestServer server;
    serve(server, R"({"status":200,"message":"ok","data":{"version":"1.0"}})");
    QVERIFY(server.start());
    const Outcome outcome = query(server.url(QStringLiteral("/check")), key, code);
    QCOMPARE(outcome.successes, 1);

    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    const OvTestServer::Request &r = requests.front();
    QCOMPARE(QString::fromStdString(r.method), QStringLiteral("POST"));
    QCOMPARE(QByteArray::fromStdString(r.body), body);
    QVERIFY2(r.headers.count("Content-Type") == 1, "Content-Type missing or repeated");
    QCOMPARE(QString::fromStdString(r.headers.find("Content-Type")->second),
             QStringLiteral("application/json;charset=UTF-8"));
    QVERIFY2(r.headers.count("Cache-Control") == 1, "Cache-Control missing or repeated");
    QCOMPARE(QString::fromStdString(r.headers.find("Cache-Control")->second),
             QStringLiteral("no-cache"));
}

void TestOvHttpHelper::answers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("cdt");
    QTest::addColumn<uint>("level");
    QTest::addColumn<QString>("logLine"); // a line that must be logged, or empty for none

    QTest::newRow("full record")
        << QByteArray(
               R"({"status":200,"message":"ok","data":{"cdt":"2026-12-01","importanceLevel":1,)"
               R"("description":"Fixes.","version":"2.1.0","url":"http://h/p.zip","x":1},"extra":[]})")
        << true << "2.1.0"
        << "http://h/p.zip"
        << "Fixes."
        << "2026-12-01" << 1u << "";
    QTest::newRow("only version and url")
        << QByteArray(R"({"status":200,"message":"","data":{"version":"2.0","url":"u"}})") << true
        << "2.0"
        << "u"
        << ""
        << "" << 2u << "";
    QTest::newRow("message of another type still counts")
        << QByteArray(R"({"status":200,"message":null,"data":{"version":"2.0"}})") << true << "2.0"
        << ""
        << ""
        << "" << 2u << "";
    QTest::newRow("importanceLevel 1.5 reads as 2")
        << QByteArray(R"({"status":200,"message":"","data":{"version":"2","importanceLevel":1.5}})")
        << true << "2"
        << ""
        << ""
        << "" << 2u << "";
    QTest::newRow("importanceLevel as a string reads as 2")
        << QByteArray(R"({"status":200,"message":"","data":{"version":"2","importanceLevel":"1"}})")
        << true << "2"
        << ""
        << ""
        << "" << 2u << "";
    QTest::newRow("huge importanceLevel reads as 2")
        << QByteArray(
               R"({"status":200,"message":"","data":{"version":"2","importanceLevel":1e300}})")
        << true << "2"
        << ""
        << ""
        << "" << 2u << "";
    QTest::newRow("texts of other types read as empty")
        << QByteArray(R"({"status":200,"message":"","data":{"version":2,"url":[],"cdt":{}}})")
        << true << ""
        << ""
        << ""
        << "" << 2u << "";
    QTest::newRow("status 200.0 is a whole number")
        << QByteArray(R"({"status":200.0,"message":"","data":{"version":"3"}})") << true << "3"
        << ""
        << ""
        << "" << 2u << "";

    const auto failure = [](const char *tag, const QByteArray &body, const QString &logLine) {
        QTest::newRow(tag) << body << false << ""
                           << ""
                           << ""
                           << "" << 2u << logLine;
    };
    failure("no message", R"({"status":200,"data":{"version":"2"}})", "");
    failure("status as a string", R"({"status":"200","message":"m","data":{"version":"2"}})",
            "Corvane Server Reply not success: 0 \"m\"");
    failure("status 404", R"({"status":404,"message":"unknown key"})",
            "Corvane Server Reply not success: 404 \"unknown key\"");
    failure("status 200.5", R"({"status":200.5,"message":"m","data":{"version":"2"}})",
            "Corvane Server Reply not success: 0 \"m\"");
    failure("no status", R"({"message":"m","data":{"version":"2"}})", "");
    failure("no data", R"({"status":200,"message":"m"})", "");
    failure("data as an array", R"({"status":200,"message":"m","data":[{"version":"2"}]})", "");
    failure("data as an empty object", R"({"status":200,"message":"m","data":{}})", "");
    failure("data as a string", R"({"status":200,"message":"m","data":"2.0"})", "");
    failure("not JSON", "<html>502 Bad Gateway</html>", "");
    failure("top level array", R"([{"status":200,"message":"m","data":{"version":"2"}}])", "");
    failure("truncated JSON", R"({"status":200,"message":"m","data":{"version":"2")", "");
    failure("trailing garbage", R"({"status":200,"message":"m","data":{"version":"2"}} x)", "");
    failure("empty body", "", "OvHttpHelper::onUpgradeReplyFinished reply content empty");
}

void TestOvHttpHelper::answers()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeds);
    QFETCH(QString, logLine);

    OvTestServer server;
    serve(server, body.toStdString());
    QVERIFY(server.start());

    OvTestSupport::LogCapture log;
    const Outcome outcome = query(server.url(QStringLiteral("/check")));
    QCOMPARE(outcome.successes, succeeds ? 1 : 0);
    QCOMPARE(outcome.failures, succeeds ? 0 : 1);
    if (succeeds) {
        QTEST(outcome.info.version, "version");
        QTEST(outcome.info.url, "url");
        QTEST(outcome.info.description, "description");
        QTEST(outcome.info.cdt, "cdt");
        QTEST(outcome.info.importanceLevel, "level");
    } else {
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    }
    if (logLine.isEmpty())
        QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    else
        QVERIFY2(log.contains(logLine), qPrintable(log.lines().join(QLatin1Char('\n'))));
}

void TestOvHttpHelper::hostileBodiesFromCorpus()
{
    const QString corpora = OvTestSupport::corporaDir();
    if (corpora.isEmpty())
        QSKIP("../shared/corpora is not there; the JSON corpus cases are skipped");

    // Every answer body from the JSON test suite must end in exactly one signal, and only an
    // object with the envelope can succeed.
    QDirIterator it(corpora + QStringLiteral("/json/test_parsing"), QDir::Files);
    std::vector<std::string> bodies;
    QStringList names;
    while (it.hasNext()) {
        it.next();
        QFile f(it.filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        bodies.push_back(f.readAll().toStdString());
        names << it.fileName();
    }
    QVERIFY2(bodies.size() > 300, "the JSON corpus looks incomplete");

    std::atomic<size_t> current{0};
    OvTestServer server;
    server.server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        res.set_content(bodies[current], "application/json");
    });
    QVERIFY(server.start());
    for (size_t i = 0; i < bodies.size(); ++i) {
        current = i;
        const Outcome outcome = query(server.url(QStringLiteral("/check")));
        QVERIFY2(outcome.successes + outcome.failures == 1, qPrintable(names[int(i)]));
        QVERIFY2(outcome.successes == 0, qPrintable(names[int(i)] + " was taken as an offer"));
    }
}

void TestOvHttpHelper::httpErrorStatus()
{
    OvTestServer server;
    serve(server, R"({"status":200,"message":"ok","data":{"version":"2"}})", 500);
    QVERIFY(server.start());
    OvTestSupport::LogCapture log;
    const Outcome outcome = query(server.url(QStringLiteral("/check")));
    QCOMPARE(outcome.failures, 1);
    QCOMPARE(outcome.successes, 0);
    QVERIFY2(!outcome.error.isEmpty(), "an HTTP error must carry the reply's error text");
    QVERIFY2(log.contains(QStringLiteral("OvHttpHelper::onUpgradeReplyFinished reply error  \"%1\"")
                              .arg(server.url(QStringLiteral("/check")))),
             qPrintable(log.lines().join(QLatin1Char('\n'))));
}

void TestOvHttpHelper::refusedConnection()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close(); // nothing listens there any more
    const Outcome outcome = query(QStringLiteral("http://127.0.0.1:%1/check").arg(port));
    QCOMPARE(outcome.failures, 1);
    QVERIFY2(outcome.error.contains(QStringLiteral("refused"), Qt::CaseInsensitive),
             qPrintable(outcome.error));
}

void TestOvHttpHelper::emptyAddress()
{
    OvTestSupport::LogCapture log;
    const Outcome outcome = query(QString());
    QCOMPARE(outcome.failures, 1);
    QCOMPARE(outcome.successes, 0);
    QVERIFY2(!outcome.error.isEmpty(), "an empty address must fail with an error text");
    QVERIFY(log.contains(QStringLiteral("OvHttpHelper::onUpgradeReplyFinished reply error")));
}

void TestOvHttpHelper::timeoutReportsOnceAndIgnoresLateAnswer()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);

    OvTestGate gate;
    std::atomic<bool> answered{false};
    OvTestServer server;
    server.server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        gate.wait(5000); // answers after 5 seconds, or when the test is over
        res.set_content(R"({"status":200,"message":"ok","data":{"version":"9"}})",
                        "application/json");
        answered = true;
    });
    QVERIFY(server.start());

    OvTestSupport::LogCapture log;
    Outcome outcome;
    OvHttpHelper helper;
    connect(&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded, this,
            [&](const OvZentaUpdateInfo &) { ++outcome.successes; });
    connect(&helper, &OvHttpHelper::sigDownloadFailed, this, [&](const QString &err) {
        ++outcome.failures;
        outcome.error = err;
    });
    QElapsedTimer clock;
    clock.start();
    helper.requestUpgradeTip(1, QString(), server.url(QStringLiteral("/check")));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.failures, 1, 6000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 2900 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    QCOMPARE(outcome.error, QStringLiteral("Software upgrade information request timed out"));

    const QStringList lines = log.lines();
    const int finished = lines.indexOf(QStringLiteral("OvHttpHelper::onUpgradeReplyFinished true"));
    const int timeout = lines.indexOf(QStringLiteral("OvHttpHelper::onCheckTimeout"));
    QVERIFY2(finished >= 0 && timeout > finished, qPrintable(lines.join(QLatin1Char('\n'))));

    // Let the server answer now: nothing of it may reach the client.
    gate.open();
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 5000);
    QSignalSpy late(&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded);
    QVERIFY(!late.wait(300));
    QCOMPARE(outcome.successes, 0);
    QCOMPARE(outcome.failures, 1);
    QCoreApplication::removeTranslator(&translator);
}

void TestOvHttpHelper::quickAnswerIsNotDisturbedByTimer()
{
    OvTestServer server;
    serve(server, R"({"status":200,"message":"ok","data":{"version":"2"}})");
    QVERIFY(server.start());

    OvHttpHelper helper;
    QSignalSpy ok(&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded);
    QSignalSpy failed(&helper, &OvHttpHelper::sigDownloadFailed);
    OvTestSupport::LogCapture log;
    helper.requestUpgradeTip(1, QString(), server.url(QStringLiteral("/check")));
    QVERIFY(ok.wait(3000));
    // The timer fires at 3 s, finds nothing in flight and changes nothing visible.
    QVERIFY(!failed.wait(3500));
    QCOMPARE(ok.count(), 1);
    QVERIFY2(!log.contains(QStringLiteral("onCheckTimeout")), "a finished query was timed out");
}

void TestOvHttpHelper::untrustedCertificate()
{
    OvTestServer server(certPath, keyPath);
    serve(server, R"({"status":200,"message":"ok","data":{"version":"2"}})");
    QVERIFY2(server.start(), "the HTTPS test server did not start");

    OvTestSupport::LogCapture log;
    const Outcome outcome = query(server.url(QStringLiteral("/check")));
    QCOMPARE(outcome.successes, 0);
    QCOMPARE(outcome.failures, 1);
    QVERIFY2(!outcome.error.isEmpty(), "a TLS failure must carry the reply's error text");

    const QStringList lines = log.lines();
    int lastSsl = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(QStringLiteral("SSL error: ")))
            lastSsl = i;
    const int replyError = lines.indexOf(
        QRegularExpression(QStringLiteral("^OvHttpHelper::onUpgradeReplyFinished reply error .*")));
    QVERIFY2(lastSsl >= 0 && replyError > lastSsl, qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY2(lines.filter(QStringLiteral("SSL error: ")).size() == 1,
             qPrintable(lines.join(QLatin1Char('\n'))));
}

void TestOvHttpHelper::trustedCertificate()
{
    // The same server, once its certificate is trusted, serves the query over HTTPS.
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration original = config;
    config.addCaCertificates(certPath);
    QSslConfiguration::setDefaultConfiguration(config);

    OvTestServer server(certPath, keyPath);
    serve(server, R"({"status":200,"message":"ok","data":{"version":"4.2"}})");
    QVERIFY(server.start());
    OvTestSupport::LogCapture log;
    const Outcome outcome = query(server.url(QStringLiteral("/check")));
    QSslConfiguration::setDefaultConfiguration(original);
    QCOMPARE(outcome.successes, 1);
    QCOMPARE(outcome.info.version, QStringLiteral("4.2"));
    QVERIFY(!log.contains(QStringLiteral("SSL error: ")));
}

QTEST_GUILESS_MAIN(TestOvHttpHelper)
#include "tst_ovhttphelper.moc"
