#include "OvZipTestTree.h"
#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"
#include "install/OvZipHelper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <unzip.h>

using OvTestZip::Entry;
using Entries = QList<Entry>;
Q_DECLARE_METATYPE(Entry)

namespace {

// What one call of upzip reported, through every channel it has.
struct Outcome
{
    bool returned = false;
    QList<bool> finished;
    QList<QPair<tds8, tds8>> progress;
    QStringList log;
};

Outcome runUpzip(const QString &zipPath, const QString &destDir)
{
    Outcome outcome;
    OvTestSupport::LogCapture capture;
    OvZipHelper helper;
    QObject::connect(&helper, &OvZipHelper::sigUpZipProgress, [&outcome](tds8 done, tds8 total) {
        outcome.progress.append({done, total});
    });
    QObject::connect(&helper, &OvZipHelper::sigUpZipFinished,
                     [&outcome](bool isSucc) { outcome.finished.append(isSucc); });
    outcome.returned = helper.upzip(zipPath, destDir);
    outcome.log = capture.lines();
    return outcome;
}

// Why `outcome` is not that of a successful walk over `total` entries; empty when it is.
QString walkProblem(const Outcome &outcome, tds8 total)
{
    QList<QPair<tds8, tds8>> steps;
    for (tds8 i = 1; i <= total; ++i)
        steps.append({i, total});
    if (!outcome.returned || outcome.finished != QList<bool>{true})
        return "not finished once with true:\n" + outcome.log.join('\n');
    return outcome.progress == steps ? QString()
                                     : QStringLiteral("progress is not 1..%1").arg(total);
}

#define VERIFY_WALKED_ALL(outcome, total)                                                          \
    do {                                                                                           \
        const QString problem = walkProblem(outcome, total);                                       \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

Entry entry(const QByteArray &name, const QByteArray &data, int method = 8)
{
    Entry e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &c : bytes)
        c = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// A log line as the debug stream writes it: items one blank apart, strings quoted and escaped.
QString debugLine(const char *text, const QString &item)
{
    QString line;
    QDebug(&line) << text << item;
    return line.trimmed();
}

} // namespace

class TestOvZipHelper : public QObject
{
    Q_OBJECT

private slots:
    void extractsEntries_data();
    void extractsEntries();
    void overwritesExistingFiles();
    void unwritableTarget_data();
    void unwritableTarget();
    void recordedTimes_data();
    void recordedTimes();
    void failsWholeArchive_data();
    void failsWholeArchive();
    void damagedEntries_data();
    void damagedEntries();
    void staysInsideDestination_data();
    void staysInsideDestination();
};

void TestOvZipHelper::extractsEntries_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::newRow("one file") << Entries{entry("a.txt", "alpha")};
    QTest::newRow("sub-directories created")
        << Entries{entry("top.txt", "top"), entry("bin/plugins/deep/x.dll", "x"),
                   entry("bin/y.dll", QByteArray())};
    QTest::newRow("deflated over many read chunks")
        << Entries{entry("big.bin", randomBytes(100000)), entry("t.txt", QByteArray(70000, 'z'))};
    QTest::newRow("stored over many read chunks") << Entries{entry("s.bin", randomBytes(30721), 0)};
    QTest::newRow("backslash separators") << Entries{entry("d\\e\\f.txt", "f")};
    QTest::newRow("UTF-8 name") << Entries{entry("数据/über.txt", "u")};
    QTest::newRow("directory entries")
        << Entries{entry("dir/", {}), entry("dir/in/", {}), entry("dir/in/f.txt", "in")};
}

void TestOvZipHelper::extractsEntries()
{
    QFETCH(Entries, entries);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("dest/");
    QVERIFY(OvTestZip::writeEntries(zip, entries));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, entries.size());
    QStringList expectedFailures;
    for (const Entry &e : entries) {
        const QString path = dest + QString::fromUtf8(e.name).replace('\\', '/');
        if (path.endsWith('/')) {
            QVERIFY2(QFileInfo(path).isDir(), qPrintable(path + " is not a directory"));
            expectedFailures << debugLine("OvZipHelper::upzip() - Fail to open Writing File", path);
        } else {
            QVERIFY2(readFile(path) == e.data, qPrintable(path + " has the wrong content"));
        }
    }
    // Directory entries are made by the existence step; writing them as files fails, logged.
    QStringList failures = outcome.log.filter("Fail to open Writing File");
    for (QString &line : failures)
        line = line.left(line.lastIndexOf(" \"")); // drop the error text
    QCOMPARE(failures, expectedFailures);
    QVERIFY(outcome.log.filter("file had existed!!").isEmpty());
}

