#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "core/check/OvHttpHelper.h"

#include <QTcpServer>
#include <QtTest>

Q_DECLARE_METATYPE(OvUpgradeAnswer::Error)

namespace {

using E = OvUpgradeAnswer::Error;

// A record's fields in one text: version|url|description|cdt|importanceLevel.
QString fields(const OvZentaUpdateInfo &info)
{
    return QStringList{info.version, info.url, info.description, info.cdt,
                       QString::number(info.importanceLevel)}
        .join('|');
}

const QByteArray kOffer = R"({"status":200,"message":"ok","data":{"version":"4.2"}})";

// One client as the window holds it, with what its two signals delivered.
struct Client
{
    OvHttpHelper helper;
    QSignalSpy offered{&helper, &OvHttpHelper::sigZentaUpgradeTipDownloaded};
    QSignalSpy failed{&helper, &OvHttpHelper::sigDownloadFailed};

    // Posts a query; false when no answer came within `ms`. A second signal shows in the counts.
    bool ask(const QString &url, qint32 key = 3, const QString &code = QString(), int ms = 10000)
    {
        const int before = offered.count() + failed.count();
        helper.requestUpgradeTip(key, code, url);
        const bool answered =
            QTest::qWaitFor([&] { return offered.count() + failed.count() > before; }, ms);
        QCoreApplication::processEvents();
        return answered;
    }
    QString error() const { return failed.value(0).value(0).toString(); }
};

} // namespace

class TestOvHttpHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void onTheWire_data();
    void onTheWire();
    void timeOut();

private:
    QTemporaryDir trustedDir;
    QTemporaryDir untrustedDir;
    QTranslator translator;
};

void TestOvHttpHelper::initTestCase()
{
    qRegisterMetaType<OvZentaUpdateInfo>(); // for the spies
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);
    QString cert, key, error;
    for (const bool trusted : {false, true})
        QVERIFY2(OvTestSupport::makeSelfSignedCertificate(
                     (trusted ? trustedDir : untrustedDir).path(), &cert, &key, &error, trusted),
                 qPrintable(error));
}

void TestOvHttpHelper::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<OvUpgradeAnswer::Error>("error");
    // An offer: version|url|description|cdt|importanceLevel; a refusal: its status and message.
    QTest::addColumn<QString>("result");

    const auto row = [](const char *tag, const QByteArray &body, E error, const char *result) {
        QTest::newRow(tag) << body << error << QString::fromUtf8(result);
    };
    // An answer of status 200 with a message and this "data".
    const auto offer = [](const char *data) {
        return QByteArray(R"({"status":200,"message":"m","data":)") + data + '}';
    };
    row("full record",
        offer(R"({"cdt":"c","importanceLevel":1,"description":"d","version":"2.1","url":"u",)"
              R"("x":1},"extra":[])"),
        E::None, "2.1|u|d|c|1");
    row("only version and url", offer(R"({"version":"2","url":"u"})"), E::None, "2|u|||2");
    row("message of another type, status 200.0",
        R"({"status":200.0,"message":null,"data":{"version":"2"}})", E::None, "2||||2");
    row("importanceLevel 1.5", offer(R"({"importanceLevel":1.5})"), E::None, "||||2");
    row("importanceLevel as a string", offer(R"({"importanceLevel":"1"})"), E::None, "||||2");
    row("importanceLevel 1e300", offer(R"({"importanceLevel":1e300})"), E::None, "||||2");
    row("texts of other types", offer(R"({"version":2,"url":[]})"), E::None, "||||2");
    row("data as an array", offer(R"([{"version":"2"}])"), E::NoData, "");
    row("no data", R"({"status":200,"message":"m"})", E::NoData, "");
    row("no message", R"({"status":200,"data":{"version":"2"}})", E::NoMessage, "");
    row("status as a string", R"({"status":"200","message":"m","data":{"version":"2"}})",
        E::NotSuccess, "0 m");
    row("no status", R"({"message":"m","data":{"version":"2"}})", E::NoStatus, "");
    row("not JSON", "<html>502 Bad Gateway</html>", E::NotJson, "");
    row("not an object", R"([{"status":200,"message":"m","data":{"version":"2"}}])", E::NotJson,
        "");
    // Nesting far past the parser's limit, strings that are not UTF-8 or hold NUL.
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    row("JSON nested 100,000 deep", R"({"status":200,"message":"m","data":)" + deep + '}',
        E::NotJson, "");
    row("invalid UTF-8 in a string", offer("{\"version\":\"2\xff\xc0\",\"url\":\"u\"}"), E::NotJson,
        "");
    // The parser lets a raw NUL through as if it were escaped; the record keeps it either way.
    QByteArray rawNul = offer(R"({"version":"2#.1","url":"u#"})");
    const QString withNul = QString("2") + QChar(0) + ".1|u" + QChar(0) + "|||2";
    QTest::newRow("raw NUL in strings") << rawNul.replace('#', '\0') << E::None << withNul;
    QTest::newRow("escaped NUL in strings")
        << offer(R"({"version":"2\u0000.1","url":"u\u0000"})") << E::None << withNul;
}

