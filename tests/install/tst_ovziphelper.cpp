#include "common/OvTestSupport.h"
#include "common/OvTestZip.h"
#include "core/install/OvInstallTransaction.h"
#include "core/install/OvZipEntryName.h"
#include "core/install/OvZipHelper.h"

#include <QtTest>

#include <unzip.h>

#include <csignal>
#include <cstdio>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using OvTestSupport::readFile;
using OvTestSupport::writeFile;
using OvTestZip::Entry;
using Entries = QList<Entry>;
using Error = OvZipHelper::Error;
Q_DECLARE_METATYPE(Entry)

namespace {

// What upzip reported: its signals and return value ("1/3", "true", "returned true") in order.
struct Outcome
{
    QStringList emitted, log;
    Error error = Error::NoError;
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
    out.error = helper.error();
    out.log = capture.lines();
    return out;
}

QString describe(const QByteArray &content)
{
    const QString md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
    return content.size() <= 40 ? QString::fromUtf8(content)
                                : QString("md5 %1, %2 bytes").arg(md5).arg(content.size());
}

// The rights (and set-id bits) of what `path` names, not following a link.
int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The tree below `dir` as sorted lines: "a/b=content" a file, "l->text" a link, "e/" an empty
// directory; with `details`, a file's times (taken before reading) and mode where they are not
// those of a new file. The package and what a test keeps beside it ("p.*") are left out.
QStringList treeOf(const QString &dir, bool details = true)
{
    static const int freshMode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return int(0666 & ~mask);
    }();
    QStringList lines;
    const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    for (QDirIterator it(dir, all, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo info(it.next());
        const QString path = info.filePath().mid(dir.size() + 1);
        const QString times = " @" + info.lastModified().toString(Qt::ISODate) + " read " +
                              info.lastRead().toString(Qt::ISODate);
        char text[4096];
        if (path.startsWith("p.") ||
            (info.isDir() && !info.isSymLink() && !QDir(info.filePath()).isEmpty(all)))
            continue;
        const auto n = ::readlink(QFile::encodeName(info.filePath()).constData(), text, 4096);
        const bool isFile = !info.isSymLink() && !info.isDir();
        lines << path + (info.isSymLink() ? "->" + describe(QByteArray(text, qMax(0, int(n))))
                         : isFile         ? '=' + describe(readFile(info.filePath()))
                                          : "/");
        if (details && isFile && info.lastModified().secsTo(QDateTime::currentDateTime()) > 3600)
            lines.last() += times;
        if (details && isFile && modeOf(info.filePath()) != freshMode)
            lines.last() += QString(" mode %1").arg(modeOf(info.filePath()), 0, 8);
    }
    lines.sort();
    return lines;
}

} // namespace

class TestOvZipHelper : public QObject
{
    Q_OBJECT

private slots:
    void nulEndsNameAsInC();
    void extracts_data();
    void extracts();
    void matchesInfoZip_data();
    void matchesInfoZip();

private:
    QString unzip = QStandardPaths::findExecutable("unzip");
    QTemporaryDir fuzzInputs;
};

void TestOvZipHelper::nulEndsNameAsInC()
{
    QCOMPARE(OvZipEntryName::safeRelativePath(QString::fromLatin1("te\0t", 4)), QString("te"));
}

