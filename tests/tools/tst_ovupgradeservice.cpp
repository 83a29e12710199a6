#include "common/OvTestSupport.h"
#include "tools/service/OvUpgradeProtocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

// The service's executable over loopback HTTP and HTTPS: start-up, queries, packages, the
// shaping options and its log.
class TestOvUpgradeService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesBadStart_data();
    void refusesBadStart();
    void requests_data();
    void requests();
    void chunkedBodyOverLimitKeepsConnection();
    void shapedOverTls();
    void stopsWhileAnAnswerIsHeld();
    void survivedAllAndStops();

private:
    // Starts the service on the test catalogue with `extra` options; its port, or -1.
    int start(QProcess &process, const QStringList &extra = QStringList());
    static bool stop(QProcess &process);
    QByteArray log(int service) const;

    QTemporaryDir dir;
    QString cataloguePath;
    QProcess service;
    int port = -1;
    int started = 0;
};

// Multi-line raw strings confuse moc, so they follow the class.
namespace {

// Key 3 has general releases and two codes: one with a package name that needs encoding, one
// with a package stored elsewhere.
const char *const kCatalogue = R"({"channels": [{"key": 3,
  "releases": [{"version": "1.9", "package": "pkg.zip"},
               {"version": "1.10", "package": "pkg.zip", "description": "Fixes"}],
  "codes": {"abc": [{"version": "2.0", "package": "a b#1.zip", "importanceLevel": 1}],
            "cdn": [{"version": "3.0", "package": "https://cdn.example.com/p.zip"}]}}]})";

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject envelope(const httplib::Result &result)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

} // namespace

void TestOvUpgradeService::initTestCase()
{
    QVERIFY2(dir.isValid(), "no temporary folder");
    QByteArray package(200000, '\0');
    for (int i = 0; i < package.size(); ++i)
        package[i] = static_cast<char>((i * 7919) >> 5 ^ i);
    cataloguePath = dir.filePath(QStringLiteral("catalogue.json"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("packages")));
    QVERIFY(writeFile(cataloguePath, kCatalogue));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("packages/pkg.zip")), package));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("packages/a b#1.zip")), "spaced"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("packages/empty.bin")), QByteArray()));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("secret.txt")), "secret"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("secret.txt")),
                        dir.filePath(QStringLiteral("packages/link-out.txt"))));
    port = start(service);
    QVERIFY2(port > 0, "the service printed no port line");
}

int TestOvUpgradeService::start(QProcess &process, const QStringList &extra)
{
    process.setStandardErrorFile(dir.filePath(QStringLiteral("service-%1.log").arg(++started)));
    process.start(QStringLiteral(OV_UPGRADE_SERVICE),
                  QStringList{QStringLiteral("--catalogue"), cataloguePath} + extra);
    const bool hasLine = QTest::qWaitFor(
        [&process] { return process.canReadLine() || process.state() == QProcess::NotRunning; },
        10000);
    static const QRegularExpression line(
        QStringLiteral("^listening on https?://127\\.0\\.0\\.1:(\\d+)\n$"));
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(process.readLine()));
    return hasLine && match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool TestOvUpgradeService::stop(QProcess &process)
{
    process.terminate();
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray TestOvUpgradeService::log(int service) const
{
    return readFile(dir.filePath(QStringLiteral("service-%1.log").arg(service)));
}

void TestOvUpgradeService::refusesBadStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");

    const QString c = QStringLiteral("--catalogue");
    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    QVERIFY(writeFile(bad, R"({"channels":[{"key":1,"releases":[{"version":"1.x"}]}]})"));
    QTest::newRow("catalogue malformed")
        << QStringList{c, bad} << 1 << "channels[0].releases[0]: \"version\"";
    QTest::newRow("certificate unreadable")
        << QStringList{c, cataloguePath, "--cert", "no.pem", "--key", "no.pem"} << 1
        << "certificate";
    QTest::newRow("port taken") << QStringList{c, cataloguePath, "--port", QString::number(port)}
                                << 1 << "cannot listen";
}

void TestOvUpgradeService::refusesBadStart()
{
    QFETCH(QStringList, args);
    QProcess process;
    process.start(QStringLiteral(OV_UPGRADE_SERVICE), args);
    QVERIFY2(process.waitForFinished(10000), "the service did not give up");
    QTEST(process.exitCode(), "exitCode");
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QFETCH(QString, reason);
    QVERIFY2(error.contains(reason), qPrintable(QStringLiteral("unhelpful error: ") + error));
    QVERIFY2(process.readAllStandardOutput().isEmpty(), "a port line although nothing listens");
}

