#include "install/OvZipEntryName.h"

#include <QtTest>

class TestOvZipEntryName : public QObject
{
    Q_OBJECT

private slots:
    void safeRelativePath_data();
    void safeRelativePath();
    void isWithin_data();
    void isWithin();
};

void TestOvZipEntryName::safeRelativePath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // empty: the entry is skipped

    QTest::newRow("plain file") << "a.txt"
                                << "a.txt";
    QTest::newRow("nested file") << "bin/plugins/x.dll"
                                 << "bin/plugins/x.dll";
    QTest::newRow("directory keeps its slash") << "bin/"
                                               << "bin/";
    QTest::newRow("backslash is a separator") << "bin\\x.dll"
                                              << "bin/x.dll";
    QTest::newRow("backslash directory") << "d\\e\\"
                                         << "d/e/";
    QTest::newRow("dot and doubled separators dropped") << "./a//b/./c"
                                                        << "a/b/c";
    QTest::newRow("dots inside a name are fine") << "a..b/..c/d.."
                                                 << "a..b/..c/d..";
    QTest::newRow("non-ASCII name")
        << QString::fromUtf8("数据/ü.txt") << QString::fromUtf8("数据/ü.txt");
    QTest::newRow("NUL ends the name as C tools read it")
        << QString::fromLatin1("te\0t", 4) << "te";

    QTest::newRow("parent first") << "../x"
                                  << "";
    QTest::newRow("parent in the middle") << "a/../../x"
                                          << "";
    QTest::newRow("parent that stays inside is refused too") << "a/../x"
                                                             << "";
    QTest::newRow("parent at the end") << "a/.."
                                       << "";
    QTest::newRow("parent with backslash") << "..\\x"
                                           << "";
    QTest::newRow("parent hidden by mixed separators") << "..\\/hello"
                                                       << "";
    QTest::newRow("parent after NUL cut") << QString::fromLatin1("../\0x", 5) << "";
    QTest::newRow("absolute") << "/abs"
                              << "";
    QTest::newRow("rooted with backslash") << "\\abs"
                                           << "";
    QTest::newRow("UNC path") << "\\\\server\\share\\x"
                              << "";
    QTest::newRow("drive with backslash") << "C:\\x"
                                          << "";
    QTest::newRow("drive with slash") << "c:/x"
                                      << "";
    QTest::newRow("drive relative") << "D:x"
                                    << "";
    QTest::newRow("drive after a dot") << "./C:/x"
                                       << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("only separators") << "//\\"
                                     << "";
    QTest::newRow("only dots") << "./."
                               << "";
    QTest::newRow("NUL first") << QString::fromLatin1("\0abc", 4) << "";
}

void TestOvZipEntryName::safeRelativePath()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const QString actual = OvZipEntryName::safeRelativePath(name);
    QVERIFY2(actual == expected,
             qPrintable(QStringLiteral("name \"%1\" gave \"%2\", expected \"%3\"")
                            .arg(name, actual, expected)));
}

void TestOvZipEntryName::isWithin_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("expected");

    QTest::newRow("root itself") << "/dest"
                                 << "/dest" << true;
    QTest::newRow("below") << "/dest/a/b"
                           << "/dest" << true;
    QTest::newRow("sibling sharing the prefix") << "/destination"
                                                << "/dest" << false;
    QTest::newRow("parent") << "/"
                            << "/dest" << false;
    QTest::newRow("elsewhere") << "/tmp/x"
                               << "/dest" << false;
    QTest::newRow("file-system root as root") << "/a"
                                              << "/" << true;
    QTest::newRow("unresolvable path") << ""
                                       << "/dest" << false;
    QTest::newRow("no root") << "/dest"
                             << "" << false;
#ifdef Q_OS_WIN
    QTest::newRow("case differs") << "c:/Dest/a"
                                  << "C:/dest" << true;
#else
    QTest::newRow("case differs") << "/Dest/a"
                                  << "/dest" << false;
#endif
}

void TestOvZipEntryName::isWithin()
{
    QFETCH(QString, path);
    QFETCH(QString, root);
    QFETCH(bool, expected);
    QVERIFY2(OvZipEntryName::isWithin(path, root) == expected,
             qPrintable(QStringLiteral("\"%1\" within \"%2\" should be %3")
                            .arg(path, root, expected ? "true" : "false")));
}

QTEST_GUILESS_MAIN(TestOvZipEntryName)
#include "tst_ovzipentryname.moc"
