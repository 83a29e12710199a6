#include "tools/service/OvReleaseCatalogue.h"
#include "tools/service/OvUpgradeProtocol.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

// The release catalogue's choices and refusals, and the service's answers over loopback; whole
// updates through the service and its shaping options are the end-to-end runs' part.
class TestOvReferenceService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pick_data();
    void pick();
    void malformed_data();
    void malformed();
    void requests_data();
    void requests();

private:
    QTemporaryDir dir;
    OvReleaseCatalogue catalogue;
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

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

void TestOvReferenceService::initTestCase()
{
    QString error;
    QVERIFY2(catalogue.load(kCatalogue, &error), qPrintable(error));
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
    QFile file(dir.filePath("service.log"));
    const QByteArray log = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    QVERIFY2(log.contains("\n127.0.0.1 GET /packages/pkg.zip 200 200000 bytes\n"), log.data());
}

void TestOvReferenceService::pick_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("release"); // package|description|importance, or why there is none

    QTest::newRow("newest by number, not by order") << "" << 3 << "pkg.zip|Fixes|2";
    QTest::newRow("code's release wins a tie") << "abc" << 3 << "pilot.zip||1";
    QTest::newRow("newer general beats older code") << "old" << 3 << "pkg.zip|Fixes|2";
    QTest::newRow("newer code beats general") << "new" << 3 << "https://cdn.example.com/new.zip||2";
    QTest::newRow("unlisted code gets general") << "zzz" << 3 << "pkg.zip|Fixes|2";
    QTest::newRow("unknown key") << "" << 4 << "unknown key";
    QTest::newRow("code-only channel, no code") << "" << 5 << "no release";
    QTest::newRow("code-only channel, its code") << "x" << 5 << "x.zip||2";
}

void TestOvReferenceService::pick()
{
    QFETCH(int, key);
    QFETCH(QString, code);

    using O = OvReleaseCatalogue::Outcome;
    const OvReleaseCatalogue::Pick pick = catalogue.pick(key, code);
    const OvRelease &r = pick.release;
    QTEST(pick.outcome == O::UnknownKey ? QStringLiteral("unknown key")
          : pick.outcome == O::NoRelease
              ? QStringLiteral("no release")
              : r.package + '|' + r.description + '|' + QString::number(r.importanceLevel),
          "release");
}

void TestOvReferenceService::malformed_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault"); // must appear in the error text

    const auto coded = [](const char *r) {
        return QByteArray(R"({"channels":[{"key":1,"codes":{"c":[)") + r + "]}}]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\"channels\": [") << "offset";
    QTest::newRow("key twice") << QByteArray(R"({"channels":[{"key":1},{"key":1}]})")
                               << "channels[1]: key 1 is listed twice";
    QTest::newRow("version with a letter")
        << coded(R"({"version":"v1","package":"p"})") << "codes.c[0]: \"version\"";
    QTest::newRow("package climbing out")
        << coded(R"({"version":"1","package":"../p.zip"})") << "codes.c[0]: \"package\"";
    QTest::newRow("same version twice")
        << coded(R"({"version":"1.1","package":"p"},{"version":"1.1.0","package":"q"})")
        << "codes.c[1]: version 1.1.0 is listed twice";
}

void TestOvReferenceService::malformed()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);

    QString error;
    QVERIFY2(!catalogue.load(json, &error), "a malformed catalogue was accepted");
    QVERIFY2(error.contains(fault), qPrintable(QStringLiteral("unhelpful error: ") + error));
    // A failed load keeps what was there, and takes nothing of the new one.
    QCOMPARE(catalogue.pick(3, QString()).release.package, QStringLiteral("pkg.zip"));
    QCOMPARE(catalogue.pick(1, QString()).outcome, OvReleaseCatalogue::Outcome::UnknownKey);
}

void TestOvReferenceService::requests_data()
{
    QTest::addColumn<QString>("path"); // a GET; a POST to /check when a body is given
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<int>("status");       // in the envelope; 0 for a package
    QTest::addColumn<QString>("expected"); // offered URL, a word of the message, or the package

    const QByteArray key3(R"({"key":3})");
    const QByteArray spaces(OvUpgradeProtocol::kMaxQueryBytes - key3.size(), ' ');
    const QString offer = QStringLiteral("http://127.0.0.1:%1/packages/pkg.zip").arg(port);
    QTest::newRow("offer elsewhere") << "" << QByteArray(R"({"code":"new","key":3})") << 200 << 200
                                     << "https://cdn.example.com/new.zip";
    QTest::newRow("unknown key") << "" << QByteArray(R"({"key":9})") << 200 << 404
                                 << "unknown key 9";
    QTest::newRow("not JSON") << "" << QByteArray("key=3") << 400 << 400 << "JSON";
    QTest::newRow("key a string") << "" << QByteArray(R"({"key":"3"})") << 400 << 400 << "key";
    QTest::newRow("offer, just within the limit") << "" << spaces + key3 << 200 << 200 << offer;
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
    const QString found = status == 200 ? answer.value("data").toObject().value("url").toString()
                                        : answer.value(QStringLiteral("message")).toString();
    QVERIFY2(found.contains(expected), qPrintable(found));
    // Signed by the .minisig beside our package, or by the catalogue's text for one elsewhere.
    const QByteArray signature = found.startsWith("https:") ? "cdn sig" : "pkg sig";
    QCOMPARE(answer.value("data").toObject().value("signature").toString(),
             status == 200 ? QString::fromLatin1(signature.toBase64()) : QString());
}

QTEST_GUILESS_MAIN(TestOvReferenceService)
#include "tst_ovreferenceservice.moc"
