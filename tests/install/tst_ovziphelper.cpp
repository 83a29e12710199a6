#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"
#include "core/install/OvZipEntryMode.h"
#include "core/install/OvZipEntryName.h"
#include "core/install/OvZipHelper.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unzip.h>

#include <csignal>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

using OvTestZip::Entry;
using Entries = QList<Entry>;
Q_DECLARE_METATYPE(Entry)

namespace {

// What one call of upzip reported: its log, and its signals and return value in order ("1/3"
// for progress, "true" for finished, "returned true").
struct Outcome
{
    QStringList log, emitted;
};

Outcome runUpzip(const QString &zipPath, const QString &destDir)
{
    Outcome out;
    OvTestSupport::LogCapture capture;
    OvZipHelper helper;
    QObject::connect(&helper, &OvZipHelper::sigUpZipProgress, [&out](tds8 done, tds8 total) {
        out.emitted << QString("%1/%2").arg(done).arg(total);
    });
    QObject::connect(&helper, &OvZipHelper::sigUpZipFinished,
                     [&out](bool isSucc) { out.emitted << (isSucc ? "true" : "false"); });
    out.emitted << (helper.upzip(zipPath, destDir) ? "returned true" : "returned false");
    out.log = capture.lines();
    return out;
}

// A walk over all `total` entries that ends with `result`; a refused archive reports no entry.
QStringList walk(int total, bool result)
{
    QStringList steps;
    for (int i = 1; result && i <= total; ++i)
        steps << QString("%1/%2").arg(i).arg(total);
    return steps << (result ? "true" : "false") << (result ? "returned true" : "returned false");
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

QByteArray randomBytes(int size)
{
    QVector<quint32> words(size / 4 + 1);
    QRandomGenerator(size).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

QString describe(const QByteArray &content)
{
    return content.size() <= 40
               ? QString::fromUtf8(content)
               : QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
}

// A string item as the debug stream writes it: quoted, with backslashes and quotes escaped.
QString quoted(const QString &item)
{
    QString text;
    QDebug(&text) << item;
    return text.trimmed();
}

// The leaves below `dir` by relative path: "=content" for a file, "->text" for a link (never
// followed), "/" for an empty directory. With `times`, a file's times show where they are not
// the time of writing (taken before reading changes them).
QMap<QString, QString> leavesOf(const QString &dir, bool times = false)
{
    QMap<QString, QString> leaves;
    const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    for (QDirIterator it(dir, all, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo info(it.next());
        const QString path = info.filePath().mid(dir.size() + 1);
        char text[4096];
        if (info.isSymLink()) {
            const auto n = ::readlink(QFile::encodeName(info.filePath()).constData(), text, 4096);
            leaves[path] = "->" + describe(QByteArray(text, qMax(0, static_cast<int>(n))));
        } else if (!info.isDir() || QDir(info.filePath()).isEmpty(all))
            leaves[path] = info.isDir() ? "/" : '=' + describe(readFile(info.filePath()));
        if (times && qAbs(info.lastModified().secsTo(QDateTime::currentDateTime())) > 3600)
            leaves[path] += " @" + info.lastModified().toString(Qt::ISODate) + " read " +
                            info.lastRead().toString(Qt::ISODate);
    }
    return leaves;
}

// The same as sorted lines ("a/b=content", "l->text", "empty/"), the package left out.
QStringList treeOf(const QString &dir)
{
    QStringList lines;
    const auto leaves = leavesOf(dir, true);
    for (auto it = leaves.cbegin(); it != leaves.cend(); ++it)
        if (it.key() != "p.zip")
            lines << it.key() + it.value();
    lines.sort();
    return lines;
}

// The entries' names in the order of the walk.
QByteArrayList entryNames(const QString &path)
{
    QByteArrayList names;
    static char name[65536]; // names are at most 65535 bytes long
    unz_file_info64 info;
    unzFile zf = unzOpen64(QFile::encodeName(path).constData());
    for (int ret = zf ? unzGoToFirstFile(zf) : UNZ_BADZIPFILE; ret == UNZ_OK;
         ret = unzGoToNextFile(zf)) {
        const int got = unzGetCurrentFileInfo64(zf, &info, name, sizeof name, nullptr, 0, 0, 0);
        names << QByteArray(name, got == UNZ_OK ? static_cast<int>(info.size_filename) : 0);
    }
    unzClose(zf);
    return names;
}

// Owner, group and other rights as an octal mode, 0 for none.
int octal(QFileDevice::Permissions rights)
{
    int mode = 0;
    const QFileDevice::Permission bits[] = {
        QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
        QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
        QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
    for (const QFileDevice::Permission bit : bits)
        mode = mode << 1 | (rights.testFlag(bit) ? 1 : 0);
    return mode;
}

} // namespace

class TestOvZipHelper : public QObject
{
    Q_OBJECT

private slots:
    void safeRelativePath_data();
    void safeRelativePath();
    void extracts_data();
    void extracts();
    void keepsWritingAfterShortWrite();
    void accessRights_data();
    void accessRights();
    void extractedRights();
    void matchesInfoZip_data();
    void matchesInfoZip();
    void readOnlyDestination();
    void manyEmptyEntries();

private:
    QString unzip = QStandardPaths::findExecutable("unzip");
    QTemporaryDir fuzzInputs;
};

void TestOvZipHelper::safeRelativePath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // empty: the entry is skipped
    const auto row = [](const char *title, const QString &name, const QString &expected = {}) {
        QTest::newRow(title) << name << expected;
    };
    row("directory keeps its slash", "d\\e\\", "d/e/");
    row("dots and doubled separators dropped", "./a//b/./c", "a/b/c");
    row("dots inside names are fine", "a..b/..c/d..", "a..b/..c/d..");
    row("NUL ends the name, as for C tools", QString::fromLatin1("te\0t", 4), "te");
    row("parent that stays inside is refused too", "a/../x");
    row("drive after a dot", "./C:/x");
    row("nothing left", "./.");
}

void TestOvZipHelper::safeRelativePath()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(OvZipEntryName::safeRelativePath(name), expected);
}

void TestOvZipHelper::extracts_data()
{
    // The box before, as treeOf() lines; the entries ("after.txt" follows when all goes well),
    // or the package's bytes ("-": none); the result; the log lines but the routine ones (the
    // box as "", a failed open's error text as "*"); the box after, after.txt aside.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("logLines");
    QTest::addColumn<QStringList>("after");
    const auto row = [](const char *title, const QStringList &before, const Entries &entries,
                        const QStringList &logLines, const QStringList &after,
                        const QByteArray &archive = {}, bool result = true) {
        QTest::newRow(title) << before << entries << archive << result << logLines << after;
    };
    const auto zipped = [](const Entries &entries) {
        QTemporaryDir tmp;
        OvTestZip::writeEntries(tmp.filePath("z"), entries + Entries{{"after.txt", "after"}});
        return readFile(tmp.filePath("z"));
    };
    const QString existed = "OvZipHelper::upzip() - file had existed!! \"dest/%1\"";
    const QString notOpened = "OvZipHelper::upzip() - Fail to open Writing File \"dest/%1\" *";
    const QString unopened = "OvZipHelper::upzip() - Fail to unzOpenCurrentFile -103";
    const QString unsafe = "OvZipHelper::upzip() - Skip unsafe entry name ";
    const QByteArray big = randomBytes(700001), full = randomBytes(327680);

    // Around the staging buffer's size: several full buffers, one filled to the last byte;
    // and a name over 256 bytes, of 99-byte components that file systems allow.
    const QByteArray part(99, 'd'), longName = part + '/' + part + '/' + part + "/long";
    const Entries files{
        {"top", "top"}, {"bin/plugins/x.dll", "x"}, {"bin/y", ""},     {"数据/über", "u"},
        {"big", big},   {"full", full, 0},          {longName, "long"}};
    QStringList landed;
    for (const Entry &e : files)
        landed << "dest/" + e.name + '=' + describe(e.data);
    row("files in new sub-directories", {}, files, {}, landed);
    // The existence step makes a directory entry; opening it as a file then fails.
    row("directory entries", {}, {{"dir/", ""}, {"dir/in/", ""}, {"dir/in/f", "in"}},
        {notOpened.arg("dir/"), notOpened.arg("dir/in/")}, {"dest/dir/in/f=in"});
    row("overwrite, cutting a longer local change", {"dest/dir/a=local", "dest/keep=old"},
        {{"dir/", ""}, {"dir/a", "new"}},
        {existed.arg("dir/"), notOpened.arg("dir/"), existed.arg("dir/a")},
        {"dest/dir/a=new", "dest/keep=old"});
    // As root, permission bits block nothing; a directory in a file's place, or the reverse, do.
    row("unwritable targets", {"dest/held/", "dest/plain=old"}, {{"held", "x"}, {"plain/x", "x"}},
        {existed.arg("held"), notOpened.arg("held"), notOpened.arg("plain/x")},
        {"dest/held/", "dest/plain=old"});
    // minizip hands out an encrypted entry (no password) and a bzip2 one as their raw bytes.
    Entry encrypted("secret", "top secret");
    encrypted.password = "pw";
    row("encrypted", {}, {encrypted}, {unopened}, {});
    QByteArray bzip2 = zipped({{"b.bz2", "raw", 0}});
    bzip2[bzip2.indexOf("PK\x03\x04") + 8] = bzip2[bzip2.indexOf("PK\x01\x02") + 10] = 12;
    row("unsupported method", {}, {{"b.bz2", "raw", 0}}, {unopened}, {}, bzip2);
    QByteArray damaged = zipped({{"bad", "original", 0}});
    damaged[damaged.indexOf("original")] = 'O'; // behind the checksum's back
    row("bad checksum: the close says so, the file stays", {}, {{"bad", "original", 0}},
        {"OvZipHelper::upzip() - Fail to unzCloseCurrentFile -105"}, {"dest/bad=Original"},
        damaged);
    // Linux cannot set a birth time: the recorded date shows only in the times that an extra
    // field (here an unknown header id with 24 bytes of data) makes us set.
    Entry plain("plain", "eve");
    plain.year = 2025, plain.month = 12, plain.day = 31, plain.hour = 23, plain.minute = 59;
    plain.second = 58;
    Entry extra = plain;
    extra.name = "extra";
    extra.extraField = QByteArray("\xfe\xca\x18\x00", 4) + QByteArray(24, '\1');
    row("recorded times", {}, {plain, extra}, {},
        {"dest/plain=eve", "dest/extra=eve @2025-12-31T23:59:58 read 2025-12-31T23:59:58"});

    // Unsafe names; the last is safe in its first 256 bytes and escapes later.
    for (const QByteArray &name : QByteArrayList{"../x", "a/../../x", "/abs", "C:\\x", "..\\x",
                                                 "x/..", "x/" + QByteArray("../").repeated(140)})
        row(name.left(20).constData(), {}, {{name, "bad"}},
            {unsafe + quoted(QString::fromUtf8(name))}, {});
    // Links to outside, dangling, or to a sibling whose name starts like the destination's:
    // nothing is made or written through them.
    const QStringList links{
        "outside/keep=kept", "dest/o->../outside",  "destx/", "dest/a/b/o->../../../outside",
        "dest/s->../destx",  "dest/g->../outside/g"};
    Entries through;
    QStringList skipped;
    for (const QString name : {"o/x", "o/sub/x", "a/b/o/c/x", "s/x", "g/x"}) {
        through << Entry(name.toUtf8(), "bad");
        skipped << "OvZipHelper::upzip() - Skip entry outside the destination " + quoted(name);
    }
    row("links out of the destination", links, through, skipped, links);
    row("file links, even dangling, replaced",
        {"outside/keep=kept", "dest/keep->../outside/keep", "dest/new->../outside/new"},
        {{"keep", "new"}, {"new", "new"}}, {existed.arg("keep"), existed.arg("new")},
        {"outside/keep=kept", "dest/keep=new", "dest/new=new"});
    row("link that stays inside is used", {"dest/real/", "dest/alias->real"}, {{"alias/x", "in"}},
        {}, {"dest/alias->real", "dest/real/x=in"});

    // An end record without entries, behind something: minizip finds no first entry.
    const QByteArray emptyEnd = "PK\x05\x06" + QByteArray(18, '\0');
    row("missing archive: nothing created", {}, {}, {}, {}, "-", false);
    row("not a zip", {}, {}, {"OvZipHelper::upzip() Fail to open unzip File \"p.zip\""}, {"dest/"},
        "plain text\n", false);
    row("empty archive", {}, {}, {"OvZipHelper::upzip() Fail to unzGoToFirstFile -103"}, {"dest/"},
        "SFX!" + emptyEnd, false);
    row("destination cannot be created", {"dest=a file"}, {{"a.txt", "a"}},
        {"OvZipHelper::upzip() - Fail to mkpath() \"dest/\""}, {"dest=a file"}, {}, false);

    // Hostile packages (100,000 entries: manyEmptyEntries).
    // A name of the most bytes a header holds: the system refuses it, the walk goes on.
    const QByteArray longest(65535, 'n');
    row("entry name of 65,535 bytes", {}, {{longest, "x"}}, {notOpened.arg(QString(longest))}, {});
    // A central directory that lies about where an entry starts and how long it is.
    const QByteArray honest = zipped({{"lied", "0123456789", 0}});
    const int central = honest.indexOf("PK\x01\x02");
    QByteArray past = honest, longer = honest, shorter = honest;
    past.replace(central + 42, 4, "\xf0\xff\xff\x7f");
    longer.replace(central + 20, 8, "\xff\xff\xff\x7f\xff\xff\xff\x7f");
    shorter.replace(central + 20, 8, QByteArray("\x04\0\0\0\x04\0\0\0", 8));
    row("central directory: offset past the end", {}, {{"lied", ""}}, {unopened}, {}, past);
    row("central directory: sizes past the end", {}, {{"lied", ""}}, {unopened}, {}, longer);
    row("central directory: sizes too short", {}, {{"lied", ""}}, {unopened}, {}, shorter);
    // Told alike in both headers, a short size cuts the file, and its checksum then fails.
    shorter.replace(honest.indexOf("PK\x03\x04") + 18, 8, shorter.mid(central + 20, 8));
    row("both headers: sizes too short", {}, {{"lied", ""}},
        {"OvZipHelper::upzip() - Fail to unzCloseCurrentFile -105"}, {"dest/lied=0123"}, shorter);
    // An entry count that the file could not hold (found by fuzzing as a 64-bit count < 0).
    QByteArray counted = honest;
    counted.replace(counted.indexOf("PK\x05\x06") + 8, 4, "\xfe\xff\xfe\xff");
    row("entry count beyond the file", {}, {},
        {"OvZipHelper::upzip() Fail to get global info: more "
         "entries recorded than \"p.zip\" can hold"},
        {"dest/"}, counted, false);
}

void TestOvZipHelper::extracts()
{
    QFETCH(QStringList, before);
    QFETCH(Entries, entries);
    QFETCH(QByteArray, archive);
    QFETCH(bool, result);
    QFETCH(QStringList, logLines);
    QFETCH(QStringList, after);
    QTemporaryDir tmp;
    const QString box = tmp.path(), zip = box + "/p.zip";
    for (const QString &line : before) {
        const QString path = box + '/' + line.section(QRegularExpression("->|="), 0, 0);
        QVERIFY(QDir().mkpath(line.endsWith('/') ? path : QFileInfo(path).path()));
        QVERIFY(!line.contains('=') || writeFile(path, line.section('=', 1).toUtf8()));
        QVERIFY(!line.contains("->") || QFile::link(line.section("->", 1), path));
    }
    if (result)
        entries << Entry("after.txt", "after");
    QVERIFY(archive.isEmpty() ? OvTestZip::writeEntries(zip, entries)
                              : archive == "-" || writeFile(zip, archive));
    for (QString line : logLines.filter("mkpath"))
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(line.replace("\"dest", '"' + box + "/dest")));

    const Outcome out = runUpzip(zip, box + "/dest/");
    QCOMPARE(out.emitted, walk(entries.size(), result));
    QStringList notable =
        out.log.filter(QRegularExpression("^(?!.*(currentIndex|Success to get))"));
    notable.replaceInStrings(box + '/', "")
        .replaceInStrings(QRegularExpression("(Writing File \"[^\"]*\") \".+\"$"),
                          "\\1 *"); // the C library's words
    QCOMPARE(notable, logLines);

    if (result)
        after << "dest/after.txt=after";
    after.sort();
    QCOMPARE(treeOf(box), after);
}

void TestOvZipHelper::keepsWritingAfterShortWrite()
{
    // A file-size limit cuts writes short at 100000 bytes. Each write from there on is logged
    // with what it wrote and should have written, the entry is copied to its end, the next
    // one is written: the logged sizes plus the silent full writes before the cut (100000
    // minus the first short write's count) make the whole entry.
    QTemporaryDir tmp;
    const QByteArray data = randomBytes(400000);
    QVERIFY(OvTestZip::writeEntries(tmp.filePath("p.zip"), {{"big", data}, {"after", "after"}}));
    rlimit old;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const rlimit cut{100000, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &cut) == 0);
    const Outcome out = runUpzip(tmp.filePath("p.zip"), tmp.filePath("dest/"));
    ::setrlimit(RLIMIT_FSIZE, &old);