void TestOvZipHelper::extracts_data()
{
    // A fault; the box before (treeOf() lines); entries, "after.txt" added on success, or the
    // archive ("-": none); the error; a log line (box as ""); the box after, after.txt aside.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<Error>("error");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QStringList>("after");
    const auto row = [](const char *title, const QStringList &before, const Entries &entries,
                        const QStringList &after, Error error = Error::NoError,
                        const QString &logLine = {}, const QByteArray &archive = {},
                        const QString &fault = {}) {
        QTest::newRow(title) << fault << before << entries << archive << error << logLine << after;
    };
    const QByteArray big = QByteArray("0123456789abcdef").repeated(43751) + 'x', full(262144, 'f');

    // Several full buffers, one filled to the last byte, a name over 256 bytes in 99-byte parts.
    const QByteArray part(99, 'd'), longName = part + '/' + part + '/' + part + "/long";
    const Entries files{
        {"top", "top"}, {"bin/plugins/x.dll", "x"}, {"bin/y", ""},     {"数据/über", "u"},
        {"big", big},   {"full", full, 0},          {longName, "long"}};
    QStringList landed;
    for (const Entry &e : files)
        landed << "dest/" + e.name + '=' + describe(e.data);
    row("files in new sub-directories", {}, files, landed);
    const Entries tidied{{"dir/", ""},       {"dir/in/", ""},     {"dir/in/f", "in"},
                         {"e\\f\\", ""},     {"./a//b/./c", "c"}, {"a..b/..c/d..", "d"},
                         {"twice", "first"}, {"twice", "second"}}; // the later wins, as for unzip
    row("directory entries, dots, separators, a name twice", {}, tidied,
        {"dest/dir/in/f=in", "dest/e/f/", "dest/a/b/c=c", "dest/a..b/..c/d..=d",
         "dest/twice=second"});
    row("overwrite, cutting a longer local change", {"dest/dir/a=local", "dest/keep=old"},
        {{"dir/", ""}, {"dir/a", "new"}}, {"dest/dir/a=new", "dest/keep=old"}, Error::NoError,
        "OvZipHelper::upzip() - file had existed!! \"dest/dir/a\"");
    row("the install's own folder is out of reach", {}, {{".ovupdate/journal", "x"}}, {},
        Error::NoError, "OvZipHelper::upzip() - Skip unsafe entry name \".ovupdate/journal\"");
    // As root, permission bits block nothing; a directory in a file's place, or the reverse, do.
    row("a directory in a file's place", {"dest/held/x=1"}, {{"new", "n"}, {"held", "x"}},
        {"dest/held/x=1"}, Error::TargetNotReplaced);
    row("a file in a directory's place", {"dest/plain=old"}, {{"new", "n"}, {"plain/x", "x"}},
        {"dest/plain=old"}, Error::TargetNotReplaced);
    QTemporaryDir tmp;
    // Linux has no birth time: the date shows where an extra field makes us set the others.
    Entry plain("plain", "eve"), extra("extra", "eve");
    for (Entry *e : {&plain, &extra})
        e->year = 2025, e->month = 12, e->day = 31, e->hour = 23, e->minute = 59, e->second = 58;
    extra.extraField = QByteArray("\xfe\xca\x18\x00", 4) + QByteArray(24, '\1');
    row("recorded times", {}, {plain, extra},
        {"dest/plain=eve", "dest/extra=eve @2025-12-31T23:59:58 read 2025-12-31T23:59:58"});

    // Unsafe names; the last is safe in its first 256 bytes and escapes later.
    for (const QByteArray &name :
         QByteArrayList{"../x", "a/../../x", "a/../x", "/abs", "C:\\x", "./C:/x", "..\\x", "x/..",
                        "./.", "x/" + QByteArray("../").repeated(140)})
        row(name.left(20).constData(), {}, {{name, "bad"}}, {});
    // Links to outside, dangling, or to a sibling whose name starts like the destination's:
    // nothing is made or written through them.
    const QStringList links{
        "outside/keep=kept", "dest/o->../outside",  "destx/", "dest/a/b/o->../../../outside",
        "dest/s->../destx",  "dest/g->../outside/g"};
    const Entries through{
        {"o/x", "bad"}, {"o/sub/x", "bad"}, {"a/b/o/c/x", "bad"}, {"s/x", "bad"}, {"g/x", "bad"}};
    row("links out of the destination", links, through, links, Error::NoError,
        "OvZipHelper::upzip() - Skip entry outside the destination \"a/b/o/c/x\"");
    row("file links, even dangling, replaced",
        {"outside/keep=kept", "dest/keep->../outside/keep", "dest/new->../outside/new"},
        {{"keep", "new"}, {"new", "new"}}, {"outside/keep=kept", "dest/keep=new", "dest/new=new"});
    row("link that stays inside is used", {"dest/real/", "dest/alias->real"}, {{"alias/x", "in"}},
        {"dest/alias->real", "dest/real/x=in"});

    // An end record without entries, behind something: minizip finds no first entry.
    row("missing archive: nothing created", {}, {}, {}, Error::ArchiveMissing, {}, "-");
    row("not a zip", {}, {}, {"dest/"}, Error::ArchiveUnreadable,
        "OvZipHelper::upzip() Fail to open unzip File \"p.zip\"", "plain text\n");
    row("empty archive", {}, {}, {"dest/"}, Error::ArchiveUnreadable,
        "OvZipHelper::upzip() Fail to unzGoToFirstFile -103",
        "SFX!PK\x05\x06" + QByteArray(18, '\0'));
    row("destination cannot be created", {"dest=a file"}, {{"a.txt", "a"}}, {"dest=a file"},
        Error::DestinationNotCreated, "OvZipHelper::upzip() - Fail to mkpath() \"dest/\"");

    // Rights as recorded (Unix, macOS) but owner-writable only, else the replaced file's; the
    // running updater's own file is renamed aside: Linux refuses to write a running program.
    const QList<QPair<QByteArray, quint32>> rights{
        {"OvZentaUpdate", 0100755}, {"mac", 0100750},  {"dos", 0100755},
        {"all", 0100777},           {"ro", 0100444},   {"setid", 0107755},
        {"notype", 0644},           {"link", 0120777}, {"dir", 040755},
        {"unreadable", 0100311},    {"kept", 0}};
    Entries modes;
    for (const auto &[name, mode] : rights)
        (modes << Entry(name, name)).last().unixMode = mode;
    OvTestZip::write(tmp.filePath("m"), modes);
    QByteArray hosts = readFile(tmp.filePath("m"));
    const int directory = hosts.indexOf("PK\x01\x02"); // the host byte of "version made by":
    hosts[hosts.indexOf("mac", directory) - 41] = 19;  // macOS
    hosts[hosts.indexOf("dos", directory) - 41] = 0;   // MS-DOS
    row("rights", {"dest/kept=old mode 700"}, modes,
        {"dest/OvZentaUpdate=OvZentaUpdate mode 755", "dest/mac=mac mode 750", "dest/dos=dos",
         "dest/all=all mode 755", "dest/ro=ro", "dest/setid=setid mode 755", "dest/notype=notype",
         "dest/link=link", "dest/dir=dir", "dest/unreadable=unreadable", "dest/kept=kept mode 700"},
        Error::NoError, {}, hosts, "running");

    // Whatever goes wrong, the installation stays byte for byte as it was, with nothing left
    // over. The process killed: the start-up recovery puts it back. A tmpfs is a real size limit.
    const QStringList installed{"dest/bin/run=#!/bin/sh mode 500", "dest/data/a.txt=old a",
                                "dest/l->data/a.txt", "dest/old.txt=old"};
    Entries package{{"bin/run", "#!/bin/sh\necho new\n"},
                    {"data/a.txt", "new a"},
                    {"new/dir/b.bin", QByteArray(200000, 'b')},
                    {"data/c.txt", "c"},
                    {"old.txt", "new old", 0}};
    package[0].unixMode = 0100755;
    OvTestZip::write(tmp.filePath("f"), package);
    QByteArray checksum = readFile(tmp.filePath("f")), unreadable = checksum;
    checksum[checksum.lastIndexOf("new old")] = 'N';            // behind the checksum's back
    const int local = unreadable.indexOf("new/dir/b.bin") - 30; // an invalid deflate block type
    unreadable.replace(local + 43 +
                           (uchar(unreadable[local + 28]) | uchar(unreadable[local + 29]) << 8),
                       4, "\xff\xff\xff\xff");
    const auto fails = [&](const char *title, Error error, const QString &fault,
                           const QByteArray &archive = {}) {
        row(title, installed, package, installed, error, {}, archive, fault);
    };
    fails("wrong checksum in the last entry", Error::EntryUnreadable, "-", checksum);
    fails("read error in the middle entry", Error::EntryUnreadable, "-", unreadable);
    fails("short write (file size limit)", Error::EntryNotWritten, "fsize");
    fails("disk fills up during staging (tmpfs)", Error::EntryNotWritten, "fill");
    fails("too little space, found first (tmpfs)", Error::NoSpace, "space");
    fails("target held during the swap (bind mount)", Error::TargetNotReplaced, "held");
    fails("killed during staging", Error::NoError, "staging");
    fails("killed during the swap", Error::NoError, "swap");
    // No staging folder can be made: the install fails before any entry and changes nothing.
    const QStringList readOnly{"dest/old=old mode 500", "dest/sub/"};
    row("read-only installation directory", readOnly, {{"old", "new"}, {"sub/new", "new"}},
        readOnly, Error::StateNotWritten, {}, {}, "read-only");

    // Past 65,534 entries the archive writer records the count as 0xffff ("see the 64-bit
    // record") and writes no such record: minizip then walks until the central directory ends.
    // Every entry is written and counted; the total stays the recorded 65535.
    Entries empties;
    QStringList made;
    for (int i = 0; i <= 100000; ++i)
        empties << Entry("e/" + QByteArray::number(i), "", 0), made << QString("dest/e/%1=").arg(i);
    row("100,001 empty entries", {}, empties, made);

    // Hostile packages. A name of the most bytes a header
    // holds, which the system refuses; a central directory that lies about where an entry
    // starts and how long it is; both headers telling the same short size, so the checksum
    // fails; an entry count the file could not hold (found by fuzzing as a 64-bit count < 0).
    row("entry name of 65,535 bytes", {}, {{QByteArray(65535, 'n'), "x"}}, {"dest/"},
        Error::EntryNotWritten);
    OvTestZip::write(tmp.filePath("h"), {{"lied", "0123456789", 0}});
    const QByteArray honest = readFile(tmp.filePath("h"));
    const int central = honest.indexOf("PK\x01\x02");
    QByteArray past = honest, longer = honest, shorter = honest, counted = honest;
    past.replace(central + 42, 4, "\xf0\xff\xff\x7f");
    longer.replace(central + 20, 8, "\xff\xff\xff\x7f\xff\xff\xff\x7f");
    shorter.replace(central + 20, 8, QByteArray("\x04\0\0\0\x04\0\0\0", 8));
    counted.replace(counted.indexOf("PK\x05\x06") + 8, 4, "\xfe\xff\xfe\xff");
    const auto lied = [&](const char *title, const QByteArray &archive) {
        row(title, {}, {{"lied", ""}}, {"dest/"}, Error::EntryUnreadable, {}, archive);
    };
    lied("central directory: offset past the end", past);
    lied("central directory: sizes past the end", longer);
    lied("central directory: sizes too short", shorter);
    shorter.replace(honest.indexOf("PK\x03\x04") + 18, 8, shorter.mid(central + 20, 8));
    lied("both headers: sizes too short", shorter);
    row("entry count beyond the file", {}, {}, {"dest/"}, Error::ArchiveUnreadable,
        "OvZipHelper::upzip() Fail to get global info: more entries recorded than \"p.zip\" can "
        "hold",
        counted);
}

