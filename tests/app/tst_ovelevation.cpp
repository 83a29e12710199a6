#include "app/OvElevation.h"
#include "common/OvTestSupport.h"

#include <QtTest>

class TestOvElevation : public QObject
{
    Q_OBJECT

private slots:
    void needsElevatedCopy_data();
    void needsElevatedCopy();
    void parameterString_data();
    void parameterString();
    void shellSucceeded_data();
    void shellSucceeded();
    void neverElevatesOffWindows();
};

void TestOvElevation::needsElevatedCopy_data()
{
    QTest::addColumn<bool>("isAdmin");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("expected");

    const QString c = QStringLiteral("C:/Program Files/Zenta/OvZentaUpdate.exe");
    QTest::newRow("already elevated") << true << c << QStringList{c, "-v", "1"} << false;
    QTest::newRow("drive C, no rights") << false << c << QStringList{c, "-v", "1"} << true;
    QTest::newRow("lower-case c counts as C")
        << false << QStringLiteral("c:/zenta/u.exe") << QStringList{"c:/zenta/u.exe"} << true;
    QTest::newRow("drive D never")
        << false << QStringLiteral("D:/zenta/u.exe") << QStringList{"D:/zenta/u.exe"} << false;
    QTest::newRow("network path never") << false << QStringLiteral("//server/share/u.exe")
                                        << QStringList{"//server/share/u.exe"} << false;
    QTest::newRow("marker at index 1") << false << c << QStringList{c, "runas", "-v", "1"} << false;
    QTest::newRow("marker elsewhere does not count")
        << false << c << QStringList{c, "-v", "runas"} << true;
    QTest::newRow("capitalised marker does not count")
        << false << c << QStringList{c, "RUNAS"} << true;
}

void TestOvElevation::needsElevatedCopy()
{
    QFETCH(bool, isAdmin);
    QFETCH(QString, path);
    QFETCH(QStringList, args);
    QTEST(OvElevation::needsElevatedCopy(isAdmin, path, args), "expected");
}

void TestOvElevation::parameterString_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no arguments") << QStringList{"C:/u.exe"} << "runas ";
    QTest::newRow("passes arguments on")
        << QStringList{"C:/u.exe", "-v", "1.0", "-url", "x"} << "runas -v 1.0 -url x";
    QTest::newRow("no quotes are added")
        << QStringList{"C:/u.exe", "-k", "My Suite.exe"} << "runas -k My Suite.exe";
}

void TestOvElevation::parameterString()
{
    QFETCH(QStringList, args);
    QTEST(OvElevation::parameterString(args), "expected");
}

void TestOvElevation::shellSucceeded_data()
{
    QTest::addColumn<qlonglong>("result");
    QTest::addColumn<bool>("expected");
    QTest::newRow("refused") << 5LL << false;
    QTest::newRow("32 is still failure") << 32LL << false;
    QTest::newRow("33 is success") << 33LL << true;
    QTest::newRow("large handle") << 0x7ff000000000LL << true;
}

void TestOvElevation::shellSucceeded()
{
    QFETCH(qlonglong, result);
    QTEST(OvElevation::shellSucceeded(result), "expected");
}

void TestOvElevation::neverElevatesOffWindows()
{
    // Without the Windows shell the updater always goes on by itself, and says nothing.
    OvTestSupport::LogCapture log;
    QVERIFY2(!runAsAdminIfNeeded(), "an elevated copy was reported started off Windows");
    QVERIFY2(!log.contains(QStringLiteral("------")), "a parameter line was logged");
}

QTEST_GUILESS_MAIN(TestOvElevation)
#include "tst_ovelevation.moc"
