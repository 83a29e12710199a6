#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "core/check/OvHttpHelper.h"

#include <QSslConfiguration>
#include <QTcpServer>
#include <QtTest>

namespace {

// A record's fields in one text: version|url|description|cdt|importanceLevel.
QString fields(const OvZentaUpdateInfo &info)
{
    return QStringList{info.version, info.url, info.description, info.cdt,
                       QString::number(info.importanceLevel)}
        .join('|');
}

const std::string kOffer = R"({"status":200,"message":"ok","data":{"version":"4.2"}})";

// One client as the window holds it, with what its two signals delivered.
struct Client
{
    OvHttpHelper helper;
    int successes = 0;
    int failures = 0;
    OvZentaUpdateInfo info;
    QString error;

    Client()
    {
        QObject::connect(&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded,
                         [this](const OvZentaUpdateInfo &i) { ++successes, info = i; });
        QObject::connect(&helper, &OvHttpHelper::sigDownloadFailed,
                         [this](const QString &e) { ++failures, error = e; });
    }
    // Posts a query and waits for its answer; a second signal would already show in the counts.
    // False when no answer came within `ms`.
    bool ask(const QString &url, qint32 key = 3, const QString &code = QString(), int ms = 10000)
    {
        helper.requestUpgradeTip(key, code, url);
        const int before = successes + failures;
        const bool answered = QTest::qWaitFor([&] { return successes + failures > before; }, ms);
        QCoreApplication::processEvents();
        return answered;
    }
};

void serve(OvTestServer &server, const std::string &body, int status = 200)
{
    server.server().Post("/check",
                         [body, status](const httplib::Request &, httplib::Response &res) {
                             res.status = status;
                             res.set_content(body, "application/json");
                         });
}

} // namespace

class TestOvHttpHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordClears();
    void queryOnTheWire_data();
    void queryOnTheWire();
    void answers_data();
    void answers();
    void replyErrors_data();
    void replyErrors();
    void timeOut();
    void trickledAnswer();

private:
    QTemporaryDir trustedDir;
    QTemporaryDir untrustedDir;
};

void TestOvHttpHelper::initTestCase()
{
    // Two self-signed certificates: the first trusted process-wide, as a system CA would be.
    QString cert, key, error;
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(untrustedDir.path(), &cert, &key, &error),
             qPrintable(error));
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(trustedDir.path(), &cert, &key, &error),
             qPrintable(error));
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

void TestOvHttpHelper::recordClears()
{
    OvZentaUpdateInfo info;
    info.cdt = info.description = info.version = info.url = QStringLiteral("x");
    info.importanceLevel = 1;
    const QVariant copy = QVariant::fromValue(info); // as a queued signal carries it
    info.clear();
    QCOMPARE(fields(info), fields(OvZentaUpdateInfo()));
    QCOMPARE(fields(info), QStringLiteral("||||2"));
    QCOMPARE(fields(copy.value<OvZentaUpdateInfo>()), QStringLiteral("x|x|x|x|1"));
}

void TestOvHttpHelper::queryOnTheWire_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("code and key") << false << 3 << "abc" << QByteArray(R"({"code":"abc","key":3})");
    QTest::newRow("empty code: key alone") << false << -1 << "" << QByteArray(R"({"key":-1})");
    QTest::newRow("escaped, as UTF-8, over HTTPS")
        << true << 7 << QString::fromUtf8("a\"中") << QByteArray(R"({"code":"a\"中","key":7})");
}

void TestOvHttpHelper::queryOnTheWire()
{
    QFETCH(bool, https);
    QFETCH(int, key);
    QFETCH(QString, code);

    OvTestServer plain;
    OvTestServer secure(trustedDir.filePath("cert.pem"), trustedDir.filePath("key.pem"));
    OvTestServer &server = https ? secure : plain;
    serve(server, kOffer);
    QVERIFY(server.start());
    Client client;
    QVERIFY2(client.ask(server.url(QStringLiteral("/check")), key, code), "no answer");
    QVERIFY2(client.successes == 1 && client.info.version == "4.2", qPrintable(client.error));

    const auto requests = server.requests();
    QCOMPARE(int(requests.size()), 1);
    const OvTestServer::Request &r = requests.front();
    QCOMPARE(QString::fromStdString(r.method), QStringLiteral("POST"));
    QTEST(QByteArray::fromStdString(r.body), "body");
    for (const auto &[name, value] : {std::pair{"Content-Type", "application/json;charset=UTF-8"},
                                      std::pair{"Cache-Control", "no-cache"}}) {
        const auto header = r.headers.equal_range(name);
        QVERIFY2(std::distance(header.first, header.second) == 1 && header.first->second == value,
                 qPrintable(QStringLiteral("header %1 missing, repeated or wrong").arg(name)));
    }
}

