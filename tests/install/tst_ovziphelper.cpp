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

#include <algorithm>

Q_DECLARE_METATYPE(OvTestZip::Entry)

using OvTestZip::Entry;

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

QList<QPair<tds8, tds8>> countUpTo(tds8 total)
{
    QList<QPair<tds8, tds8>> steps;
    for (tds8 i = 1; i <= total; ++i)
        steps.append({i, total});
    return steps;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = static_cast<char>(generator.bounded(256));
    return bytes;
}

Entry stored(const QString &name, const QByteArray &data)
{
    Entry e = OvTestZip::entry(name, data);
    e.method = 0;
    return e;
}

Entry rawNamed(const QByteArray &name, const QByteArray &data)
{
    Entry e;
    e.name = name;
    e.data = data;
    return e;
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

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A log line as the debug stream writes it: one blank between items, strings quoted with
// their backslashes and quotes escaped.
QString debugLine(const char *text, const QString &item)
{
    QString line;
    QDebug(&line) << text << item;
    if (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

// Why the outcome is not that of an extraction that walked all `total` entries and
// succeeded, whatever the entries held; empty when it is.
QString walkProblem(const Outcome &outcome, tds8 total)
{
    if (!outcome.returned)
        return QStringLiteral("upzip returned false:\n") + outcome.log.join(QLatin1Char('\n'));
    if (outcome.finished != QList<bool>{true})
        return QStringLiteral("finished must be reported once, as true");
    if (outcome.progress != countUpTo(total))
        return QStringLiteral("progress must count each of the %1 entries once").arg(total);
    return QString();
}

#define VERIFY_WALKED_ALL(outcome, total)                                                          \
    do {                                                                                           \
        const QString problem = walkProblem(outcome, total);                                       \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

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
    void unreadableEntries_data();
    void unreadableEntries();
    void damagedEntryKeepsWhatWasWritten();
    void hostileNames_data();
    void hostileNames();
    void linksInDestination_data();
    void linksInDestination();

private:
    QTemporaryDir box;
};

void TestOvZipHelper::extractsEntries_data()
{
    QTest::addColumn<QList<Entry>>("entries");

    QTest::newRow("one file") << QList<Entry>{OvTestZip::entry("a.txt", "alpha")};
    QTest::newRow("several files, sub-directories created") << QList<Entry>{
        OvTestZip::entry("top.txt", "top"), OvTestZip::entry("bin/plugins/deep/x.dll", "x"),
        OvTestZip::entry("bin/y.dll", "y")};
    QTest::newRow("empty file") << QList<Entry>{OvTestZip::entry("empty.dat", QByteArray())};
    QTest::newRow("deflated file over many read chunks")
        << QList<Entry>{OvTestZip::entry("big.bin", randomBytes(100000, 1)),
                        OvTestZip::entry("text.txt", QByteArray(70000, 'z'))};
    QTest::newRow("stored file over many read chunks")
        << QList<Entry>{stored("stored.bin", randomBytes(30721, 2))};
    QTest::newRow("backslash separators") << QList<Entry>{OvTestZip::entry("d\\e\\f.txt", "f")};
    QTest::newRow("UTF-8 names") << QList<Entry>{
        OvTestZip::entry(QString::fromUtf8("数据/über.txt"), "u")};
    QTest::newRow("directory entries") << QList<Entry>{
        OvTestZip::entry("dir/", QByteArray()), OvTestZip::entry("dir/inner/", QByteArray()),
        OvTestZip::entry("dir/inner/file.txt", "in")};
}

void TestOvZipHelper::extractsEntries()
{
    QFETCH(QList<Entry>, entries);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest") + QLatin1Char('/');
    QVERIFY(OvTestZip::writeEntries(zip, entries));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, entries.size());

    int directories = 0;
    for (const Entry &e : entries) {
        const QString relative = QString::fromUtf8(e.name).replace(QLatin1Char('\\'), '/');
        const QString path = QDir::cleanPath(dest + relative);
        if (relative.endsWith(QLatin1Char('/'))) {
            ++directories;
            QVERIFY2(QFileInfo(path).isDir(), qPrintable(path + " is not a directory"));
            const QString line =
                QStringLiteral("OvZipHelper::upzip() - Fail to open Writing File ") +
                quoted(path + QLatin1Char('/'));
            QVERIFY2(std::any_of(outcome.log.cbegin(), outcome.log.cend(),
                                 [&line](const QString &l) { return l.startsWith(line); }),
                     qPrintable("no open failure logged for directory " + path));
        } else {
            QVERIFY2(readFile(path) == e.data, qPrintable(path + " has the wrong content"));
        }
    }
    // Nothing but the entries (and their parent directories) is created.
    const auto tree = OvZipTestTree::snapshot(dest);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        QVERIFY2(it.value().kind != OvZipTestTree::Kind::Link, it.key().constData());
    QCOMPARE(outcome.log.filter("file had existed!!").size(), 0);
    QCOMPARE(outcome.log.filter("Fail to open Writing File").size(), directories);
}

void TestOvZipHelper::overwritesExistingFiles()
{
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest/");
    const QList<Entry> entries{OvTestZip::entry("dir/", QByteArray()),
                               OvTestZip::entry("dir/a.txt", "new a"),
                               OvTestZip::entry("b.txt", "new b")};
    QVERIFY(OvTestZip::writeEntries(zip, entries));
    QVERIFY(runUpzip(zip, dest).returned);

    // A longer local change must be cut back to the packaged content, not merely overwritten.
    QVERIFY(writeFile(dest + "dir/a.txt", "locally changed, and longer than before"));
    QVERIFY(writeFile(dest + "keep.txt", "not in the package"));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, entries.size());
    const QString root = QDir::cleanPath(QDir(dest).absolutePath());
    for (const QString &name :
         {QStringLiteral("dir/"), QStringLiteral("dir/a.txt"), QStringLiteral("b.txt")}) {
        const QString line = QStringLiteral("OvZipHelper::upzip() - file had existed!! ") +
                             quoted(root + '/' + name);
        QVERIFY2(outcome.log.contains(line), qPrintable("missing: " + line));
    }
    QCOMPARE(readFile(dest + "dir/a.txt"), QByteArray("new a"));
    QCOMPARE(readFile(dest + "b.txt"), QByteArray("new b"));
    QCOMPARE(readFile(dest + "keep.txt"), QByteArray("not in the package"));
}

void TestOvZipHelper::unwritableTarget_data()
{
    QTest::addColumn<QString>("blocker");   // created before the extraction
    QTest::addColumn<bool>("blockerIsDir"); // else a regular file
    QTest::addColumn<QString>("entry");

    // The suite runs as root, which ignores permission bits; a directory where a file should
    // go, or a file where a directory should go, blocks the write for everyone.
    QTest::newRow("directory in the file's place") << "held" << true << "held";
    QTest::newRow("file in the parent directory's place") << "plain" << false << "plain/x.txt";
}

void TestOvZipHelper::unwritableTarget()
{
    QFETCH(QString, blocker);
    QFETCH(bool, blockerIsDir);
    QFETCH(QString, entry);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest");
    QVERIFY(QDir().mkpath(dest));
    QVERIFY(blockerIsDir ? QDir(dest).mkdir(blocker) : writeFile(dest + '/' + blocker, "b"));
    QVERIFY(OvTestZip::writeEntries(
        zip, {OvTestZip::entry(entry, "blocked"), OvTestZip::entry("after.txt", "after")}));

    const Outcome outcome = runUpzip(zip, dest + '/');
    VERIFY_WALKED_ALL(outcome, 2);
    const QString prefix = QStringLiteral("OvZipHelper::upzip() - Fail to open Writing File ") +
                           quoted(dest + '/' + entry) + ' ';
    const QStringList failures = outcome.log.filter("Fail to open Writing File");
    QVERIFY2(
        failures.size() == 1 && failures.first().startsWith(prefix) &&
            failures.first().size() > prefix.size() + 2,
        qPrintable("expected one failure line with path and reason, got: " + failures.join(" | ")));
    QCOMPARE(readFile(dest + "/after.txt"), QByteArray("after"));
}

void TestOvZipHelper::recordedTimes_data()
{
    QTest::addColumn<QByteArray>("extraField");

    // Any extra field (here an unknown header id with 24 bytes) makes the recorded date the
    // file's access and modification time.
    QTest::newRow("no extra field") << QByteArray();
    QTest::newRow("with extra field") << QByteArray("\xfe\xca\x18\x00", 4) + QByteArray(24, '\x01');
}

void TestOvZipHelper::recordedTimes()
{
    QFETCH(QByteArray, extraField);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest/");
    Entry e = OvTestZip::entry("dated.txt", "new year's eve");
    e.year = 2025;
    e.month = 12;
    e.day = 31;
    e.hour = 23;
    e.minute = 59;
    e.second = 58;
    e.extraField = extraField;
    QVERIFY(OvTestZip::writeEntries(zip, {e}));

    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 1);
    const QFileInfo info(dest + "dated.txt");
    const QDateTime recorded(QDate(2025, 12, 31), QTime(23, 59, 58));
    // Linux cannot set a birth time, so the file system shows the recorded date only where
    // a settable time was set from it.
    if (extraField.isEmpty()) {
        QVERIFY2(info.lastModified() >= before,
                 qPrintable("modification time should be the write time, is " +
                            info.lastModified().toString(Qt::ISODate)));
    } else {
        QCOMPARE(info.lastModified(), recorded);
        QCOMPARE(info.lastRead(), recorded);
    }
}

