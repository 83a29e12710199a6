#include "common/OvTestSupport.h"
#include "tools/service/OvUpgradeProtocol.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

// The service's answers over loopback, the release it picks among them; whole
// updates through the service and its shaping options are the end-to-end runs' part.
class TestOvReferenceService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void requests_data();
    void requests();

private:
    QTemporaryDir dir;
    QProcess service;
    const QByteArray package = QByteArray("zip bytes ").repeated(20000);
    int port = -1;
};

// Multi-line raw strings confuse moc, so they follow the class.
namespace {

// Key 3 lists its general releases out of order; its codes are equal to, older and newer than
// the newest of them. Key 5 has releases only for a code.
const char *const kCatalogue = R"({"channels": [
  {"key": 3, "releases": [{"version": "1.9", "package": "a-1.9.zip"},
                          {"version": "1.10", "package": "pkg.zip", "description": "Fixes"},
                          {"version": "1.2", "package": "a-1.2.zip"}],
   "codes": {"abc": [{"version": "1.10.0", "package": "pilot.zip", "importanceLevel": 1}],
             "old": [{"version": "1.0", "package": "old.zip"}],
             "new": [{"version": "2.0", "package": "https://cdn.example.com/new.zip",
                      "signature": "cdn sig"}]}},
  {"key": 5, "codes": {"x": [{"version": "1.0", "package": "x.zip"}]}}]})";

} // namespace

void TestOvReferenceService::initTestCase()
{
    using OvTestSupport::writeFile;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkpath("packages") &&
            writeFile(dir.filePath("catalogue.json"), kCatalogue) &&
            writeFile(dir.filePath("packages/pkg.zip"), package) &&
            writeFile(dir.filePath("secret.txt"), "secret") &&
            writeFile(dir.filePath("packages/pkg.zip.minisig"), "pkg sig"));
    service.setStandardErrorFile(dir.filePath("service.log"));
    service.start(OV_UPGRADE_SERVICE, {"--catalogue", dir.filePath("catalogue.json")});
    QTRY_VERIFY2_WITH_TIMEOUT(service.canReadLine(), "the service printed no port line", 10000);
    static const QRegularExpression line("^listening on http://127\\.0\\.0\\.1:(\\d+)\n$");
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(service.readLine()));
    QVERIFY2(match.hasMatch(), "the port line does not read as it should");
    port = match.captured(1).toInt();
}

// Every bad request came and went without harm: the service still runs and stops cleanly.
void TestOvReferenceService::cleanupTestCase()
{
    QCOMPARE(service.state(), QProcess::Running);
    service.terminate();
    QVERIFY2(service.waitForFinished(5000) && service.exitStatus() == QProcess::NormalExit &&
                 service.exitCode() == 0,
             "the service did not stop cleanly on SIGTERM");
    const QByteArray log = OvTestSupport::readFile(dir.filePath("service.log"));
    QVERIFY2(log.contains("\n127.0.0.1 GET /packages/pkg.zip 200 200000 bytes\n"), log.data());
}

void TestOvReferenceService::requests_data()
{
    QTest::addColumn<QString>("path"); // a GET; a POST to /check when a body is given
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<int>("status");       // in the envelope; 0 for a package
    QTest::addColumn<QString>("expected"); // offer's URL|description|importance, a word, a file

    const auto query = [](const char *tag, const char *body, int status, const QString &expected) {
        QTest::newRow(tag) << "" << QByteArray(body) << 200 << status << expected;
    };
    const QByteArray key3(R"({"key":3})");
    const QByteArray spaces(OvUpgradeProtocol::kMaxQueryBytes - key3.size(), ' ');
    const QString offer = QStringLiteral("http://127.0.0.1:%1/packages/pkg.zip|Fixes|2").arg(port);
    query("offer elsewhere", R"({"code":"new","key":3})", 200,
          "https://cdn.example.com/new.zip||2");
    query("code's release wins a tie", R"({"code":"abc","key":3})", 200, "/pilot.zip||1");
    query("newer general beats older code", R"({"code":"old","key":3})", 200, offer);
    query("unlisted code gets general", R"({"code":"zzz","key":3})", 200, offer);
    query("code-only channel, its code", R"({"code":"x","key":5})", 200, "/x.zip||2");
    query("code-only channel, no code", R"({"key":5})", 404, "no release");
    query("unknown key", R"({"key":9})", 404, "unknown key 9");
    QTest::newRow("not JSON") << "" << QByteArray("key=3") << 400 << 400 << "JSON";
    QTest::newRow("key a string") << "" << QByteArray(R"({"key":"3"})") << 400 << 400 << "key";
    QTest::newRow("newest by number, not by order, just within the limit")
        << "" << spaces + key3 << 200 << 200 << offer;
    QTest::newRow("one byte over the limit") << "" << spaces + key3 + ' ' << 400 << 400 << "larger";
    QTest::newRow("package") << "/packages/pkg.zip" << QByteArray() << 200 << 0 << "pkg.zip";
    QTest::newRow("climbing out") << "/packages/..%2Fsecret.txt" << QByteArray() << 404 << 404
                                  << "no such package";
}

void TestOvReferenceService::requests()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, expected);

    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    const httplib::Result result =
        body.isEmpty() ? client.Get(path.toStdString())
                       : client.Post("/check", body.toStdString(), "application/json");
    QVERIFY2(result, "no answer");
    QTEST(result->status, "httpStatus");
    if (status == 0) { // the package's bytes, announced by their true length
        QCOMPARE(QByteArray::fromStdString(result->get_header_value("Content-Length")),
                 QByteArray::number(package.size()));
        QVERIFY2(QByteArray::fromStdString(result->body) == package, "the bytes differ");
        return;
    }
    const QJsonObject answer =
        QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    QCOMPARE(answer.value(QStringLiteral("status")).toInt(), status);
    const QJsonObject data = answer.value("data").toObject();
    const QString found = status == 200 ? data.value("url").toString() + '|' +
                                              data.value("description").toString() + '|' +
                                              QString::number(data.value("importanceLevel").toInt())
                                        : answer.value(QStringLiteral("message")).toString();
    QVERIFY2(found.contains(expected), qPrintable(found));
    // Signed by the .minisig beside our package, or by the catalogue's text for one elsewhere.
    const QByteArray signature = found.startsWith("https:")    ? "cdn sig"
                                 : found.contains("/pkg.zip|") ? "pkg sig"
                                                               : "";
    QCOMPARE(data.value("signature").toString(), QString::fromLatin1(signature.toBase64()));
}

QTEST_GUILESS_MAIN(TestOvReferenceService)
#include "tst_ovreferenceservice.moc"