    QCOMPARE(out.emitted, walk(2, true));
    qint64 wanted = 0, first = -2;
    for (const QString &line :
         out.log.filter("OvZipHelper::upzip() - Write data has some wrong!!")) {
        const qint64 written = line.section(' ', 7, 7).toLongLong();
        QVERIFY2(written < line.section(' ', 8).toLongLong() && (first == -2 || written == -1),
                 qPrintable(line));
        first = first == -2 ? qMax(0LL, written) : first;
        wanted += line.section(' ', 8).toLongLong();
    }
    QVERIFY2(first >= 0 && wanted + 100000 - first == 400000, "short writes not logged as such");
    QVERIFY2(readFile(tmp.filePath("dest/big")) == data.left(100000), "the written part is lost");
    QCOMPARE(readFile(tmp.filePath("dest/after")), QByteArray("after"));
}

void TestOvZipHelper::accessRights_data()
{
    QTest::addColumn<quint32>("madeBy");
    QTest::addColumn<quint32>("mode"); // the st_mode recorded in the external attributes
    QTest::addColumn<int>("expected"); // 0: the file keeps what writing gave it

    const quint32 onUnix = 3 << 8 | 20;
    QTest::newRow("program made on Unix") << onUnix << 0100755u << 0755;
    QTest::newRow("no file type recorded") << onUnix << 0644u << 0644;
    QTest::newRow("made on macOS") << quint32(19 << 8) << 0100750u << 0750;
    QTest::newRow("never writable by group or others") << onUnix << 0100777u << 0755;
    QTest::newRow("read-only stays replaceable") << onUnix << 0100444u << 0644;
    QTest::newRow("no set-id or sticky bits") << onUnix << 0107755u << 0755;
    QTest::newRow("MS-DOS attributes") << quint32(20) << 0100755u << 0;
    QTest::newRow("a link") << onUnix << 0120777u << 0;
    QTest::newRow("a directory") << onUnix << 040755u << 0;
    QTest::newRow("unreadable for its owner") << onUnix << 0100311u << 0;
}