void TestOvZipHelper::overwritesExistingFiles()
{
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("dest/");
    QVERIFY(OvTestZip::writeEntries(zip, {entry("dir/", {}), entry("dir/a.txt", "new a")}));
    QVERIFY(runUpzip(zip, dest).returned);
    // A longer local change must be cut back to the packaged content, not merely overwritten.
    QVERIFY(writeFile(dest + "dir/a.txt", "locally changed, and longer than before"));
    QVERIFY(writeFile(dest + "keep.txt", "not in the package"));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 2);
    QCOMPARE(
        outcome.log.filter("OvZipHelper::upzip() - file had existed!!"),
        QStringList({debugLine("OvZipHelper::upzip() - file had existed!!", dest + "dir/"),
                     debugLine("OvZipHelper::upzip() - file had existed!!", dest + "dir/a.txt")}));
    QCOMPARE(readFile(dest + "dir/a.txt"), QByteArray("new a"));
    QCOMPARE(readFile(dest + "keep.txt"), QByteArray("not in the package"));
}

void TestOvZipHelper::unwritableTarget_data()
{
    // The suite runs as root, which ignores permission bits; a directory in a file's place, or
    // a file in a directory's place, blocks the write for everyone.
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("entryName");
    QTest::newRow("directory in the file's place") << "held/"
                                                   << "held";
    QTest::newRow("file in the parent's place") << "plain"
                                                << "plain/x.txt";
}

void TestOvZipHelper::unwritableTarget()
{
    QFETCH(QString, blocker);
    QFETCH(QString, entryName);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("dest/");
    QVERIFY(blocker.endsWith('/') ? QDir().mkpath(dest + blocker)
                                  : QDir().mkpath(dest) && writeFile(dest + blocker, "b"));
    QVERIFY(OvTestZip::writeEntries(
        zip, {entry(entryName.toUtf8(), "blocked"), entry("after.txt", "after")}));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 2);
    const QString prefix =
        debugLine("OvZipHelper::upzip() - Fail to open Writing File", dest + entryName) + ' ';
    const QStringList failures = outcome.log.filter("Fail to open Writing File");
    QVERIFY2(failures.size() == 1 && failures[0].startsWith(prefix) &&
                 failures[0].size() > prefix.size() + 2,
             qPrintable("want one line with path and reason, got: " + failures.join(" | ")));
    QCOMPARE(readFile(dest + "after.txt"), QByteArray("after"));
}

void TestOvZipHelper::recordedTimes_data()
{
    QTest::addColumn<QByteArray>("extraField");
    QTest::newRow("no extra field") << QByteArray();
    // Any extra field (here an unknown header id with 24 bytes of data) makes the recorded
    // date the file's access and modification time.
    QTest::newRow("extra field") << QByteArray("\xfe\xca\x18\x00", 4) + QByteArray(24, '\1');
}

void TestOvZipHelper::recordedTimes()
{
    QFETCH(QByteArray, extraField);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("dest/");
    Entry e = entry("dated.txt", "new year's eve");
    e.year = 2025, e.month = 12, e.day = 31, e.hour = 23, e.minute = 59, e.second = 58;
    e.extraField = extraField;
    QVERIFY(OvTestZip::writeEntries(zip, {e}));

    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 1);
    // Linux cannot set a birth time: the recorded date shows only in the times that an extra
    // field makes us set; otherwise writing decides them.
    const QFileInfo info(dest + "dated.txt");
    if (extraField.isEmpty()) {
        QVERIFY2(info.lastModified() >= before, qPrintable(info.lastModified().toString()));
    } else {
        QCOMPARE(info.lastModified(), QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58)));
        QCOMPARE(info.lastRead(), QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58)));
    }
}

