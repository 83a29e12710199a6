#include "tools/service/OvReleaseCatalogue.h"

#include <QtTest>

Q_DECLARE_METATYPE(OvReleaseCatalogue::Outcome)

class TestOvReleaseCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pick_data();
    void pick();
    void malformed_data();
    void malformed();

private:
    OvReleaseCatalogue catalogue;
};

// Multi-line raw strings confuse moc, so they follow the class.
namespace {

// Key 3 lists its general releases out of order; its codes are older, equal and newer than
// the newest of them. Key 5 has releases only for a code; key 8 compares parts with leading
// zeros as numbers.
const char *const kCatalogue = R"({"channels": [
  {"key": 3, "comment": "unknown members are ignored",
   "releases": [
     {"version": "1.9", "package": "a-1.9.zip"},
     {"version": "1.10", "package": "a-1.10.zip", "description": "general", "cdt": "2026-12-01"},
     {"version": "1.2", "package": "a-1.2.zip"}],
   "codes": {
     "abc": [{"version": "1.10.0", "package": "pilot.zip", "importanceLevel": 1}],
     "old": [{"version": "1.0", "package": "old.zip"}],
     "new": [{"version": "2.0", "package": "https://cdn.example.com/new.zip"}]}},
  {"key": 5, "codes": {"x": [{"version": "1.0", "package": "x.zip"}]}},
  {"key": 8, "releases": [{"version": "1.9", "package": "nine.zip"},
                          {"version": "1.010", "package": "ten.zip"},
                          {"version": "1.08", "package": "eight.zip"}]}
]})";

} // namespace

void TestOvReleaseCatalogue::init()
{
    QString error;
    QVERIFY2(catalogue.load(kCatalogue, &error), qPrintable(error));
}

void TestOvReleaseCatalogue::pick_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<OvReleaseCatalogue::Outcome>("outcome");
    QTest::addColumn<QString>("package");
    QTest::addColumn<int>("importanceLevel");

    using O = OvReleaseCatalogue::Outcome;
    QTest::newRow("newest by number, not by order") << 3 << "" << O::Found << "a-1.10.zip" << 2;
    QTest::newRow("leading zeros, numbers") << 8 << "" << O::Found << "ten.zip" << 2;
    QTest::newRow("code's release wins a tie") << 3 << "abc" << O::Found << "pilot.zip" << 1;
    QTest::newRow("newer general beats older code") << 3 << "old" << O::Found << "a-1.10.zip" << 2;
    QTest::newRow("newer code beats general")
        << 3 << "new" << O::Found << "https://cdn.example.com/new.zip" << 2;
    QTest::newRow("unlisted code gets general") << 3 << "zzz" << O::Found << "a-1.10.zip" << 2;
    QTest::newRow("unknown key") << 4 << "" << O::UnknownKey << "" << 2;
    QTest::newRow("code-only channel, no code") << 5 << "" << O::NoRelease << "" << 2;
    QTest::newRow("code-only channel, its code") << 5 << "x" << O::Found << "x.zip" << 2;
}

void TestOvReleaseCatalogue::pick()
{
    QFETCH(int, key);
    QFETCH(QString, code);
    QFETCH(OvReleaseCatalogue::Outcome, outcome);

    const OvReleaseCatalogue::Pick pick = catalogue.pick(key, code);
    QVERIFY2(pick.outcome == outcome, "wrong outcome");
    QTEST(pick.release.package, "package");
    QTEST(int(pick.release.importanceLevel), "importanceLevel"); // 2 when not given
    if (pick.release.package == QLatin1String("a-1.10.zip"))     // the other fields travel along
        QCOMPARE(pick.release.description + pick.release.cdt, QStringLiteral("general2026-12-01"));
}

void TestOvReleaseCatalogue::malformed_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault"); // must appear in the error text

    const auto release = [](const char *r) {
        return QByteArray(R"({"channels":[{"key":1,"releases":[)") + r + "]}]}";
    };
    const auto coded = [](const char *r) {
        return QByteArray(R"({"channels":[{"key":1,"codes":{"c":[)") + r + "]}}]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\"channels\": [") << "offset";
    QTest::newRow("no channels array") << QByteArray(R"({"channels":{}})") << "\"channels\"";
    QTest::newRow("key a fraction") << QByteArray(R"({"channels":[{"key":3.5}]})") << "\"key\"";
    QTest::newRow("key beyond 32 bits")
        << QByteArray(R"({"channels":[{"key":2147483648}]})") << "\"key\"";
    QTest::newRow("key twice") << QByteArray(R"({"channels":[{"key":1},{"key":1}]})")
                               << "channels[1]: key 1 is listed twice";
    QTest::newRow("empty code") << QByteArray(R"({"channels":[{"key":1,"codes":{"":[]}}]})")
                                << "empty";
    QTest::newRow("version with a letter")
        << coded(R"({"version":"v1","package":"p"})") << "codes.c[0]: \"version\"";
    QTest::newRow("part the updater cannot read")
        << release(R"({"version":"1.1234567890123456789","package":"p"})") << "18 digits";
    QTest::newRow("package climbing out")
        << coded(R"({"version":"1","package":"../p.zip"})") << "codes.c[0]: \"package\"";
    QTest::newRow("package over ftp")
        << release(R"({"version":"1","package":"ftp://h/p"})") << "\"package\"";
    QTest::newRow("description a number")
        << release(R"({"version":"1","package":"p","description":2})") << "\"description\"";
    QTest::newRow("same version twice")
        << release(R"({"version":"1.1","package":"p"},{"version":"1.1.0","package":"q"})")
        << "releases[1]: version 1.1.0 is listed twice";
}

void TestOvReleaseCatalogue::malformed()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);

    QString error;
    QVERIFY2(!catalogue.load(json, &error), "a malformed catalogue was accepted");
    QVERIFY2(error.contains(fault), qPrintable(QStringLiteral("unhelpful error: ") + error));
    // A failed load keeps what was there, and takes nothing of the new one.
    QCOMPARE(catalogue.pick(3, QString()).release.package, QStringLiteral("a-1.10.zip"));
    QCOMPARE(catalogue.pick(1, QString()).outcome, OvReleaseCatalogue::Outcome::UnknownKey);
}

QTEST_GUILESS_MAIN(TestOvReleaseCatalogue)
#include "tst_ovreleasecatalogue.moc"