void TestOvZipHelper::accessRights()
{
    QFETCH(quint32, madeBy);
    QFETCH(quint32, mode);
    QTEST(octal(OvZipEntryMode::permissions(madeBy, mode << 16)), "expected");
}

// A new program runs, an existing file takes the package's rights, a read-only entry stays
// replaceable, an entry made on Windows gets what any new file gets.
void TestOvZipHelper::extractedRights()
{
    QTemporaryDir tmp;
    const QString dest = tmp.filePath("dest/");
    QVERIFY(QDir().mkpath(dest));
    QFile old(dest + "old");
    QVERIFY(old.open(QIODevice::WriteOnly) &&
            old.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    old.close();
    Entry program("bin/run", "#!/bin/sh\necho ran\n"), again("old", "new"), locked("ro", "r");
    program.unixMode = again.unixMode = 0100755;
    locked.unixMode = 0100444;
    QVERIFY(OvTestZip::writeEntries(tmp.filePath("p.zip"),
                                    {program, again, locked, Entry("win", "w")}));
    QCOMPARE(runUpzip(tmp.filePath("p.zip"), dest).emitted, walk(4, true));

    QFile fresh(tmp.filePath("fresh"));
    QVERIFY(fresh.open(QIODevice::WriteOnly));
    const QStringList got{QString::number(octal(QFileInfo(dest + "bin/run").permissions()), 8),
                          QString::number(octal(QFileInfo(dest + "old").permissions()), 8),
                          QString::number(octal(QFileInfo(dest + "ro").permissions()), 8),
                          QString::number(octal(QFileInfo(dest + "win").permissions()), 8)};
    QCOMPARE(got, (QStringList{"755", "755", "644",
                               QString::number(octal(QFileInfo(fresh).permissions()), 8)}));
    QProcess run;
    run.start(dest + "bin/run", QStringList());
    QVERIFY2(run.waitForFinished(5000) && run.readAll() == "ran\n", "the new program did not run");
}

void TestOvZipHelper::matchesInfoZip_data()
{
    QTest::addColumn<QString>("archive");
    const QString zipDir = OvTestSupport::corporaDir() + "/zip";
    if (OvTestSupport::corporaDir().isEmpty() || unzip.isEmpty()) {
        QTest::newRow("corpus or unzip missing") << QString();
        return;
    }
    // Each entry of this clean container is one fuzzer input, an archive of its own.
    const QString fuzz = zipDir + "/klauspost-fuzz/FuzzReader-raw.zip";
    QVERIFY2(QProcess::execute(unzip, {"-qo", fuzz, "-d", fuzzInputs.path()}) == 0,
             "unzip could not unpack the fuzz container");
    for (const QString &dir : {zipDir, fuzzInputs.path()}) {
        for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            QTest::newRow(qPrintable(path.mid(dir.size() + 1))) << path;
        }
    }
}