void TestOvZipHelper::failsWholeArchive_data()
{
    QTest::addColumn<QByteArray>("archive"); // written as the package; "-" means no file
    QTest::addColumn<QString>("destUnder");  // the destination's parent, relative to the box
    QTest::addColumn<QString>("logLine");    // a line that must appear; empty: none at all

    QByteArray zipBytes;
    {
        QTemporaryDir tmp;
        QVERIFY(
            OvTestZip::writeEntries(tmp.filePath("z.zip"), {OvTestZip::entry("a.txt", "alpha")}));
        zipBytes = readFile(tmp.filePath("z.zip"));
    }
    // An end record with no entries: minizip refuses it right at the start when it is the
    // whole file, and finds no first entry when something precedes it.
    const QByteArray emptyEnd("PK\x05\x06" + QByteArray(18, '\0'));

    QTest::newRow("missing archive") << QByteArray("-") << ""
                                     << "";
    QTest::newRow("not a zip") << QByteArray("just some text, no zip at all\n") << ""
                               << "OvZipHelper::upzip() Fail to open unzip File";
    QTest::newRow("truncated zip") << zipBytes.left(zipBytes.size() / 2) << ""
                                   << "OvZipHelper::upzip() Fail to open unzip File";
    QTest::newRow("empty archive") << emptyEnd << ""
                                   << "OvZipHelper::upzip() Fail to open unzip File";
    QTest::newRow("empty archive behind a prefix")
        << QByteArray("SFX!") + emptyEnd << ""
        << "OvZipHelper::upzip() Fail to unzGoToFirstFile";
    QTest::newRow("destination cannot be created") << zipBytes << "a-file"
                                                   << "OvZipHelper::upzip() - Fail to mkpath()";
}