void TestOvHttpHelper::answers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("record"); // version|url|description|cdt|importanceLevel; "": failed
    QTest::addColumn<QString>("logged"); // the one line logged, if any

    const auto row = [](const char *tag, const QByteArray &body, const char *record,
                        const char *logged = "") {
        QTest::newRow(tag) << body << QString(record) << QString(logged);
    };
    // An answer of status 200 with a message and this "data".
    const auto offer = [](const char *data) {
        return QByteArray(R"({"status":200,"message":"m","data":)") + data + '}';
    };
    row("full record",
        offer(R"({"cdt":"c","importanceLevel":1,"description":"d","version":"2.1","url":"u",)"
              R"("x":1},"extra":[])"),
        "2.1|u|d|c|1");
    row("only version and url", offer(R"({"version":"2","url":"u"})"), "2|u|||2");
    row("message of another type, status 200.0",
        R"({"status":200.0,"message":null,"data":{"version":"2"}})", "2||||2");
    row("importanceLevel 1.5", offer(R"({"importanceLevel":1.5})"), "||||2");
    row("importanceLevel as a string", offer(R"({"importanceLevel":"1"})"), "||||2");
    row("importanceLevel 1e300", offer(R"({"importanceLevel":1e300})"), "||||2");
    row("texts of other types", offer(R"({"version":2,"url":[]})"), "||||2");
    row("data as an array", offer(R"([{"version":"2"}])"), "");
    row("data as an empty object", offer("{}"), "");
    row("no message", R"({"status":200,"data":{"version":"2"}})", "");
    row("status as a string", R"({"status":"200","message":"m","data":{"version":"2"}})", "",
        R"(Corvane Server Reply not success: 0 "m")");
    row("status 404", R"({"status":404,"message":"no key"})", "",
        R"(Corvane Server Reply not success: 404 "no key")");
    row("no status", R"({"message":"m","data":{"version":"2"}})", "");
    row("no data", R"({"status":200,"message":"m"})", "");
    row("not JSON", "<html>502 Bad Gateway</html>", "");
    row("not an object", R"([{"status":200,"message":"m","data":{"version":"2"}}])", "");
    row("empty body", "", "", "OvHttpHelper::onUpgradeReplyFinished reply content empty ");
    // Nesting far past the parser's limit, strings that are not UTF-8 or hold NUL.
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    row("JSON nested 100,000 deep", R"({"status":200,"message":"m","data":)" + deep + '}', "");
    row("invalid UTF-8 in a string", offer("{\"version\":\"2\xff\xc0\",\"url\":\"u\"}"), "");
    // The parser lets a raw NUL through as if it were escaped; the record keeps it either way.
    QByteArray rawNul = offer(R"({"version":"2#.1","url":"u#"})");
    const QString withNul = QString("2") + QChar(0) + ".1|u" + QChar(0) + "|||2";
    QTest::newRow("raw NUL in strings") << rawNul.replace('#', '\0') << withNul << QString();
    QTest::newRow("escaped NUL in strings")
        << offer(R"({"version":"2\u0000.1","url":"u\u0000"})") << withNul << QString();
}

void TestOvHttpHelper::answers()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, record);
    QFETCH(QString, logged);

    OvTestServer server;
    serve(server, body.toStdString());
    QVERIFY(server.start());
    OvTestSupport::LogCapture log;
    Client client;
    QVERIFY2(client.ask(server.url(QStringLiteral("/check"))), "no answer");
    QCOMPARE(client.successes + client.failures, 1);
    QCOMPARE(client.successes ? fields(client.info) : QString(), record);
    QVERIFY2(client.error.isEmpty(), qPrintable("a failure text for a bad body: " + client.error));
    QCOMPARE(log.lines(), logged.isEmpty() ? QStringList() : QStringList{logged});
}

void TestOvHttpHelper::replyErrors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("sslErrors"); // "SSL error: " lines before the reply error line

    QTest::newRow("HTTP 500 with an offer as body") << "500" << 0;
    QTest::newRow("refused connection") << "refused" << 0;
    QTest::newRow("empty address") << "" << 0;
    QTest::newRow("certificate that does not verify") << "untrusted" << 1;
}