void TestOvZipHelper::matchesInfoZip()
{
    QFETCH(QString, archive);
    if (archive.isEmpty())
        QSKIP("the zip corpus (../shared/corpora/zip) or Info-ZIP unzip is not available");
    QTemporaryDir tmp;
    const QString box = tmp.filePath("box"), ref = tmp.filePath("ref");
    QVERIFY(QDir().mkpath(box));
    const Outcome out = runUpzip(archive, box + "/dest/");
    const bool returned = out.emitted.last() == "returned true";
    QCOMPARE(out.emitted.filter(QRegularExpression("^(true|false)$")),
             QStringList(returned ? "true" : "false")); // finished once, as returned
    for (const QString &line : treeOf(box)) // nothing beside the destination, no link in it
        QVERIFY2(line.startsWith("dest/") && !line.contains("->"), qPrintable("made: " + line));

    // Without a terminal, so that no password prompt can wait.
    const int exitCode =
        QProcess::execute("sh", {"-c", "\"$0\" -qqo \"$1\" -d \"$2\" </dev/null >/dev/null 2>&1",
                                 unzip, archive, ref});
    // Where an entry failed or was skipped, a file may be missing, partial or older on either
    // side, under what unzip makes of its name ("\\" a separator, "." and ".." gone). Names
    // outside ASCII unzip converts by code page and host system, where we decode them in the
    // local encoding; a link it makes holds the text that we write into a file; an entry that
    // only its attributes call a directory it makes one, where we make an empty file.
    const auto loose = [](QString name) {
        return name.replace('\\', '/')
            .split('/', Qt::SkipEmptyParts)
            .filter(QRegularExpression("^(?!\\.\\.?$)"))
            .join('/');
    };
    const QRegularExpression failure(
        " - (Skip|Fail to unz|Write data|Fail to open Writing File \"[^\"]*[^/]\" )");
    QSet<QString> dirty;
    const auto names = entryNames(archive);
    int index = -1;
    for (const QString &line : out.log) {
        index += line.contains("currentIndex") ? 1 : 0;
        if (failure.match(line).hasMatch())
            dirty << loose(QString::fromLocal8Bit(names.value(index)));
    }
    const auto lines = [&](const QMap<QString, QString> &leaves) {
        QStringList all;
        for (auto it = leaves.cbegin(); it != leaves.cend(); ++it)
            if (!it.key().contains(QRegularExpression("[^\\x00-\\x7e]")) &&
                !dirty.contains(loose(it.key())))
                all << QString(it.key()).replace('\\', '/') + '=' +
                           QString(it.value()).remove(QRegularExpression("^(=|->|/)"));
        all.sort();
        return all;
    };
    QStringList theirs = lines(leavesOf(ref));
    QProcess::execute("rm", {"-rf", ref}); // names that QTemporaryDir cannot decode
    // Other exit codes mean that unzip found the archive itself damaged (checksums, directory,
    // overlapping entries, cut off, 2, 3, 12, 51) or gave up on it: no reference then.
    if (!returned || !QList<int>{0, 5, 81, 82}.contains(exitCode))
        return;
    QCOMPARE(lines(leavesOf(box + "/dest")), theirs);
}