void TestOvZipHelper::failsWholeArchive()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, destUnder);
    QFETCH(QString, logLine);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    if (archive != "-")
        QVERIFY(writeFile(zip, archive));
    QString dest = tmp.filePath("dest/");
    if (!destUnder.isEmpty()) {
        QVERIFY(writeFile(tmp.filePath(destUnder), "a file where a directory should be"));
        dest = tmp.filePath(destUnder + "/dest/");
    }
    if (logLine.endsWith("mkpath()"))
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(logLine + ' ' + quoted(dest)));

    const Outcome outcome = runUpzip(zip, dest);
    QVERIFY(!outcome.returned);
    QVERIFY2(outcome.finished == QList<bool>{false}, "finished must be reported once, as false");
    QVERIFY2(outcome.progress.isEmpty(), "no entry may be reported");
    if (logLine.isEmpty())
        QVERIFY2(outcome.log.isEmpty(), qPrintable(outcome.log.join(" | ")));
    else
        QVERIFY2(!outcome.log.filter(logLine).isEmpty(), qPrintable("missing: " + logLine));
    if (archive == "-")
        QVERIFY2(!QFileInfo::exists(dest), "a missing archive must not create the destination");
}

void TestOvZipHelper::unreadableEntries_data()
{
    QTest::addColumn<Entry>("unreadable");

    Entry encrypted = OvTestZip::entry("secret.txt", "top secret content");
    encrypted.password = "pw";
    Entry bzip2 = OvTestZip::entry("sub/bz.txt", "BZh91AY&SY pretend bzip2 stream");
    bzip2.method = 12; // minizip would hand these bytes out as if they were the content
    Entry lzma = OvTestZip::entry("lz.txt", "pretend lzma stream");
    lzma.method = 14;
    QTest::newRow("encrypted") << encrypted;
    QTest::newRow("bzip2") << bzip2;
    QTest::newRow("lzma") << lzma;
}

