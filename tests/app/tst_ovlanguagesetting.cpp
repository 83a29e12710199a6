#include "app/OvLanguageSetting.h"
#include "common/OvTestSupport.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

class TestOvLanguageSetting : public QObject
{
    Q_OBJECT

private slots:
    void filePath();
    void readFrom_data();
    void readFrom();
    void missingFileWarnsWithFullPath();
    void unreadableFileWarns();
};

void TestOvLanguageSetting::filePath()
{
    QCOMPARE(OvLanguageSetting::filePath(QStringLiteral("/opt/zenta")),
             QStringLiteral("/opt/zenta/config/sysconfig-language.xml"));
}

void TestOvLanguageSetting::readFrom_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // "<system>" stands for the system locale's name

    QTest::newRow("set explicitly")
        << QByteArray("<cfg><ctrl isset=\"1\" language=\"en_US\"/></cfg>") << "en_US";
    QTest::newRow("chinese") << QByteArray("<cfg><ctrl isset=\"1\" language=\"zh_CN\"/></cfg>")
                             << "zh_CN";
    QTest::newRow("any code taken unchanged")
        << QByteArray("<cfg><ctrl isset=\"1\" language=\"fr_FR\"/></cfg>") << "fr_FR";
    QTest::newRow("isset 0 means system")
        << QByteArray("<cfg><ctrl isset=\"0\" language=\"en_US\"/></cfg>") << "<system>";
    QTest::newRow("isset true means system")
        << QByteArray("<cfg><ctrl isset=\"true\" language=\"en_US\"/></cfg>") << "<system>";
    QTest::newRow("isset missing means system")
        << QByteArray("<cfg><ctrl language=\"en_US\"/></cfg>") << "<system>";
    QTest::newRow("isset 1 without language is empty")
        << QByteArray("<cfg><ctrl isset=\"1\"/></cfg>") << "";
    QTest::newRow("nested ctrl is not found")
        << QByteArray("<cfg><group><ctrl isset=\"1\" language=\"en_US\"/></group></cfg>") << "";
    QTest::newRow("root only") << QByteArray("<cfg/>") << "";
    QTest::newRow("first ctrl counts")
        << QByteArray("<cfg><other/><ctrl isset=\"1\" language=\"zh_CN\"/>"
                      "<ctrl isset=\"1\" language=\"en_US\"/></cfg>")
        << "zh_CN";
    QTest::newRow("prefixed names are not resolved")
        << QByteArray("<a:cfg xmlns:a=\"urn:x\"><ctrl isset=\"1\" language=\"en_US\"/></a:cfg>")
        << "en_US";
    QTest::newRow("not XML") << QByteArray("language=en_US\n") << "<system>";
    QTest::newRow("unclosed element")
        << QByteArray("<cfg><ctrl isset=\"1\" language=\"en_US\">") << "<system>";
    QTest::newRow("empty file") << QByteArray() << "<system>";
}

void TestOvLanguageSetting::readFrom()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    if (expected == QLatin1String("<system>"))
        expected = QLocale::system().name();

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), "no temporary directory");
    const QString path = dir.filePath(QStringLiteral("sysconfig-language.xml"));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    file.write(content);
    file.close();

    OvTestSupport::LogCapture log;
    QCOMPARE(OvLanguageSetting::readFrom(path), expected);
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
}

void TestOvLanguageSetting::missingFileWarnsWithFullPath()
{
    QTemporaryDir dir;
    const QString path = OvLanguageSetting::filePath(dir.path());
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("The file{ \"%1\" } doesn't exist!").arg(path)));
    QCOMPARE(OvLanguageSetting::readFrom(path), QLocale::system().name());
}

void TestOvLanguageSetting::unreadableFileWarns()
{
    // A directory where the file should be exists but cannot be read as a file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sysconfig-language.xml"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sysconfig-language.xml")));
    QTest::ignoreMessage(QtWarningMsg, "Couldn't open load file.");
    QCOMPARE(OvLanguageSetting::readFrom(path), QLocale::system().name());
}

QTEST_GUILESS_MAIN(TestOvLanguageSetting)
#include "tst_ovlanguagesetting.moc"