void TestOvHttpHelper::replyErrors()
{
    QFETCH(QString, kind);
    QFETCH(int, sslErrors);

    OvTestServer plain;
    OvTestServer secure(untrustedDir.filePath("cert.pem"), untrustedDir.filePath("key.pem"));
    serve(plain, kOffer, 500);
    serve(secure, kOffer);
    QVERIFY(plain.start() && secure.start());
    QString url = (kind == "untrusted" ? secure : plain).url(QStringLiteral("/check"));
    if (kind == "refused") {
        QTcpServer probe; // nothing listens on its port once it has closed
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url = QStringLiteral("http://127.0.0.1:%1/check").arg(probe.serverPort());
    } else if (kind.isEmpty()) {
        url.clear();
    }

    OvTestSupport::LogCapture log;
    Client client;
    QVERIFY2(client.ask(url), "no answer");
    QVERIFY2(client.successes == 0 && client.failures == 1 && !client.error.isEmpty(),
             "not one failure with the reply's error text");
    QString expected; // the line as the debug stream writes its items
    QDebug(&expected) << "OvHttpHelper::onUpgradeReplyFinished reply error " << url << client.error;
    QStringList lines = log.lines();
    for (int i = 0; i < sslErrors; ++i)
        QVERIFY2(!lines.isEmpty() && lines.takeFirst().startsWith("SSL error: "),
                 qPrintable(log.lines().join('\n')));
    QCOMPARE(lines, QStringList{expected.trimmed()});
}

void TestOvHttpHelper::timeOut()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);

    OvTestGate gate;
    std::atomic<int> calls{0}, answered{0};
    OvTestServer server;
    server.server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        if (calls++ > 0)
            gate.wait(5000); // the second query is answered after 5 seconds, or when let go
        res.set_content(kOffer, "application/json");
        ++answered;
    });
    QVERIFY(server.start());

    // A quick answer: the timer still fires at 3 s and changes nothing.
    OvTestSupport::LogCapture log;
    Client client;
    QVERIFY2(client.ask(server.url(QStringLiteral("/check"))), "no quick answer");
    QSignalSpy failed(&client.helper, &OvHttpHelper::sigDownloadFailed);
    QVERIFY2(client.successes == 1 && !failed.wait(3500), "a quick answer was timed out");

    QElapsedTimer clock;
    clock.start();
    QVERIFY2(client.ask(server.url(QStringLiteral("/check")), 1, QString(), 6000), "no time-out");
    const qint64 elapsed = clock.elapsed();
    QCoreApplication::removeTranslator(&translator);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= 2850 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    QCOMPARE(client.failures, 1);
    QCOMPARE(client.error, QStringLiteral("Software upgrade information request timed out"));
    QCOMPARE(log.lines(), (QStringList{"OvHttpHelper::onUpgradeReplyFinished true",
                                       "OvHttpHelper::onCheckTimeout"}));

    // The late answer goes out, and nothing of it reaches the client.
    gate.open();
    QTRY_COMPARE_WITH_TIMEOUT(answered.load(), 2, 5000);
    QSignalSpy late(&client.helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded);
    QVERIFY2(!late.wait(300) && client.successes == 1 && client.failures == 1,
             "the answer after the time-out was read");
}

void TestOvHttpHelper::trickledAnswer()
{
    // One byte every 100 ms would take over 5 s: bytes that keep coming do not extend the
    // check's 3 seconds.
    OvTestGate gate;
    OvTestServer server;
    server.server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        res.set_chunked_content_provider(
            "application/json", [&](size_t offset, httplib::DataSink &sink) {
                if (offset >= kOffer.size() || gate.wait(100))
                    sink.done();
                return offset >= kOffer.size() || sink.write(kOffer.data() + offset, 1);
            });
    });
    QVERIFY(server.start());
    OvTestSupport::LogCapture log;
    Client client;
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(client.ask(server.url(QStringLiteral("/check")), 3, QString(), 6000), "no time-out");
    const qint64 elapsed = clock.elapsed();
    gate.open();
    QVERIFY2(elapsed >= 2850 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    QVERIFY2(client.successes == 0 && client.failures == 1, "a trickled answer was not cut off");
    QVERIFY2(log.contains("OvHttpHelper::onCheckTimeout"), qPrintable(log.lines().join('\n')));
}

QTEST_GUILESS_MAIN(TestOvHttpHelper)
#include "tst_ovhttphelper.moc"