void TestOvZipHelper::readOnlyDestination()
{
    // Root passes every mode bit: then the box belongs to "nobody", and this thread, which
    // extracts, checks files as that user for the call.
    const bool asRoot = ::geteuid() == 0;
    const uid_t nobody = 65534;
    QTemporaryDir tmp;
    const QString dest = tmp.filePath("dest"), zip = tmp.filePath("p.zip");
    QVERIFY(QDir().mkpath(dest + "/sub") && writeFile(dest + "/old", "old"));
    QVERIFY(OvTestZip::writeEntries(zip, {{"old", "new"}, {"sub/new", "new"}, {"new", "new"}}));
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    for (const QString &path : {tmp.path(), zip, dest, dest + "/sub", dest + "/old"}) {
        QVERIFY2(!asRoot || ::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0,
                 qPrintable("cannot hand over " + path));
        QVERIFY(path == tmp.path() || path == zip || QFile::setPermissions(path, readOnly));
    }
    if (asRoot)
        ::setfsuid(nobody);
    const Outcome out = runUpzip(zip, dest);
    if (asRoot)
        ::setfsuid(0);
    QCOMPARE(out.emitted, walk(3, true));
    QCOMPARE(out.log.filter("Fail to open Writing File").size(), 3);
    QCOMPARE(treeOf(tmp.path()), QStringList({"dest/old=old", "dest/sub/"}));
    for (const QString &path : {dest, dest + "/sub"})
        QFile::setPermissions(path, readOnly | QFileDevice::WriteOwner);
}

void TestOvZipHelper::manyEmptyEntries()
{
    // Past 65,534 entries the archive writer records the count as 0xffff ("see the 64-bit
    // record") and writes no such record: minizip then walks until the central directory
    // ends. Every entry is written and counted; the total stays the recorded 65535.
    QTemporaryDir tmp;
    Entries empties;
    QStringList steps;
    for (int i = 0; i <= 100000; ++i) {
        empties << Entry("e/" + QByteArray::number(i), "", 0);
        steps << QString("%1/65535").arg(i + 1);
    }
    QVERIFY(OvTestZip::writeEntries(tmp.filePath("p.zip"), empties));
    const Outcome out = runUpzip(tmp.filePath("p.zip"), tmp.filePath("dest"));
    QCOMPARE(out.emitted, steps << "true"
                                << "returned true");
    QCOMPARE(QDir(tmp.filePath("dest/e")).entryList(QDir::Files).size(), 100001);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             (QStringList{"dest", "p.zip"}));
}

QTEST_GUILESS_MAIN(TestOvZipHelper)
#include "tst_ovziphelper.moc"
