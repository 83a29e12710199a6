#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "gui/app/OvCommandLine.h"
#include "gui/app/OvElevation.h"
#include "gui/app/OvLanguageSetting.h"

#include <QImage>
#include <QtTest>

// Start-up: what it reads before the window exists (command line, elevation decision, the
// suite's language file, the resources compiled into the program), then the real binary.
class TestOvStartup : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void elevation_data();
    void elevation();
    void shellResult();
    void languageFile_data();
    void languageFile();
    void resources();
    void catalogues_data();
    void catalogues();
    void realBinary_data();
    void realBinary();
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
}

void TestOvStartup::shellResult()
{
    QVERIFY2(!OvElevation::shellSucceeded(32), "the shell's result 32 is a failure");
    QVERIFY2(OvElevation::shellSucceeded(33), "the shell's result 33 is a success");
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
    row("no isset: system", R"(<c><ctrl language="fr_FR"/></c>)", "<system>");
    row("isset 1 without language", R"(<c><ctrl isset="1"/></c>)", "");
    row("nested ctrl is not found", R"(<c><g><ctrl isset="1" language="fr_FR"/></g></c>)", "");
    row("root only", "<c/>", "");
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
    QFile file(path);
    if (content == "<dir>")
        QVERIFY(QDir().mkpath(path));
    else if (!content.isNull())
        QVERIFY2(QDir().mkpath(dir.path() + "/config") && file.open(QIODevice::WriteOnly) &&
                     file.write(content) == content.size(),
                 qPrintable(path));
    file.close();

    OvTestSupport::LogCapture log;
    const QString language = OvLanguageSetting::readFrom(OvLanguageSetting::filePath(dir.path()));
    QCOMPARE(language, expected == "<system>" ? QLocale::system().name() : expected);
    QCOMPARE(log.lines(),
             warning.isEmpty() ? QStringList() : QStringList{warning.replace("%1", path)});
}

void TestOvStartup::resources()
{
    QResource style(QStringLiteral(":/qss/resource/dark.qss"));
    QCOMPARE(style.compressionAlgorithm(), QResource::ZlibCompression);
    QFile file(style.fileName());
    QVERIFY2(file.open(QIODevice::ReadOnly), "style sheet missing from the resources");
    const QByteArray data = file.readAll();
    QVERIFY2(data.count("\r\n") > 60 && data.count("\n") == data.count("\r\n"),
             "the style sheet's line ends are not all CR LF");
    int at = 0;
    for (const char *part : {"/**********Label**********/", "QPushButton:disabled",
                             "QProgressBar::chunk", "QTextBrowser", "QMessageBox QPushButton:"}) {
        at = data.indexOf(part, at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("%1 missing or out of order").arg(part)));
    }

    // The expander icons: 8-bit palette images, stored plain.
    for (const auto &[path, size] :
         {qMakePair(QStringLiteral(":/resource/fold.png"), QSize(6, 11)),
          qMakePair(QStringLiteral(":/resource/unfold.png"), QSize(11, 6))}) {
        const QImage image(path);
        QVERIFY2(image.size() == size && image.format() == QImage::Format_Indexed8,
                 qPrintable(path + " is not the icon expected"));
        QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
    }
}

void TestOvStartup::catalogues_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");

    const auto row = [](const char *context, const char *key, const char *en, const char *zh) {
        QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(context, key)))
            << QByteArray(context) << QByteArray(key) << QString::fromUtf8(en)
            << QString::fromUtf8(zh);
    };
    row("OvHttpHelper", "MsgRequestTimeout", "Software upgrade information request timed out",
        "软件升级信息请求超时");
    // The same key in two contexts has two texts.
    row("OvListItemBodyForm", "LabUpgradeAvailable", "Available", "可升级至");
    row("OvModuleUpgradeInfo", "LabUpgradeAvailable", "available", "可升级");
    row("OvZentaUpdateForm", "BtnStartUpdate", "Start Update", "开始升级");
    // Entries without text, and keys of another context, show the key.
    row("OvZentaUpdateForm", "%p%", "%p%", "%p%");
    row("OvListItemForm", "WndRegListForm", "WndRegListForm", "WndRegListForm");
    row("OvZentaUpdateForm", "BtnStartUpgrade", "BtnStartUpgrade", "BtnStartUpgrade");
}