void TestOvZipHelper::extracts()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, before);
    QFETCH(Entries, entries);
    QFETCH(QByteArray, archive);
    QFETCH(Error, error);
    QFETCH(QString, logLine);
    QFETCH(QStringList, after);
    QTemporaryDir tmp;
    const QString box = tmp.path(), zip = box + "/p.zip";
    const auto unmount = qScopeGuard([&] {
        if (fault == "fill" || fault == "space" || fault == "held")
            QProcess::execute("umount", {"-l", fault == "held" ? box + "/dest/old.txt" : box});
    });
    if ((fault == "fill" || fault == "space") &&
        QProcess::execute("mount", {"-t", "tmpfs", "-o", fault == "fill" ? "size=1m" : "size=128k",
                                    "tmpfs", box}) != 0)
        QSKIP("no tmpfs can be mounted here (that takes root)");
    for (const QString &line : before) { // laid out as treeOf() shows it
        const QString path = box + '/' + line.section(QRegularExpression("->|="), 0, 0);
        const int mode = line.section(" mode ", 1).toInt(nullptr, 8);
        QVERIFY2(QDir().mkpath(line.endsWith('/') ? path : QFileInfo(path).path()) &&
                     (!line.contains('=') ||
                      writeFile(path, line.section('=', 1).section(" mode ", 0, 0).toUtf8())) &&
                     (!line.contains("->") || QFile::link(line.section("->", 1), path)) &&
                     (!mode || ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0),
                 qPrintable("cannot lay out " + line));
    }
    if (error == Error::NoError && fault.isEmpty())
        entries << Entry("after.txt", "after");
    QVERIFY(archive.isEmpty() ? OvTestZip::write(zip, entries)
                              : archive == "-" || writeFile(zip, archive));
    // A mount point cannot be renamed: the last move fails for good, after the retries.
    if (fault == "held" &&
        !(writeFile(box + "/p.held", "old") &&
          QProcess::execute("mount", {"--bind", box + "/p.held", box + "/dest/old.txt"}) == 0))
        QSKIP("no file can be bind-mounted here (that takes root)");
    QProcess running;
    if (fault == "running") {
        QVERIFY(QFile::copy("/bin/sleep", box + "/dest/OvZentaUpdate"));
        running.start(box + "/dest/OvZentaUpdate", {"30"});
        QVERIFY(running.waitForStarted());
    }
    if (logLine.contains("mkpath"))
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(QString(logLine).replace("\"dest", '"' + box + "/dest")));

    if (fault == "staging" || fault == "swap") {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--install", zip, box + "/dest", fault});
        QVERIFY2(child.waitForReadyRead(20000), "the install did not reach the point to stop at");
        QVERIFY2(fault != "swap" || treeOf(box) != after, "the swap had not begun");
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(OvInstallTransaction::recover(box + "/dest"),
                 OvInstallTransaction::Recovery::RolledBack);
    } else {
        static QString filler; // someone else takes the rest of the disk as staging starts
        filler = box + "/p.fill";
        using Hook = void (*)(const char *, int);
        OvInstallTransaction::stepHook = fault != "fill" ? Hook() : [](const char *, int) {
            QFile file(filler);
            if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                while (file.write(QByteArray(65536, 'f')) == 65536) {
                }
        };
        rlimit old, cut; // a file size limit cuts a write short, and only that one
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0 && std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR);
        cut = {fault == "fsize" ? 100000 : old.rlim_cur, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &cut);
        // Root passes every mode bit: then the box belongs to "nobody", and this thread, which
        // extracts, checks files as that user for the call (a user's own call changes nothing).
        for (const QString &path : {box, zip, box + "/dest", box + "/dest/sub", box + "/dest/old"})
            QVERIFY(fault != "read-only" || ::lchown(QFile::encodeName(path), 65534, 65534) == 0 ||
                    ::geteuid() != 0);
        for (const QString &dir : {box + "/dest", box + "/dest/sub"})
            QVERIFY(fault != "read-only" || ::chmod(QFile::encodeName(dir), 0500) == 0);
        ::setfsuid(fault == "read-only" ? 65534 : ::geteuid());
        const Outcome out = runUpzip(zip, box + "/dest/");
        ::setfsuid(::geteuid());
        for (const QString &dir : {box + "/dest", box + "/dest/sub"})
            fault == "read-only" && ::chmod(QFile::encodeName(dir), 0700); // removable as a user
        ::setrlimit(RLIMIT_FSIZE, &old);
        OvInstallTransaction::stepHook = nullptr;
        // One progress signal per entry in order (all on success), one finished as returned.
        const QString result = error == Error::NoError ? "true" : "false";
        QStringList walk;
        for (int i = 1; i <= (result == "true" ? entries.size() : out.emitted.size() - 2); ++i)
            walk << QString("%1/%2").arg(i).arg(qMin(entries.size(), 0xffff));
        QCOMPARE(out.emitted, walk << result << "returned " + result);
        QCOMPARE(out.error, error);
        QVERIFY2(logLine.isEmpty() ||
                     QStringList(out.log).replaceInStrings(box + '/', "").contains(logLine),
                 qPrintable("not logged: " + logLine));
    }
    if (error == Error::NoError && fault.isEmpty())
        after << "dest/after.txt=after";
    after.sort();
    QCOMPARE(treeOf(box), after);
}