void TestOvHttpHelper::parse()
{
    QFETCH(QByteArray, body);

    OvUpgradeAnswer answer = OvUpgradeAnswer::parse(body);
    QTEST(answer.error, "error");
    QTEST(answer.isOffer() ? fields(answer.record)
          : answer.error == E::NotSuccess
              ? QStringLiteral("%1 %2").arg(answer.status).arg(answer.message)
              : QString(),
          "result");
    QVERIFY2(answer.isOffer() == answer.errorString.isEmpty(), "no reason, or one for an offer");
    answer.record.clear(); // as before each query
    QCOMPARE(fields(answer.record), QStringLiteral("||||2"));
}

void TestOvHttpHelper::onTheWire_data()
{
    // "plain", "trusted", "untrusted", "refused", "trickle" (a byte per 100 ms) or "": none
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("query"); // the body the server receives; null: not checked
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<OvUpgradeAnswer::Error>("error");
    QTest::addColumn<QString>("logged"); // the lines logged; "reply error": the reply's line

    const auto query = [](const char *tag, const char *server, int key, const QString &code,
                          const QByteArray &body) {
        QTest::newRow(tag) << server << key << code << body << 200 << kOffer << E::None << "";
    };
    query("code and key", "plain", 3, "abc", R"({"code":"abc","key":3})");
    query("empty code: key alone", "plain", -1, "", R"({"key":-1})");
    query("escaped, as UTF-8, over HTTPS", "trusted", 7, QString::fromUtf8("a\"中"),
          R"({"code":"a\"中","key":7})");
    const auto failure = [](const char *tag, const char *server, int status,
                            const QByteArray &answer, E error, const char *logged) {
        QTest::newRow(tag) << server << 3 << "" << QByteArray() << status << answer << error
                           << logged;
    };
    failure("empty body", "plain", 200, "", E::EmptyBody,
            "OvHttpHelper::onUpgradeReplyFinished reply content empty ");
    failure("status 404", "plain", 200, R"({"status":404,"message":"no key"})", E::NotSuccess,
            R"(Corvane Server Reply not success: 404 "no key")");
    failure("not JSON: nothing logged", "plain", 200, "<html>502</html>", E::NotJson, "");
    failure("HTTP 500 with an offer as body", "plain", 500, kOffer, E::Network, "reply error");
    failure("refused connection", "refused", 200, kOffer, E::Network, "reply error");
    failure("empty address", "", 200, kOffer, E::Network, "reply error");
    failure("certificate that does not verify", "untrusted", 200, kOffer, E::Network,
            "reply error");
    // Bytes that keep coming do not extend the check's 3 seconds (all would take over 5 s).
    failure("trickled answer", "trickle", 200, kOffer, E::TimedOut,
            "OvHttpHelper::onUpgradeReplyFinished true\nOvHttpHelper::onCheckTimeout");
}

