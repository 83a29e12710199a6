#include "download/OvDownloadRules.h"

#include <QSet>
#include <QtTest>

#include <cmath>
#include <limits>

class TestOvDownloadRules : public QObject
{
    Q_OBJECT

private slots:
    void saveFileName_data();
    void saveFileName();
    void transferRate_data();
    void transferRate();
};

void TestOvDownloadRules::saveFileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");

    const QString pkg = QStringLiteral("http://h/updates/pkg.zip");
    QTest::newRow("free name is used as it is") << pkg << QStringList() << "pkg.zip";
    QTest::newRow("taken name gets number 0") << pkg << QStringList{"pkg.zip"} << "pkg.0.zip";
    QTest::newRow("numbers count upwards")
        << pkg << QStringList{"pkg.zip", "pkg.0.zip"} << "pkg.1.zip";
    QTest::newRow("first gap is filled")
        << pkg << QStringList{"pkg.zip", "pkg.1.zip"} << "pkg.0.zip";
    QTest::newRow("numbered names alone do not count")
        << pkg << QStringList{"pkg.0.zip"} << "pkg.zip";
    QTest::newRow("middle of a two-dot name is dropped")
        << QStringLiteral("http://h/pkg.setup.zip") << QStringList{"pkg.setup.zip"} << "pkg.0.zip";
    QTest::newRow("empty base name becomes download")
        << QStringLiteral("http://h/.zip") << QStringList{".zip"} << "download.0.zip";
    QTest::newRow("suffix-less name keeps a trailing dot")
        << QStringLiteral("http://h/pkg") << QStringList{"pkg"} << "pkg.0.";
    QTest::newRow("path ending in a slash names nothing")
        << QStringLiteral("http://h/updates/") << QStringList() << "";
    QTest::newRow("no path names nothing") << QStringLiteral("http://h") << QStringList() << "";
    QTest::newRow("query and fragment are no part of the name")
        << QStringLiteral("http://h/pkg.zip?name=../../x.zip#y/z") << QStringList() << "pkg.zip";
    QTest::newRow("percent-encoding is decoded") << QStringLiteral("http://h/%E5%8C%85%20v2.zip")
                                                 << QStringList() << QString::fromUtf8("包 v2.zip");
    QTest::newRow("encoded slash cannot reach another directory")
        << QStringLiteral("http://h/x/..%2F..%2Fevil.zip") << QStringList() << "evil.zip";
    QTest::newRow("parent directory is never the save file")
        << QStringLiteral("http://h/a/%2E%2E") << QStringList{".."} << "download.0.";
}

void TestOvDownloadRules::saveFileName()
{
    QFETCH(QString, url);
    QFETCH(QStringList, taken);
    const QSet<QString> names(taken.cbegin(), taken.cend());
    QStringList asked;
    const QString name =
        OvDownloadRules::saveFileName(QUrl(url), [&names, &asked](const QString &candidate) {
            asked << candidate;
            return names.contains(candidate);
        });
    QTEST(name, "expected");
    QVERIFY2(!name.contains(QLatin1Char('/')),
             qPrintable(QStringLiteral("save name with a separator: ") + name));
    QVERIFY2(asked.size() <= taken.size() + 1,
             qPrintable(QStringLiteral("asked about: ") + asked.join(QLatin1Char(' '))));
}

void TestOvDownloadRules::transferRate_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("nothing yet") << qint64(0) << qint64(5) << 0.0 << "bytes/sec";
    QTest::newRow("just under a kilobyte per second")
        << qint64(1023) << qint64(1000) << 1023.0 << "bytes/sec";
    QTest::newRow("one kilobyte per second") << qint64(1024) << qint64(1000) << 1.0 << "kB/s";
    QTest::newRow("just under a megabyte per second")
        << qint64(1048575) << qint64(1000) << 1048575.0 / 1024.0 << "kB/s";
    QTest::newRow("one megabyte per second") << qint64(1048576) << qint64(1000) << 1.0 << "MB/s";
    QTest::newRow("per millisecond scales to seconds")
        << qint64(3 * 1048576) << qint64(2) << 1500.0 << "MB/s";
    QTest::newRow("gigabytes stay in MB/s")
        << qint64(5) * 1024 * 1048576 << qint64(1000) << 5120.0 << "MB/s";
    QTest::newRow("first millisecond is infinite") << qint64(100) << qint64(0) << inf << "MB/s";
    QTest::newRow("nothing in no time is undefined")
        << qint64(0) << qint64(0) << std::nan("") << "MB/s";
}

void TestOvDownloadRules::transferRate()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, ms);
    QFETCH(double, value);
    const OvDownloadRules::TransferRate rate = OvDownloadRules::transferRate(bytes, ms);
    QTEST(rate.unit, "unit");
    if (std::isnan(value))
        QVERIFY2(std::isnan(rate.value), qPrintable(QString::number(rate.value)));
    else
        QCOMPARE(rate.value, value);
}

QTEST_APPLESS_MAIN(TestOvDownloadRules)
#include "tst_ovdownloadrules.moc"