void TestOvZipHelper::failsWholeArchive_data()
{
    QTest::addColumn<QByteArray>("archive"); // the package's bytes; "-": no file at all
    QTest::addColumn<bool>("destBlocked");   // a regular file stands where the parent should be
    QTest::addColumn<QString>("logLine");    // must appear; empty: nothing may be logged

    QByteArray zip;
    {
        QTemporaryDir tmp;
        QVERIFY(OvTestZip::writeEntries(tmp.filePath("z.zip"), {entry("a.txt", "alpha")}));
        zip = readFile(tmp.filePath("z.zip"));
    }
    // An end record without entries: minizip refuses it when it is the whole file, and finds
    // no first entry when something precedes it.
    const QByteArray emptyEnd = "PK\x05\x06" + QByteArray(18, '\0');
    const QString notOpened = "OvZipHelper::upzip() Fail to open unzip File";
    QTest::newRow("missing archive") << QByteArray("-") << false << "";
    QTest::newRow("not a zip") << QByteArray("plain text\n") << false << notOpened;
    QTest::newRow("truncated zip") << zip.left(zip.size() / 2) << false << notOpened;
    QTest::newRow("empty archive") << emptyEnd << false << notOpened;
    QTest::newRow("empty archive behind a prefix")
        << "SFX!" + emptyEnd << false << "OvZipHelper::upzip() Fail to unzGoToFirstFile";
    QTest::newRow("destination cannot be created")
        << zip << true << "OvZipHelper::upzip() - Fail to mkpath()";
}

void TestOvZipHelper::failsWholeArchive()
{
    QFETCH(QByteArray, archive);
    QFETCH(bool, destBlocked);
    QFETCH(QString, logLine);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("parent/dest/");
    QVERIFY(archive == "-" || writeFile(zip, archive));
    QVERIFY(!destBlocked || writeFile(tmp.filePath("parent"), "a file"));
    if (destBlocked)
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(debugLine(qPrintable(logLine), dest)));

    const Outcome outcome = runUpzip(zip, dest);
    QVERIFY(!outcome.returned);
    QVERIFY2(outcome.finished == QList<bool>{false}, "finished must come once, as false");
    QVERIFY2(outcome.progress.isEmpty(), "no entry may be reported");
    QVERIFY2(logLine.isEmpty() ? outcome.log.isEmpty() : !outcome.log.filter(logLine).isEmpty(),
             qPrintable(outcome.log.join(" | ")));
    QVERIFY2(destBlocked || archive != "-" || !QFileInfo::exists(tmp.filePath("parent")),
             "a missing archive must not create the destination");
}

void TestOvZipHelper::damagedEntries_data()
{
    QTest::addColumn<Entry>("damaged");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QByteArray>("leftBehind"); // "-": no file may be written

    // minizip opens a traditionally encrypted entry without a password and hands out garbage.
    Entry encrypted = entry("secret.txt", "top secret");
    encrypted.password = "pw";
    QTest::newRow("encrypted") << encrypted
                               << "OvZipHelper::upzip() - Fail to unzOpenCurrentFile -103"
                               << QByteArray("-");
    // A stored byte changed behind the checksum's back: the close reports it, the file stays.
    QTest::newRow("bad checksum") << entry("bad.txt", "original payload", 0)
                                  << "OvZipHelper::upzip() - Fail to unzCloseCurrentFile " +
                                         QString::number(UNZ_CRCERROR)
                                  << QByteArray("Original payload");
}

void TestOvZipHelper::damagedEntries()
{
    QFETCH(Entry, damaged);
    QFETCH(QString, logLine);
    QFETCH(QByteArray, leftBehind);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), dest = tmp.filePath("dest/");
    QVERIFY(OvTestZip::writeEntries(zip, {damaged, entry("after.txt", "after")}));
    QByteArray bytes = readFile(zip);
    const int at = bytes.indexOf("original payload");
    if (at > 0)
        bytes[at] = 'O';
    QVERIFY(writeFile(zip, bytes));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 2);
    QVERIFY2(outcome.log.contains(logLine), qPrintable(outcome.log.join('\n')));
    const QString target = dest + QString::fromUtf8(damaged.name);
    QVERIFY2(leftBehind == "-" ? !QFileInfo::exists(target) : readFile(target) == leftBehind,
             qPrintable(target));
    QCOMPARE(readFile(dest + "after.txt"), QByteArray("after"));
}