void TestOvUpgradeService::requests_data()
{
    QTest::addColumn<QString>("request"); // method, path as sent, and a Host header if any
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<int>("status");       // in the envelope; 0 for a package
    QTest::addColumn<QString>("expected"); // offered URL, a word of the message, or the package

    const QString here = QStringLiteral("http://127.0.0.1:%1/packages/").arg(port);
    const QByteArray key3(R"({"key":3})");
    const QByteArray spaces(OvUpgradeProtocol::kMaxQueryBytes - key3.size(), ' ');
    const QString post = QStringLiteral("POST /check");
    QTest::newRow("code's own, name encoded")
        << post << QByteArray(R"({"code":"abc","key":3})") << 200 << 200 << here + "a%20b%231.zip";
    QTest::newRow("package stored elsewhere") << post << QByteArray(R"({"code":"cdn","key":3})")
                                              << 200 << 200 << "https://cdn.example.com/p.zip";
    QTest::newRow("address as reached") << post + " updates.example.com:8443" << key3 << 200 << 200
                                        << "http://updates.example.com:8443/packages/pkg.zip";
    QTest::newRow("hostile Host header ignored")
        << post + " evil.example@h/x" << key3 << 200 << 200 << here + "pkg.zip";
    QTest::newRow("unknown key") << post << QByteArray(R"({"key":9})") << 200 << 404
                                 << "unknown key 9";
    QTest::newRow("not JSON") << post << QByteArray("key=3") << 400 << 400 << "JSON";
    QTest::newRow("key a string") << post << QByteArray(R"({"key":"3"})") << 400 << 400 << "key";
    QTest::newRow("code a number")
        << post << QByteArray(R"({"code":1,"key":3})") << 400 << 400 << "code";
    QTest::newRow("just within the limit")
        << post << spaces + key3 << 200 << 200 << here + "pkg.zip";
    QTest::newRow("one byte over the limit")
        << post << spaces + key3 + ' ' << 400 << 400 << "larger";

    QTest::newRow("package") << "GET /packages/pkg.zip" << QByteArray() << 200 << 0 << "pkg.zip";
    QTest::newRow("encoded name as offered")
        << "GET /packages/a%20b%231.zip" << QByteArray() << 200 << 0 << "a b#1.zip";
    QTest::newRow("empty file") << "GET /packages/empty.bin" << QByteArray() << 200 << 0
                                << "empty.bin";
    QTest::newRow("missing") << "GET /packages/missing.zip" << QByteArray() << 404 << 404
                             << "no such package";
    QTest::newRow("encoded slash")
        << "GET /packages/..%2Fsecret.txt" << QByteArray() << 404 << 404 << "no such package";
    QTest::newRow("link out of the folder")
        << "GET /packages/link-out.txt" << QByteArray() << 404 << 404 << "no such package";
    QTest::newRow("forged log line") << "GET /packages/x%0D%0A1.2.3.4%20GET%20/y%20200%201%20bytes"
                                     << QByteArray() << 404 << 404 << "not found";
}

void TestOvUpgradeService::requests()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, expected);

    const QStringList parts = request.split(QLatin1Char(' '));
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    httplib::Headers headers;
    if (parts.size() > 2)
        headers.emplace("Host", parts.at(2).toStdString());
    const std::string path = parts.at(1).toStdString();
    const httplib::Result result =
        parts.at(0) == QLatin1String("GET")
            ? client.Get(path.c_str())
            : client.Post(path.c_str(), headers, body.toStdString(), "application/json");
    QVERIFY2(result, "no answer");
    QTEST(result->status, "httpStatus");
    if (status == 0) { // the package's bytes, announced by their true length
        const QByteArray content = readFile(dir.filePath("packages/" + expected));
        QCOMPARE(QByteArray::fromStdString(result->get_header_value("Content-Length")),
                 QByteArray::number(content.size()));
        QVERIFY2(QByteArray::fromStdString(result->body) == content, "the bytes differ");
        return;
    }
    const QJsonObject answer = envelope(result);
    QCOMPARE(answer.value(QStringLiteral("status")).toInt(), status);
    const QString found = status == 200 ? answer.value("data").toObject().value("url").toString()
                                        : answer.value(QStringLiteral("message")).toString();
    QVERIFY2(found.contains(expected), qPrintable(found));
}

void TestOvUpgradeService::chunkedBodyOverLimitKeepsConnection()
{
    // Without a Content-Length the limit is found while reading; the rest of the body must
    // not be taken for the next request on the same connection.
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    const std::string piece(10000, ' ');
    const httplib::Result big = client.Post(
        "/check",
        [&piece](size_t offset, httplib::DataSink &sink) {
            if (offset < 100 * piece.size())
                sink.write(piece.data(), piece.size());
            else
                sink.done();
            return true;
        },
        "application/json");
    QVERIFY2(big && big->status == 400, "a chunked body over the limit was not refused");
    QVERIFY2(envelope(big).value("message").toString().contains("larger"), big->body.c_str());
    const httplib::Result next = client.Post("/check", R"({"key":3})", "application/json");
    QVERIFY2(next && next->status == 200, "the connection was spoilt by the refused body");
}