void TestOvZipHelper::matchesInfoZip_data()
{
    QTest::addColumn<QString>("archive");
    const QString zipDir = OV_CORPORA_DIR "/zip";
    if (!QFileInfo(zipDir).isDir() || unzip.isEmpty()) {
        QTest::newRow("corpus or unzip missing") << QString();
        return;
    }
    // Each entry of this clean container is one fuzzer input, an archive of its own.
    const QString fuzz = zipDir + "/klauspost-fuzz/FuzzReader-raw.zip";
    QVERIFY2(QProcess::execute(unzip, {"-qo", fuzz, "-d", fuzzInputs.path()}) == 0,
             "unzip could not unpack the fuzz container");
    for (const QString &dir : {zipDir, fuzzInputs.path()})
        for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            QTest::newRow(qPrintable(path.mid(dir.size() + 1))) << path;
        }
}

void TestOvZipHelper::matchesInfoZip()
{
    QFETCH(QString, archive);
    if (archive.isEmpty())
        QSKIP("the zip corpus (../shared/corpora/zip) or Info-ZIP unzip is not available");
    QTemporaryDir tmp;
    const QString box = tmp.filePath("box"), ref = tmp.filePath("ref");
    const Outcome out = runUpzip(archive, box + "/dest/");
    const bool returned = out.emitted.last() == "returned true";
    QCOMPARE(out.emitted.filter(QRegularExpression("^(true|false)$")),
             QStringList(returned ? "true" : "false")); // finished once, as returned
    // Nothing beside the destination, no link and no state in it; nothing at all after a failure.
    for (const QString &line : treeOf(box))
        QVERIFY2(line.startsWith("dest/") && !line.contains("->") && !line.contains("/.ovupdate") &&
                     (returned || line == "dest/"),
                 qPrintable("made: " + line));

    // Without a terminal, so that no password prompt can wait.
    const int exitCode =
        QProcess::execute("sh", {"-c", "\"$0\" -qqo \"$1\" -d \"$2\" </dev/null >/dev/null 2>&1",
                                 unzip, archive, ref});
    // unzip converts names outside ASCII by code page, we decode them locally; it makes a link
    // where we write its text into a file, and a directory of what only attributes call one.
    const auto loose = [](const QStringList &tree) {
        QStringList lines;
        for (QString line : tree) {
            const QString name = line.replace(QRegularExpression("->|/$"), "=").section('=', 0, 0);
            if (!name.contains(QRegularExpression("[^\\x00-\\x7e]")))
                lines << QString(name).replace('\\', '/') + '=' + line.section('=', 1);
        }
        lines.sort();
        return lines;
    };
    const QStringList theirs = loose(treeOf(ref, false)),
                      ours = loose(treeOf(box + "/dest", false));
    QProcess::execute("rm", {"-rf", ref}); // names that QTemporaryDir cannot decode
    // Other exit codes mean that unzip found the archive itself damaged (checksums, directory,
    // overlapping entries, cut off, 2, 3, 12, 51) or gave up on it: no reference then.
    if (!returned || !QList<int>{0, 5, 81, 82}.contains(exitCode))
        return;
    for (const QString &line : ours) // where we skipped a name unzip cleaned up, it has more
        QVERIFY2(theirs.contains(line), qPrintable("not as unzip made it: " + line));
    if (out.log.filter(" - Skip").isEmpty())
        QCOMPARE(ours, theirs);
}

static QByteArray stopPhase;
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // "--install PACKAGE DEST staging|swap": installs, and waits to be killed once two entries
    // are staged or two files moved.
    if (argc == 5 && QByteArray(argv[1]) == "--install") {
        stopPhase = argv[4];
        OvInstallTransaction::stepHook = [](const char *phase, int count) {
            if (stopPhase == phase && count == 2 && std::puts("stopped") >= 0 &&
                !std::fflush(stdout))
                for (;;)
                    ::pause();
        };
        OvZipHelper helper;
        QObject::connect(&helper, &OvZipHelper::sigUpZipProgress, [](tds8 done, tds8) {
            OvInstallTransaction::stepHook("staging", static_cast<int>(done));
        });
        return helper.upzip(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    TestOvZipHelper test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ovziphelper.moc"
