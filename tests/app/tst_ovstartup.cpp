#include "common/OvTestSupport.h"
#include "gui/app/OvCommandLine.h"
#include "gui/app/OvElevation.h"
#include "gui/app/OvLanguageSetting.h"

#include <QtTest>

// What start-up reads before the window exists: command line, elevation decision, the suite's
// language file. The real binary's start-up lines are the end-to-end runs' part.
class TestOvStartup : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void elevation_data();
    void elevation();
    void languageFile_data();
    void languageFile();
};

void TestOvStartup::options_data()
{
    QTest::addColumn<QString>("args");     // after the program path, split at blanks
    QTest::addColumn<QString>("expected"); // -v|-t|-k|-url|-ct|-cc

    const auto row = [](const char *tag, const char *args, const char *expected) {
        QTest::newRow(tag) << QString(args) << QString(expected);
    };
    row("no arguments", "", "|-1|||-1|");
    row("any order; marker and stray words ignored",
        "runas junk -cc abc -url http://h/q -k z.exe -t 7 -ct 3 -v 1.0",
        "1.0|7|z.exe|http://h/q|3|abc");
    row("text option last stays empty", "-v 1.0 -url", "1.0|-1|||-1|");
    row("integer option last keeps -1", "-t 4 -ct", "|4|||-1|");
    row("repeated option takes the first", "-v 1.0 -v 2.0", "1.0|-1|||-1|");
    row("value that is an option name", "-k -v 1.0", "1.0|-1|-v||-1|");
    row("-ct abc gives 0, negatives read", "-ct abc -t -5", "|-5|||0|");
    row("capitalised options are not options", "-V 1.0 -CT 4 -URL u", "|-1|||-1|");
}

void TestOvStartup::options()
{
    QFETCH(QString, args);
    const OvStartupOptions o = OvCommandLine::parse(QStringList{"/opt/zenta/OvZentaUpdate"} +
                                                    args.split(' ', Qt::SkipEmptyParts));
    const QStringList got{o.version, QString::number(o.type),        o.processName,
                          o.url,     QString::number(o.channelType), o.code};
    QTEST(got.join('|'), "expected");
}

void TestOvStartup::elevation_data()
{
    QTest::addColumn<bool>("isAdmin");
    QTest::addColumn<QString>("args"); // split at "|"; the first is the program path
    QTest::addColumn<bool>("elevates");
    QTest::addColumn<QString>("parameters");

    QTest::newRow("already elevated") << true << "C:/u.exe|-v|1" << false << "runas -v 1";
    QTest::newRow("drive C without rights; arguments passed unquoted")
        << false << "C:/Zenta/u.exe|-v|1.0|-k|My Suite.exe" << true
        << "runas -v 1.0 -k My Suite.exe";
    QTest::newRow("lower-case c; no arguments") << false << "c:/u.exe" << true << "runas ";
    QTest::newRow("drive D never") << false << "D:/u.exe" << false << "runas ";
    QTest::newRow("the elevated copy") << false << "C:/u.exe|runas|-v" << false << "runas runas -v";
    QTest::newRow("marker counts only at index 1, exactly")
        << false << "C:/u.exe|RUNAS|runas" << true << "runas RUNAS runas";
}

void TestOvStartup::elevation()
{
    QFETCH(bool, isAdmin);
    QFETCH(QString, args);
    const QStringList list = args.split('|');
    QTEST(OvElevation::needsElevatedCopy(isAdmin, list.first(), list), "elevates");
    QTEST(OvElevation::parameterString(list), "parameters");
    QVERIFY2(!OvElevation::shellSucceeded(32) && OvElevation::shellSucceeded(33),
             "the shell's results up to 32 are failures, those above successes");
}

void TestOvStartup::languageFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no config folder; "<dir>": a folder instead
    QTest::addColumn<QString>("expected");   // "<system>": the system locale's name
    QTest::addColumn<QString>("warning");    // %1: the file's full path

    const auto row = [](const char *tag, const char *content, const char *expected,
                        const char *warning = "") {
        QTest::newRow(tag) << QByteArray(content) << QString(expected) << QString(warning);
    };
    row("isset 1: language unchanged", R"(<c><ctrl isset="1" language="fr_FR"/></c>)", "fr_FR");
    row("isset true: system", R"(<c><ctrl isset="true" language="fr_FR"/></c>)", "<system>");
    row("isset 1 without language", R"(<c><ctrl isset="1"/></c>)", "");
    row("nested ctrl is not found", R"(<c><g><ctrl isset="1" language="fr_FR"/></g></c>)", "");
    row("not XML: no warning", R"(<c><ctrl isset="1">)", "<system>");
    row("missing", nullptr, "<system>", "The file{ \"%1\" } doesn't exist!");
    row("unreadable", "<dir>", "<system>", "Couldn't open load file.");
    // 10 MB of elements behind the setting; entities that would grow to gigabytes.
    const QByteArray huge =
        R"(<c><ctrl isset="1" language="fr_FR"/>)" + QByteArray("<x/>").repeated(2621440) + "</c>";
    QTest::newRow("10 MB") << huge << QString("fr_FR") << QString();
    QByteArray laughs = R"(<?xml version="1.0"?><!DOCTYPE c [<!ENTITY l0 "lol">)";
    for (int i = 1; i <= 9; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                  ("&l" + QByteArray::number(i - 1) + ';').repeated(10) + "\">";
    laughs += R"(]><c><ctrl isset="1" language="&l9;"/></c>)";
    QTest::newRow("billion laughs") << laughs << QString("<system>") << QString();
}

void TestOvStartup::languageFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(QString, warning);

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/config/sysconfig-language.xml");
    if (content == "<dir>")
        QVERIFY(QDir().mkpath(path));
    else if (!content.isNull())
        QVERIFY2(QDir().mkpath(dir.path() + "/config") && OvTestSupport::writeFile(path, content),
                 qPrintable(path));

    OvTestSupport::LogCapture log;
    const QString language = OvLanguageSetting::readFrom(OvLanguageSetting::filePath(dir.path()));
    QCOMPARE(language, expected == "<system>" ? QLocale::system().name() : expected);
    QCOMPARE(log.lines(),
             warning.isEmpty() ? QStringList() : QStringList{warning.replace("%1", path)});
}

QTEST_GUILESS_MAIN(TestOvStartup)
#include "tst_ovstartup.moc"