void TestOvStartup::catalogues()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, key);
    QFETCH(QString, english);
    QFETCH(QString, chinese);

    // Loaded by the name start-up builds; a language without a catalogue shows every key.
    const QList<QPair<QString, QString>> shown{
        {"en_US", english}, {"zh_CN", chinese}, {"de_DE", key}, {"", key}};
    for (const auto &[language, expected] : shown) {
        const QString name = QStringLiteral(":/OvZentaUpdate-%1.qm").arg(language);
        QTranslator translator;
        const bool loaded = translator.load(name);
        QVERIFY2(loaded == (language == "en_US" || language == "zh_CN"),
                 qPrintable(name + (loaded ? " loads" : " does not load")));
        QCoreApplication::installTranslator(&translator);
        const QString got = QCoreApplication::translate(context.constData(), key.constData());
        QCoreApplication::removeTranslator(&translator);
        QVERIFY2(got == expected, qPrintable(name + " shows " + got + " for " + key));
    }
}

void TestOvStartup::realBinary_data()
{
    QTest::addColumn<QString>("args"); // split at blanks; URL: the local query service
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QByteArray>("body"); // what the service receives; empty: nothing

    QTest::newRow("all options")
        << "-v 1.0 -t 2 -k zenta -ct 3 -cc abc -url URL"
        << "Zenta version:  \"1.0\" \n Zenta type:  2 Zenta name:  \"zenta\" Channnel type:  3 "
           "Url:  \"URL\""
        << QByteArray(R"({"code":"abc","key":3})");
    QTest::newRow("no arguments: nothing is posted")
        << ""
        << "Zenta version:  \"\" \n Zenta type:  -1 Zenta name:  \"\" Channnel type:  -1 Url:  \"\""
        << QByteArray();
}

void TestOvStartup::realBinary()
{
    QFETCH(QString, args);
    QFETCH(QString, summary);
    QFETCH(QByteArray, body);

    OvTestServer server;
    server.server().Post("/check", [](const httplib::Request &, httplib::Response &res) {
        // Nothing newer: the updater ends without a window.
        res.set_content(R"({"status":200,"message":"ok","data":{"version":"0.1"}})",
                        "application/json");
    });
    QVERIFY(server.start());
    const QString url = server.url(QStringLiteral("/check"));
    QStringList arguments = args.replace("URL", url).split(' ', Qt::SkipEmptyParts);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QProcess updater; // killed when it goes out of scope still running
    updater.setProcessChannelMode(QProcess::MergedChannels);
    updater.start(QStringLiteral(OV_UPDATER_PATH), arguments);
    const bool ended = updater.waitForFinished(15000);
    const QString log = QString::fromUtf8(updater.readAll());
    QVERIFY2(ended && updater.exitCode() == 0, qPrintable(log));

    // No elevation off Windows: every argument is logged, no parameter line.
    arguments.prepend(QStringLiteral(OV_UPDATER_PATH));
    for (int i = 0; i < arguments.size(); ++i)
        QVERIFY2(log.contains(QStringLiteral("============  %1 \"%2\"").arg(i).arg(arguments[i])),
                 qPrintable(log));
    QVERIFY2(log.contains(summary.replace("URL", url)) && !log.contains("------"), qPrintable(log));
    QByteArray received; // every body, so that a second query shows too
    for (const OvTestServer::Request &request : server.requests())
        received += QByteArray::fromStdString(request.body);
    QCOMPARE(received, body);
}

QTEST_GUILESS_MAIN(TestOvStartup)
#include "tst_ovstartup.moc"