void TestOvZipHelper::staysInsideDestination_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("link");       // made in the destination first, if not empty
    QTest::addColumn<QString>("linkTarget"); // relative to the box
    QTest::addColumn<QString>("landsAt");    // relative to the box; empty: skipped
    const auto row = [](const char *title, const QByteArray &name, const QString &landsAt,
                        const QString &link = {}, const QString &target = {}) {
        QTest::newRow(title) << name << link << target << landsAt;
    };
    // 99-byte components keep a name over 256 bytes within what file systems allow.
    const QByteArray part(99, 'd');
    const QByteArray longName = part + '/' + part + '/' + part + "/long.txt";
    row("parent", "../x", "");
    row("parent in the middle", "a/../../x", "");
    row("absolute", "/abs", "");
    row("drive letter", "C:\\x", "");
    row("parent with backslash", "..\\x", "");
    row("nothing left of the name", "./", "");
    row("300-byte name", longName, "dest/" + longName);
    // Safe in its first 256 bytes, escaping further on: reading a cut name would let it in.
    row("escape after 256 bytes", "x/" + QByteArray("../").repeated(140) + "esc.txt", "");
    row("through a link to outside", "out/x.txt", "", "out", "outside");
    row("new directory through a link", "out/sub/x.txt", "", "out", "outside");
    row("directory entry through a link", "out/", "", "out", "outside");
    row("link deeper down", "a/b/out/c/x.txt", "", "a/b/out", "outside");
    row("through a dangling link", "gone/x.txt", "", "gone", "outside/missing");
    row("file link is replaced", "keep.txt", "dest/keep.txt", "keep.txt", "outside/keep.txt");
    row("dangling file link is replaced", "new.txt", "dest/new.txt", "new.txt", "outside/new");
    row("link that stays inside is used", "alias/x.txt", "dest/real/x.txt", "alias", "dest/real");
}

void TestOvZipHelper::staysInsideDestination()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, link);
    QFETCH(QString, linkTarget);
    QFETCH(QString, landsAt);
    QVERIFY2(!QFileInfo::exists("/abs") && !QFileInfo::exists("/x"),
             "this machine has /abs or /x already, which the test must not touch");
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip"), box = tmp.filePath("box"), dest = box + "/dest";
    QVERIFY(QDir().mkpath(box + "/outside") && QDir().mkpath(dest + "/real"));
    QVERIFY(writeFile(box + "/outside/keep.txt", "outside content"));
    if (!link.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(dest + '/' + link).path()));
        QVERIFY(QFile::link(box + '/' + linkTarget, dest + '/' + link));
    }
    const auto before = OvZipTestTree::snapshot(box);
    QVERIFY(OvTestZip::writeEntries(
        zip, {entry("before.txt", "before"), entry(name, "hostile"), entry("after.txt", "after")}));

    const Outcome outcome = runUpzip(zip, dest + '/');
    VERIFY_WALKED_ALL(outcome, 3);
    auto after = OvZipTestTree::snapshot(box);
    QCOMPARE(after.take("dest/before.txt").content, QByteArray("before"));
    QCOMPARE(after.take("dest/after.txt").content, QByteArray("after"));
    if (landsAt.isEmpty()) {
        const QStringList skips = outcome.log.filter("OvZipHelper::upzip() - Skip ");
        QVERIFY2(skips.size() == 1 && skips[0].endsWith(debugLine("", QString::fromUtf8(name))),
                 qPrintable("want one skip line naming the entry, got: " + skips.join(" | ")));
    } else {
        const OvZipTestTree::Node landed = after.take(landsAt.toUtf8());
        QVERIFY2(landed.kind == OvZipTestTree::Kind::File && landed.content == "hostile",
                 qPrintable(landsAt + " should be a regular file holding the entry"));
        for (QByteArray dir = landsAt.toUtf8(); dir.contains('/');)
            if (!before.contains(dir = dir.left(dir.lastIndexOf('/'))))
                after.remove(dir); // made on the way there
    }
    // Apart from that the box is as it was: nothing created, changed or removed elsewhere.
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key() == landsAt.toUtf8())
            continue; // the link in the entry's place, replaced above
        const OvZipTestTree::Node now = after.take(it.key());
        QVERIFY2(now.kind == it.value().kind && now.content == it.value().content,
                 qPrintable("changed: " + it.key()));
    }
    QVERIFY2(after.isEmpty(), qPrintable("unexpected: " + after.keys().join(", ")));
}

QTEST_GUILESS_MAIN(TestOvZipHelper)
#include "tst_ovziphelper.moc"
