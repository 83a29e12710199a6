#include "window/OvVersion.h"

#include <QtTest>

// The workflow test checks the comparisons a user meets (2.0 against 2.0.0, 1.10 against 1.9,
// an empty offer); these are the rules behind them.
class TestOvVersion : public QObject
{
    Q_OBJECT

private slots:
    void isNewer_data();
    void isNewer();
};

void TestOvVersion::isNewer_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("isNewer"); // than
    QTest::addColumn<QString>("installed");

    QTest::newRow("older") << "1.0" << false << "2.0";
    QTest::newRow("a missing part counts as 0") << "2" << false << "2.0";
    QTest::newRow("longer with a non-zero tail") << "2.0.0.1" << true << "2.0";
    QTest::newRow("anything over an empty install") << "0.1" << true << "";
    QTest::newRow("a part that is no number counts as 0") << "2.x" << false << "2.0";
    QTest::newRow("so does an installed one") << "2.1" << true << "2.beta";
    QTest::newRow("empty parts count") << "2..1" << true << "2.0.0";
    QTest::newRow("leading zeros, numbers not text") << "2.010" << true << "2.9";
    QTest::newRow("the first difference decides") << "3.0.0" << true << "2.99.99";
    QTest::newRow("a part too long for a number") << "1.99999999999999999999999" << false << "1.5";
}

void TestOvVersion::isNewer()
{
    QFETCH(QString, offered);
    QFETCH(QString, installed);
    QTEST(OvVersion::isNewer(offered, installed), "isNewer");
}

QTEST_APPLESS_MAIN(TestOvVersion)
#include "tst_ovversion.moc"