void TestOvZipHelper::unreadableEntries()
{
    QFETCH(Entry, unreadable);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest/");
    QVERIFY(OvTestZip::writeEntries(zip, {OvTestZip::entry("before.txt", "before"), unreadable,
                                          OvTestZip::entry("after.txt", "after")}));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 3);
    QVERIFY2(outcome.log.filter("OvZipHelper::upzip() - Fail to unzOpenCurrentFile").size() == 1,
             qPrintable(outcome.log.join('\n')));
    const QString target = dest + QString::fromUtf8(unreadable.name);
    QVERIFY2(!QFileInfo::exists(target), "no file may be written for an unreadable entry");
    QCOMPARE(readFile(dest + "before.txt"), QByteArray("before"));
    QCOMPARE(readFile(dest + "after.txt"), QByteArray("after"));
}

void TestOvZipHelper::damagedEntryKeepsWhatWasWritten()
{
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString dest = tmp.filePath("dest/");
    QVERIFY(OvTestZip::writeEntries(
        zip, {stored("bad.txt", "original payload"), OvTestZip::entry("good.txt", "good")}));
    // Change one stored byte behind the checksum's back.
    QByteArray bytes = readFile(zip);
    const int at = bytes.indexOf("original payload");
    QVERIFY(at > 0);
    bytes[at] = 'O';
    QVERIFY(writeFile(zip, bytes));

    const Outcome outcome = runUpzip(zip, dest);
    VERIFY_WALKED_ALL(outcome, 2);
    QVERIFY2(
        outcome.log.contains(QStringLiteral("OvZipHelper::upzip() - Fail to unzCloseCurrentFile ") +
                             QString::number(UNZ_CRCERROR)),
        qPrintable(outcome.log.join('\n')));
    QCOMPARE(readFile(dest + "bad.txt"), QByteArray("Original payload"));
    QCOMPARE(readFile(dest + "good.txt"), QByteArray("good"));
}

void TestOvZipHelper::hostileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("expectedPath"); // relative to the destination; empty: skipped

    // Directory names of 100 bytes keep every component within what file systems allow.
    const QByteArray component(99, 'd');
    const QByteArray longName = component + '/' + component + '/' + component + "/long.txt";
    // Safe in its first 256 bytes, escaping only further on: reading the name cut at the
    // buffer's size would let it through.
    const QByteArray lateEscape =
        QByteArray("x/").repeated(130) + QByteArray("../").repeated(140) + "escaped.txt";

    QTest::newRow("parent") << QByteArray("../x") << "";
    QTest::newRow("parent in the middle") << QByteArray("a/../../x") << "";
    QTest::newRow("absolute") << QByteArray("/abs") << "";
    QTest::newRow("drive letter") << QByteArray("C:\\x") << "";
    QTest::newRow("parent with backslash") << QByteArray("..\\x") << "";
    QTest::newRow("only a dot") << QByteArray("./") << "";
    QTest::newRow("300-byte name") << longName << QString::fromLatin1(longName);
    QTest::newRow("escape after 256 bytes") << lateEscape << "";
}

void TestOvZipHelper::hostileNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, expectedPath);
    QVERIFY2(!QFileInfo::exists("/abs") && !QFileInfo::exists("/x"),
             "the machine already has /abs or /x, which this test must not touch");
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString box = tmp.filePath("box");
    const QString dest = box + "/deep/dest";
    QVERIFY(QDir().mkpath(dest));
    QVERIFY(OvTestZip::writeEntries(zip, {OvTestZip::entry("before.txt", "before"),
                                          rawNamed(name, "hostile"),
                                          OvTestZip::entry("after.txt", "after")}));

    const Outcome outcome = runUpzip(zip, dest + '/');
    VERIFY_WALKED_ALL(outcome, 3);
    QCOMPARE(readFile(dest + "/before.txt"), QByteArray("before"));
    QCOMPARE(readFile(dest + "/after.txt"), QByteArray("after"));

    const auto tree = OvZipTestTree::snapshot(box);
    QStringList expected{"deep", "deep/dest", "deep/dest/before.txt", "deep/dest/after.txt"};
    if (expectedPath.isEmpty()) {
        const QString line =
            debugLine("OvZipHelper::upzip() - Skip unsafe entry name", QString::fromLatin1(name));
        QVERIFY2(outcome.log.contains(line), qPrintable("missing: " + line));
        QVERIFY(!QFileInfo::exists("/abs") && !QFileInfo::exists("/x"));
    } else {
        QCOMPARE(readFile(dest + '/' + expectedPath), QByteArray("hostile"));
        QString path = "deep/dest";
        for (const QString &part : expectedPath.split('/'))
            expected.append(path += '/' + part);
    }
    QStringList actual;
    for (const QByteArray &key : tree.keys())
        actual.append(QString::fromLatin1(key));
    expected.sort();
    QCOMPARE(actual, expected);
}

