#include "window/OvVersion.h"

#include <QtTest>

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
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("expected");

    QTest::newRow("2.0.1 over 2.0.0") << "2.0.1"
                                      << "2.0.0" << true;
    QTest::newRow("2.0 equals 2.0.0") << "2.0"
                                      << "2.0.0" << false;
    QTest::newRow("2 equals 2.0") << "2"
                                  << "2.0" << false;
    QTest::newRow("1.10 over 1.9 (numeric, not text)") << "1.10"
                                                       << "1.9" << true;
    QTest::newRow("1.9 under 1.10") << "1.9"
                                    << "1.10" << false;
    QTest::newRow("older") << "1.0"
                           << "2.0" << false;
    QTest::newRow("empty offer never newer") << ""
                                             << "1.0" << false;
    QTest::newRow("empty offer over empty install") << ""
                                                    << "" << false;
    QTest::newRow("anything over empty install") << "0.1"
                                                 << "" << true;
    QTest::newRow("longer with non-zero tail") << "2.0.0.1"
                                               << "2.0" << true;
    QTest::newRow("non-numeric part counts as 0") << "2.x"
                                                  << "2.0" << false;
    QTest::newRow("non-numeric installed part") << "2.1"
                                                << "2.beta" << true;
    QTest::newRow("empty parts count") << "2..1"
                                       << "2.0.0" << true;
    QTest::newRow("leading zeros") << "2.010"
                                   << "2.9" << true;
    QTest::newRow("first difference decides") << "3.0.0"
                                              << "2.99.99" << true;
    QTest::newRow("huge part does not wrap") << "1.99999999999999999999999"
                                             << "1.5" << false;
}

void TestOvVersion::isNewer()
{
    QFETCH(QString, offered);
    QFETCH(QString, installed);
    QTEST(OvVersion::isNewer(offered, installed), "expected");
}

QTEST_APPLESS_MAIN(TestOvVersion)
#include "tst_ovversion.moc"