// Exactly one signal per query: the offer, the reply's error text for a network failure, the
// time-out's message, or an empty text for an answer that offers nothing; the client keeps why.
void TestOvHttpHelper::onTheWire()
{
    QFETCH(QString, server);
    QFETCH(int, key);
    QFETCH(QString, code);
    QFETCH(QByteArray, query);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, answer);
    QFETCH(QString, logged);

    const QTemporaryDir &certs = server == "trusted" ? trustedDir : untrustedDir;
    const auto used =
        server.endsWith("trusted")
            ? std::make_unique<OvTestServer>(certs.filePath("cert.pem"), certs.filePath("key.pem"))
            : std::make_unique<OvTestServer>();
    OvTestGate gate;
    used->server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        res.status = httpStatus;
        if (server != "trickle")
            return res.set_content(answer.toStdString(), "application/json");
        res.set_chunked_content_provider(
            "application/json", [&](size_t at, httplib::DataSink &sink) {
                if (at >= size_t(answer.size()) || gate.wait(100))
                    sink.done();
                return at >= size_t(answer.size()) || sink.write(answer.data() + at, 1);
            });
    });
    QVERIFY(used->start());
    const auto release = qScopeGuard([&] { gate.open(); });
    QString url = server.isEmpty() ? QString() : used->url(QStringLiteral("/check"));
    if (server == "refused") {
        QTcpServer probe; // nothing listens on its port once it has closed
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url = QStringLiteral("http://127.0.0.1:%1/check").arg(probe.serverPort());
    }

    OvTestSupport::LogCapture log;
    Client client;
    QVERIFY2(client.ask(url, key, code), "no answer");
    QTEST(client.helper.error(), "error");
    const bool isOffer = client.helper.error() == E::None;
    QVERIFY2(client.offered.count() == int(isOffer) && client.failed.count() == int(!isOffer) &&
                 (client.offered.value(0).value(0).value<OvZentaUpdateInfo>().version == "4.2") ==
                     isOffer &&
                 client.helper.errorString().isEmpty() == isOffer,
             "not exactly the offer, or not exactly one failure with its reason kept");
    const bool isNetwork = logged == "reply error";
    QCOMPARE(client.error(), isNetwork ? client.helper.errorString()
                             : client.helper.error() == E::TimedOut
                                 ? "Software upgrade information request timed out"
                                 : QString());
    if (isNetwork) { // the line as the debug stream writes its items
        logged.clear();
        QDebug(&logged) << "OvHttpHelper::onUpgradeReplyFinished reply error " << url
                        << client.error();
        logged = logged.trimmed();
    }
    // A certificate that does not verify adds one "SSL error: " line per error before that.
    const QStringList ssl = log.lines().filter(QRegularExpression("^SSL error: "));
    QVERIFY2(ssl.isEmpty() != (server == "untrusted"), qPrintable(log.lines().join('\n')));
    QCOMPARE(log.lines().mid(ssl.size()).join('\n'), logged);

    if (query.isNull())
        return;
    const auto requests = used->requests();
    QVERIFY2(requests.size() == 1 && requests.front().method == "POST", "not one POST");
    QCOMPARE(QByteArray::fromStdString(requests.front().body), query);
    for (const auto &[name, value] : {std::pair{"Content-Type", "application/json;charset=UTF-8"},
                                      std::pair{"Cache-Control", "no-cache"}}) {
        const auto header = requests.front().headers.equal_range(name);
        QVERIFY2(std::distance(header.first, header.second) == 1 && header.first->second == value,
                 qPrintable(QStringLiteral("header %1 missing, repeated or wrong").arg(name)));
    }
}

void TestOvHttpHelper::timeOut()
{
    OvTestGate gate;
    std::atomic<int> calls{0}, answered{0};
    OvTestServer server;
    server.server().Post("/check", [&](const httplib::Request &, httplib::Response &res) {
        if (calls++ > 0)
            gate.wait(5000); // the second query is answered after 5 seconds, or when let go
        res.set_content(kOffer.toStdString(), "application/json");
        ++answered;
    });
    QVERIFY(server.start());

    // A quick answer: the timer still fires at 3 s and changes nothing.
    Client client;
    QVERIFY2(client.ask(server.url(QStringLiteral("/check"))), "no quick answer");
    QVERIFY2(client.offered.count() == 1 && !client.failed.wait(3500),
             "a quick answer was timed out");

    QElapsedTimer clock;
    clock.start();
    QVERIFY2(client.ask(server.url(QStringLiteral("/check")), 1, QString(), 6000), "no time-out");
    const qint64 elapsed = clock.elapsed();
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed >= 2850 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    QVERIFY2(client.failed.count() == 1 && client.helper.error() == E::TimedOut,
             "no time-out failure");

    // The late answer goes out, and nothing of it reaches the client.
    gate.open();
    QTRY_COMPARE_WITH_TIMEOUT(answered.load(), 2, 5000);
    QVERIFY2(!client.offered.wait(300) && client.offered.count() == 1 && client.failed.count() == 1,
             "the answer after the time-out was read");
}

QTEST_GUILESS_MAIN(TestOvHttpHelper)
#include "tst_ovhttphelper.moc"