void TestOvZipHelper::linksInDestination_data()
{
    QTest::addColumn<QString>("link");       // made inside the destination
    QTest::addColumn<QString>("linkTarget"); // relative to the box, may be missing
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("landsAt"); // relative to the box; empty: skipped

    QTest::newRow("through a link to outside") << "out"
                                               << "outside"
                                               << "out/x.txt"
                                               << "";
    QTest::newRow("new directory through a link to outside") << "out"
                                                             << "outside"
                                                             << "out/sub/x.txt"
                                                             << "";
    QTest::newRow("directory entry through a link to outside") << "out"
                                                               << "outside"
                                                               << "out/"
                                                               << "";
    QTest::newRow("link deeper down") << "a/b/out"
                                      << "outside"
                                      << "a/b/out/c/x.txt"
                                      << "";
    QTest::newRow("through a dangling link") << "gone"
                                             << "outside/missing"
                                             << "gone/x.txt"
                                             << "";
    QTest::newRow("file link to outside is replaced") << "keep.txt"
                                                      << "outside/keep.txt"
                                                      << "keep.txt"
                                                      << "dest/keep.txt";
    QTest::newRow("dangling file link is replaced") << "new.txt"
                                                    << "outside/new.txt"
                                                    << "new.txt"
                                                    << "dest/new.txt";
    QTest::newRow("link that stays inside is used") << "alias"
                                                    << "dest/real"
                                                    << "alias/x.txt"
                                                    << "dest/real/x.txt";
}

void TestOvZipHelper::linksInDestination()
{
    QFETCH(QString, link);
    QFETCH(QString, linkTarget);
    QFETCH(QString, entry);
    QFETCH(QString, landsAt);
    QTemporaryDir tmp;
    const QString zip = tmp.filePath("p.zip");
    const QString box = tmp.filePath("box");
    const QString dest = box + "/dest";
    QVERIFY(QDir().mkpath(box + "/outside"));
    QVERIFY(QDir().mkpath(dest + "/real"));
    QVERIFY(writeFile(box + "/outside/keep.txt", "outside content"));
    const QString linkPath = dest + '/' + link;
    QVERIFY(QDir().mkpath(QFileInfo(linkPath).path()));
    QVERIFY(QFile::link(box + '/' + linkTarget, linkPath));
    const auto outsideBefore = OvZipTestTree::snapshot(box + "/outside");

    QVERIFY(OvTestZip::writeEntries(zip, {OvTestZip::entry("before.txt", "before"),
                                          OvTestZip::entry(entry, QByteArray()),
                                          OvTestZip::entry("after.txt", "after")}));
    const Outcome outcome = runUpzip(zip, dest + '/');

    VERIFY_WALKED_ALL(outcome, 3);
    QCOMPARE(readFile(dest + "/before.txt"), QByteArray("before"));
    QCOMPARE(readFile(dest + "/after.txt"), QByteArray("after"));
    const auto outsideAfter = OvZipTestTree::snapshot(box + "/outside");
    QVERIFY2(outsideAfter.keys() == outsideBefore.keys() &&
                 outsideAfter.value("keep.txt").content == "outside content",
             "something outside the destination was created or changed");
    for (const QByteArray &path : OvZipTestTree::snapshot(box).keys())
        QVERIFY2(path.startsWith("dest") || path.startsWith("outside"),
                 qPrintable("unexpected " + path));
    if (landsAt.isEmpty()) {
        QVERIFY2(!outcome.log.filter("OvZipHelper::upzip() - Skip entry outside the destination")
                      .isEmpty(),
                 qPrintable(outcome.log.join('\n')));
    } else {
        const QFileInfo landed(box + '/' + landsAt);
        QVERIFY2(landed.isFile() && !landed.isSymLink(),
                 qPrintable(landsAt + " should be a regular file"));
    }
}

QTEST_GUILESS_MAIN(TestOvZipHelper)
#include "tst_ovziphelper.moc"
