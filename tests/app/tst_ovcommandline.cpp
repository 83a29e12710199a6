#include "app/OvCommandLine.h"

#include <QtTest>

class TestOvCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestOvCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("processName");
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("channelType");
    QTest::addColumn<QString>("code");

    const QString prog = QStringLiteral("/opt/zenta/OvZentaUpdate");
    QTest::newRow("no arguments") << QStringList{prog} << "" << -1 << ""
                                  << "" << -1 << "";
    QTest::newRow("all six") << QStringList{prog, "-v",        "1.0",  "-t",         "7",
                                            "-k", "zenta.exe", "-url", "http://h/q", "-ct",
                                            "3",  "-cc",       "abc"}
                             << "1.0" << 7 << "zenta.exe"
                             << "http://h/q" << 3 << "abc";
    QTest::newRow("any order, stray words ignored")
        << QStringList{prog, "junk", "-cc", "x", "-url", "u", "more", "-v", "2"} << "2" << -1 << ""
        << "u" << -1 << "x";
    QTest::newRow("url as last argument stays empty")
        << QStringList{prog, "-v", "1.0", "-url"} << "1.0" << -1 << ""
        << "" << -1 << "";
    QTest::newRow("repeated option takes the first")
        << QStringList{prog, "-v", "1.0", "-v", "2.0"} << "1.0" << -1 << ""
        << "" << -1 << "";
    QTest::newRow("value that looks like an option")
        << QStringList{prog, "-k", "-v", "1.0"} << "1.0" << -1 << "-v"
        << "" << -1 << "";
    QTest::newRow("-ct abc gives 0") << QStringList{prog, "-ct", "abc"} << "" << -1 << ""
                                     << "" << 0 << "";
    QTest::newRow("-t 1x gives 0") << QStringList{prog, "-t", "1x"} << "" << 0 << ""
                                   << "" << -1 << "";
    QTest::newRow("negative numbers")
        << QStringList{prog, "-t", "-5", "-ct", "-2"} << "" << -5 << ""
        << "" << -2 << "";
    QTest::newRow("capitalised options are not options")
        << QStringList{prog, "-V", "1.0", "-CT", "4", "-URL", "u"} << "" << -1 << ""
        << "" << -1 << "";
    QTest::newRow("runas marker is just an argument")
        << QStringList{prog, "runas", "-v", "3.1"} << "3.1" << -1 << ""
        << "" << -1 << "";
    QTest::newRow("trailing integer option keeps -1") << QStringList{prog, "-ct"} << "" << -1 << ""
                                                      << "" << -1 << "";
}

void TestOvCommandLine::parse()
{
    QFETCH(QStringList, args);
    const OvStartupOptions o = OvCommandLine::parse(args);
    QTEST(o.version, "version");
    QTEST(static_cast<int>(o.type), "type");
    QTEST(o.processName, "processName");
    QTEST(o.url, "url");
    QTEST(static_cast<int>(o.channelType), "channelType");
    QTEST(o.code, "code");
}

QTEST_APPLESS_MAIN(TestOvCommandLine)
#include "tst_ovcommandline.moc"
