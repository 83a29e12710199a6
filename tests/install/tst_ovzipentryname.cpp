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
    const auto row = [](const char *title, const QString &name, const QString &expected = {}) {
        QTest::newRow(title) << name << expected;
    };
    row("plain file", "a.txt", "a.txt");
    row("nested file", "bin/plugins/x.dll", "bin/plugins/x.dll");
    row("directory keeps its slash", "bin/", "bin/");
    row("backslash is a separator", "bin\\x.dll", "bin/x.dll");
    row("backslash directory", "d\\e\\", "d/e/");
    row("dots and doubled separators dropped", "./a//b/./c", "a/b/c");
    row("dots inside names are fine", "a..b/..c/d..", "a..b/..c/d..");
    row("non-ASCII name", QString::fromUtf8("数据/ü.txt"), QString::fromUtf8("数据/ü.txt"));
    row("NUL ends the name, as for C tools", QString::fromLatin1("te\0t", 4), "te");

    row("parent first", "../x");
    row("parent in the middle", "a/../../x");
    row("parent that stays inside is refused too", "a/../x");
    row("parent at the end", "a/..");
    row("parent with backslash", "..\\x");
    row("parent hidden by mixed separators", "..\\/hello");
    row("parent before a NUL", QString::fromLatin1("../\0x", 5));
    row("absolute", "/abs");
    row("rooted with backslash", "\\abs");
    row("UNC path", "\\\\server\\share\\x");
    row("drive with backslash", "C:\\x");
    row("drive with slash", "c:/x");
    row("drive relative", "D:x");
    row("drive after a dot", "./C:/x");
    row("empty", "");
    row("only separators", "//\\");
    row("only dots", "./.");
    row("NUL first", QString::fromLatin1("\0abc", 4));
}

void TestOvZipEntryName::safeRelativePath()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(OvZipEntryName::safeRelativePath(name), expected);
}

void TestOvZipEntryName::isWithin_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("expected");
    const auto row = [](const char *title, const QString &path, const QString &root, bool in) {
        QTest::newRow(title) << path << root << in;
    };
    row("root itself", "/dest", "/dest", true);
    row("below", "/dest/a/b", "/dest", true);
    row("sibling sharing the prefix", "/destination", "/dest", false);
    row("parent", "/", "/dest", false);
    row("elsewhere", "/tmp/x", "/dest", false);
    row("file-system root as root", "/a", "/", true);
    row("unresolvable path", "", "/dest", false);
    row("no root", "/dest", "", false);
#ifdef Q_OS_WIN
    row("case differs", "c:/Dest/a", "C:/dest", true);
#else
    row("case differs", "/Dest/a", "/dest", false);
#endif
}

void TestOvZipEntryName::isWithin()
{
    QFETCH(QString, path);
    QFETCH(QString, root);
    QFETCH(bool, expected);
    QCOMPARE(OvZipEntryName::isWithin(path, root), expected);
}

QTEST_GUILESS_MAIN(TestOvZipEntryName)
#include "tst_ovzipentryname.moc"