void TestOvUpgradeService::shapedOverTls()
{
    // At 400000 bytes per second in tenths, cut after 150000 of the 200000 bytes: the fourth
    // tenth starts after 0.3 s, then the connection closes.
    QTemporaryDir certDir;
    QString certPath, keyPath, error;
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(certDir.path(), &certPath, &keyPath, &error),
             qPrintable(error));
    QProcess shaped;
    const int shapedPort = start(shaped, {"--cert", certPath, "--key", keyPath, "--delay-ms", "300",
                                          "--throttle", "400000", "--cut-after", "150000"});
    QVERIFY2(shapedPort > 0, "the service printed no port line");
    httplib::SSLClient client("127.0.0.1", shapedPort);
    client.set_ca_cert_path(certPath.toStdString().c_str());
    client.enable_server_certificate_verification(true);
    QElapsedTimer timer;
    timer.start();
    const httplib::Result query = client.Post("/check", R"({"key":3})", "application/json");
    QVERIFY2(query, httplib::to_string(query.error()).c_str());
    QVERIFY2(timer.elapsed() >= 290, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(envelope(query).value("data").toObject().value("url").toString(),
             QStringLiteral("https://127.0.0.1:%1/packages/pkg.zip").arg(shapedPort));

    timer.restart();
    std::string announced;
    size_t received = 0;
    const httplib::Result package = client.Get(
        "/packages/pkg.zip",
        [&announced](const httplib::Response &res) {
            announced = res.get_header_value("Content-Length");
            return true;
        },
        [&received](const char *, size_t length) {
            received += length;
            return true;
        });
    QVERIFY2(timer.elapsed() >= 250, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(!package, "a cut transfer looked complete");
    QCOMPARE(announced, std::string("200000"));
    QCOMPARE(received, size_t(150000));
    QVERIFY2(stop(shaped), "the service did not stop cleanly");
    QVERIFY2(log(started).contains("GET /packages/pkg.zip 200 150000 bytes cut\n"),
             log(started).constData());
}

void TestOvUpgradeService::stopsWhileAnAnswerIsHeld()
{
    // A service that holds its answers (as for the updater's time-out) must still stop at
    // once, well within the grace it gives stuck transfers, and let the held answer go.
    QProcess holding;
    const int holdingPort = start(holding, {"--delay-ms", "60000"});
    QVERIFY2(holdingPort > 0, "the service printed no port line");
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(holdingPort));
    QVERIFY2(socket.waitForConnected(5000), qPrintable(socket.errorString()));
    socket.write("POST /check HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 9\r\n\r\n{\"key\":3}");
    QTRY_VERIFY2_WITH_TIMEOUT(log(started).contains("POST /check held for 60000 ms"),
                              "the service did not take the query", 5000);
    QElapsedTimer timer;
    timer.start();
    QVERIFY2(stop(holding), "the service did not stop cleanly");
    QVERIFY2(timer.elapsed() < 2000, "the held answer kept the service running");
    QTRY_VERIFY2_WITH_TIMEOUT(socket.peek(12) == "HTTP/1.1 200", "the held answer was dropped",
                              5000);
}

void TestOvUpgradeService::survivedAllAndStops()
{
    QCOMPARE(service.state(), QProcess::Running);
    QVERIFY2(stop(service), "the service did not stop cleanly on SIGTERM");
    // One line per request, "address method path status bytes", none of them forged.
    const QStringList lines = QString::fromUtf8(log(1)).split('\n', Qt::SkipEmptyParts);
    static const QRegularExpression entry(
        QStringLiteral("^(127\\.0\\.0\\.1|-) [A-Z-]+ \\S+ \\d{3} \\d+ bytes$"));
    for (const QString &line : lines.mid(0, lines.size() - 1))
        QVERIFY2(entry.match(line).hasMatch(), qPrintable(QStringLiteral("log line: ") + line));
    QVERIFY2(lines.last().startsWith(QLatin1String("OvUpgradeService: stopped")),
             qPrintable(lines.last()));
    QVERIFY2(lines.contains(QStringLiteral("127.0.0.1 GET /packages/pkg.zip 200 200000 bytes")),
             "no log line for the package transfer");
}

QTEST_GUILESS_MAIN(TestOvUpgradeService)
#include "tst_ovupgradeservice.moc"
