#include "OvZipTestTree.h"
#include "common/OvTestSupport.h"
#include "install/OvZipEntryName.h"
#include "install/OvZipHelper.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unzip.h>

#include <algorithm>
#include <zlib.h>

using OvZipTestTree::Kind;

namespace {

// One entry as a plain minizip walk sees it, independently of the extractor.
struct Listed
{
    QByteArray rawName;
    bool readsCleanly = false; // opened, read to its recorded size, checksum verified
    bool unopenable = false;   // encrypted, or a method other than stored and deflate
    quint64 size = 0;
    uLong crc = 0;
};

// Reads the archive the way the extractor does (same library, same walk) and checks every
// entry's data by reading it into memory. Entries whose data minizip cannot deliver intact
// (unsupported methods handed out raw, encryption, damage) are marked, whatever the reason.
QVector<Listed> listArchive(const QString &path)
{
    QVector<Listed> entries;
    const QByteArray encoded = QFile::encodeName(path);
    unzFile zf = unzOpen64(encoded.constData());
    if (!zf)
        return entries;
    static char data[65536];
    for (int ret = unzGoToFirstFile(zf); ret == UNZ_OK; ret = unzGoToNextFile(zf)) {
        Listed entry;
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK) {
            entry.rawName.resize(static_cast<int>(info.size_filename));
            unzGetCurrentFileInfo64(zf, nullptr, entry.rawName.data(), info.size_filename, nullptr,
                                    0, nullptr, 0);
            entry.size = info.uncompressed_size;
            entry.crc = info.crc;
            entry.unopenable = (info.flag & 1) != 0 ||
                               (info.compression_method != 0 && info.compression_method != 8);
            if (unzOpenCurrentFile(zf) == UNZ_OK) {
                quint64 total = 0;
                int read = 0;
                // The cap keeps a bomb among the fuzzed inputs from taking the test's time.
                while ((read = unzReadCurrentFile(zf, data, sizeof data)) > 0 && total < 1 << 26)
                    total += static_cast<quint64>(read);
                const bool closed = unzCloseCurrentFile(zf) == UNZ_OK;
                entry.readsCleanly = read == 0 && closed && total == info.uncompressed_size;
            }
        }
        entries.append(entry);
    }
    unzClose(zf);
    return entries;
}

// The name as the extractor decodes and places it; empty when it skips the entry by policy.
QString ourRelativePath(const QByteArray &rawName)
{
    return OvZipEntryName::safeRelativePath(QString::fromLocal8Bit(rawName));
}

// A key under which our path and unzip's path for the same ASCII-named entry agree: "\" is a
// separator, and empty, "." and ".." components go (unzip strips "../" and a leading "/"
// where we skip the entry, so a skipped entry still finds what unzip made of it).
QByteArray looseKey(const QByteArray &path)
{
    QByteArray normal = path;
    normal.replace('\\', '/');
    QByteArrayList kept;
    for (const QByteArray &part : normal.split('/'))
        if (!part.isEmpty() && part != "." && part != "..")
            kept.append(part);
    return kept.join('/');
}

bool hasNonAscii(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x7f; });
}

bool hasControlBytes(const QByteArray &name)
{
    return std::any_of(name.cbegin(), name.cend(),
                       [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x20; });
}

// True when every item of `part` (counted with repeats) is also in `whole`.
bool isSubMultiset(const QList<QByteArray> &part, QList<QByteArray> whole)
{
    for (const QByteArray &item : part)
        if (!whole.removeOne(item))
            return false;
    return true;
}

// What our log says about each entry, by its index in the walk.
struct EntryLog
{
    bool skipped = false;      // refused by the name or destination policy
    bool failedToOpen = false; // data could not be opened, so nothing was written
    bool failed = false;       // any failure line at all
};

QVector<EntryLog> entryLogs(const QStringList &log)
{
    static const QString start = QStringLiteral("OvZipHelper::upzip() - currentIndex ");
    QVector<EntryLog> entries;
    for (const QString &line : log) {
        if (line.startsWith(start)) {
            entries.append(EntryLog());
            continue;
        }
        if (entries.isEmpty())
            continue;
        EntryLog &entry = entries.last();
        if (line.startsWith(QLatin1String("OvZipHelper::upzip() - Skip ")))
            entry.skipped = entry.failed = true;
        else if (line.startsWith(
                     QLatin1String("OvZipHelper::upzip() - Fail to unzOpenCurrentFile")))
            entry.failedToOpen = entry.failed = true;
        else if (line.startsWith(QLatin1String("OvZipHelper::upzip() - Fail")) ||
                 line.startsWith(QLatin1String("OvZipHelper::upzip() - Write data")))
            entry.failed = true;
    }
    return entries;
}

} // namespace

class TestOvZipHelperCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesInfoZip_data();
    void matchesInfoZip();

private:
    QString unzipProgram;
    QTemporaryDir fuzzInputs;
};

void TestOvZipHelperCorpus::initTestCase()
{
    unzipProgram = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    const QString container =
        OvTestSupport::corporaDir() + QStringLiteral("/zip/klauspost-fuzz/FuzzReader-raw.zip");
    if (unzipProgram.isEmpty() || !QFileInfo::exists(container))
        return;
    // The fuzzer's inputs are kept as entries of one clean container; each is an archive of
    // its own. Info-ZIP unpacks them, so that our extractor is not its own judge here.
    QVERIFY(fuzzInputs.isValid());
    QProcess unzip;
    unzip.setStandardInputFile(QProcess::nullDevice());
    unzip.start(unzipProgram, {"-q", "-o", container, "-d", fuzzInputs.path()});
    QVERIFY2(unzip.waitForFinished(60000) && unzip.exitCode() == 0,
             "unzip could not unpack the fuzz container");
}

void TestOvZipHelperCorpus::matchesInfoZip_data()
{
    QTest::addColumn<QString>("archive");
    const QString corpus = OvTestSupport::corporaDir();
    if (corpus.isEmpty() || unzipProgram.isEmpty()) {
        QTest::newRow("corpus or unzip missing") << QString();
        return;
    }
    const QString zipDir = corpus + QStringLiteral("/zip");
    QStringList archives;
    QDirIterator it(zipDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        archives.append(it.next());
    archives.sort();
    for (const QString &path : archives)
        QTest::newRow(qPrintable(QDir(zipDir).relativeFilePath(path))) << path;

    QStringList inputs = QDir(fuzzInputs.path()).entryList(QDir::Files);
    inputs.sort();
    for (const QString &name : inputs)
        QTest::newRow(qPrintable(QStringLiteral("klauspost-fuzz/input/") + name))
            << QDir(fuzzInputs.path()).filePath(name);
}

void TestOvZipHelperCorpus::matchesInfoZip()
{
    QFETCH(QString, archive);
    if (archive.isEmpty())
        QSKIP("the zip corpus (../shared/corpora/zip) or Info-ZIP unzip is not available");

    QTemporaryDir tmp;
    const QString box = tmp.filePath(QStringLiteral("box"));
    const QString dest = box + QStringLiteral("/dest");
    QVERIFY(QDir().mkpath(box));

    bool returned = false;
    QList<bool> finished;
    QStringList log;
    {
        OvTestSupport::LogCapture capture;
        OvZipHelper helper;
        connect(&helper, &OvZipHelper::sigUpZipFinished, this,
                [&finished](bool isSucc) { finished.append(isSucc); });
        returned = helper.upzip(archive, dest + QLatin1Char('/'));
        log = capture.lines();
    }
    QVERIFY2(finished == QList<bool>{returned}, "finished must be reported once, as returned");

    // Whatever the archive holds: nothing beside the destination, no link inside it.
    const auto boxTree = OvZipTestTree::snapshot(box);
    for (auto it = boxTree.cbegin(); it != boxTree.cend(); ++it) {
        QVERIFY2(it.key() == "dest" || it.key().startsWith("dest/"),
                 qPrintable("written outside the destination: " + it.key()));
        QVERIFY2(it.value().kind != Kind::Link, qPrintable("link created: " + it.key()));
    }
    if (!returned)
        return; // the archive as a whole was refused; nothing to compare

    const QVector<Listed> listed = listArchive(archive);
    const QVector<EntryLog> logs = entryLogs(log);
    QVERIFY2(
        logs.size() == listed.size(),
        qPrintable(
            QStringLiteral("walked %1, minizip lists %2").arg(logs.size()).arg(listed.size())));

    // Our side first, against the archive itself: every path explained by an entry, every
    // clean entry holding exactly the bytes minizip verified, refused entries leaving nothing.
    const auto ours = OvZipTestTree::snapshot(dest);
    QStringList problems;
    QMap<QByteArray, int> lastWriter; // our path -> the last entry written there
    QSet<QByteArray> allowed;         // entry paths and their parents
    QSet<QByteArray> dirtyKeys, controlKeys;
    bool nonAsciiDirty = false;
    for (int i = 0; i < listed.size(); ++i) {
        const Listed &entry = listed[i];
        if (entry.unopenable && !logs[i].skipped && !logs[i].failedToOpen)
            problems << "encrypted or unsupported entry was opened: " + entry.rawName;
        const QString relative = ourRelativePath(entry.rawName);
        const bool isDir = relative.endsWith(QLatin1Char('/'));
        if (!isDir && (logs[i].failed || !entry.readsCleanly)) {
            dirtyKeys.insert(looseKey(entry.rawName));
            nonAsciiDirty = nonAsciiDirty || hasNonAscii(entry.rawName);
        }
        if (hasControlBytes(entry.rawName))
            controlKeys.insert(looseKey(entry.rawName));
        if (relative.isEmpty() || logs[i].skipped)
            continue;
        const QByteArray path = QFile::encodeName(isDir ? relative.chopped(1) : relative);
        for (int cut = 0; (cut = path.indexOf('/', cut + 1)) > 0;)
            allowed.insert(path.left(cut));
        allowed.insert(path);
        if (!isDir)
            lastWriter[path] = i;
    }
    for (auto it = ours.cbegin(); it != ours.cend(); ++it)
        if (!allowed.contains(it.key()))
            problems << "no entry explains " + it.key();

    QMap<QByteArray, QList<QByteArray>> ourAscii; // by loose key
    QList<QByteArray> ourNonAscii;
    for (auto it = lastWriter.cbegin(); it != lastWriter.cend(); ++it) {
        const Listed &entry = listed[it.value()];
        const OvZipTestTree::Node node = ours.value(it.key(), {Kind::Other, {}});
        if (logs[it.value()].failedToOpen && node.kind == Kind::File)
            problems << "unopenable entry left a file: " + it.key();
        if (logs[it.value()].failed || !entry.readsCleanly)
            continue; // damaged on the way: what was written stays, as with any extractor
        const uLong crc = crc32(0L, reinterpret_cast<const Bytef *>(node.content.constData()),
                                static_cast<uInt>(node.content.size()));
        if (node.kind != Kind::File || crc != entry.crc ||
            static_cast<quint64>(node.content.size()) != entry.size)
            problems << "not extracted as the archive holds it: " + it.key();
        else if (hasNonAscii(entry.rawName))
            ourNonAscii.append(node.content);
        else
            ourAscii[looseKey(it.key())].append(node.content);
    }

    // Then against Info-ZIP: what we wrote is what unzip wrote under that name. Exit codes 2,
    // 3, 12 and 51 mean unzip found the archive itself damaged (bad checksums, a broken
    // directory, overlapping entries, a cut-off file); its tree is no reference then.
    const QString ref = tmp.filePath(QStringLiteral("ref"));
    QProcess unzip;
    unzip.setStandardInputFile(QProcess::nullDevice()); // no password prompt can wait
    unzip.setProcessChannelMode(QProcess::MergedChannels);
    unzip.start(unzipProgram, {"-o", archive, "-d", ref});
    QVERIFY2(unzip.waitForFinished(20000), "unzip did not finish");
    const auto refTree = OvZipTestTree::snapshot(ref);
    QProcess::execute("rm", {"-rf", ref}); // names that QTemporaryDir cannot decode
    const QList<int> damaged{2, 3, 12, 51};
    if (unzip.exitStatus() == QProcess::NormalExit && !damaged.contains(unzip.exitCode())) {
        QMap<QByteArray, QList<QByteArray>> refAscii;
        QList<QByteArray> refNonAscii;
        // A link counts by its text: we write that text as a file where unzip makes a link.
        for (auto it = refTree.cbegin(); it != refTree.cend(); ++it)
            if (it.value().kind == Kind::File || it.value().kind == Kind::Link)
                (hasNonAscii(it.key()) ? refNonAscii : refAscii[looseKey(it.key())])
                    .append(it.value().content);
        for (auto it = ourAscii.cbegin(); it != ourAscii.cend(); ++it) {
            // A damaged or skipped entry of the same name may be the one unzip kept; and unzip
            // refuses to map names with control characters at all.
            const bool excused = dirtyKeys.contains(it.key()) ||
                                 (controlKeys.contains(it.key()) && !refAscii.contains(it.key()));
            if (!excused && !isSubMultiset(it.value(), refAscii.value(it.key())))
                problems << "differs from unzip: " + it.key();
        }
        // unzip converts names outside ASCII by code page and by the archive's host system; we
        // decode them in the local 8-bit encoding (invalid UTF-8 becomes U+FFFD, so distinct
        // names can even merge). Such files are compared as a whole, by content.
        if (!nonAsciiDirty && !isSubMultiset(ourNonAscii, refNonAscii))
            problems << "files with non-ASCII names differ from unzip's";
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("\n   ")) +
                                            QStringLiteral("\n   unzip said:\n") +
                                            QString::fromLocal8Bit(unzip.readAll())));
}

QTEST_GUILESS_MAIN(TestOvZipHelperCorpus)
#include "tst_ovziphelper_corpus.moc"
