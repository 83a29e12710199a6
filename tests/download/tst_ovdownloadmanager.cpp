#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "core/download/OvDownloadManager.h"
#include "core/download/OvDownloadRules.h"

#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QtTest>

#include <cmath>

namespace {

QString certPath;
QString keyPath;

// Deterministic bytes in which a lost, doubled or misplaced piece shows in a comparison.
QByteArray payload(int size, quint32 seed = 1)
{
    QByteArray data(size, Qt::Uninitialized); // every size used is a multiple of 4
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

QByteArray fileContent(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One test's working directory, servers, log and manager, with what the manager signalled
// through the signature strings the update window connects. Torn down safely however the
// test ends: held handlers are let go, the manager goes, then the servers.
struct Rig
{
    Rig() { QDir::setCurrent(dir.path()); }
    ~Rig()
    {
        gate.open();
        QDir::setCurrent(previousDir);
    }
    // Serves `body` at `path`, all at once or, with `piece`, in pieces of that size, waiting
    // at the gate (at most `pauseMs`) before each but the first. `how`: "chunked" leaves the
    // size unannounced, "cut" drops the connection after the first piece, "text/plain" makes
    // the server compress on the fly.
    void serve(const std::string &path, const QByteArray &body, int piece = 0, int pauseMs = 10000,
               const QString &how = QString())
    {
        const bool chunked = how == "chunked";
        const bool cut = how == "cut";
        const std::string type = how == "text/plain" ? "text/plain" : "application/zip";
        OvTestGate *held = &gate;
        auto send = [=](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset > 0 && cut)
                return false;
            if (offset > 0)
                held->wait(pauseMs);
            const size_t length = std::min(size_t(body.size()) - offset, size_t(piece));
            if (!sink.write(body.constData() + offset, length))
                return false;
            if (chunked && offset + length == size_t(body.size()))
                sink.done();
            return true;
        };
        auto chunk = [send](size_t offset, httplib::DataSink &sink) {
            return send(offset, 0, sink);
        };
        server.server().Get(path, [=](const httplib::Request &, httplib::Response &res) {
            if (piece == 0)
                res.set_content(body.toStdString(), type);
            else if (chunked)
                res.set_chunked_content_provider(type, chunk);
            else
                res.set_content_provider(body.size(), type, send);
        });
    }
    // A redirect from `path` on `from` to /new/pkg.zip on `to`.
    void redirect(OvTestServer &from, const std::string &path, const OvTestServer &to)
    {
        from.server().Get(path, [&to](const httplib::Request &, httplib::Response &res) {
            res.set_redirect(to.url(QStringLiteral("/new/pkg.zip")).toStdString());
        });
    }
    QUrl url(const QString &path) const { return QUrl(server.url(path)); }
    // "name:ok" or "name:failed" for every sigDownloadFinished, in order.
    QStringList results() const
    {
        QStringList list;
        for (const QList<QVariant> &args : finished)
            list << args[0].toString() + (args[1].toBool() ? ":ok" : ":failed");
        return list;
    }
    QString log() const { return logCapture.lines().join('\n'); }

    const QString previousDir = QDir::currentPath();
    QTemporaryDir dir;
    OvTestGate gate;
    OvTestServer server;
    OvTestServer secure{certPath, keyPath};
    OvTestSupport::LogCapture logCapture;
    OvDownloadManager manager;
    QSignalSpy progress{&manager, SIGNAL(sigDownloadProgress(qint64, qint64))};
    QSignalSpy finished{&manager, SIGNAL(sigDownloadFinished(const QString &, bool))};
};

} // namespace

class TestOvDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saveFileName_data();
    void saveFileName();
    void transferRate_data();
    void transferRate();
    void downloads_data();
    void downloads();
    void queueRunsOneAtATime();
    void abortAndDestructionKeepPartialFiles();

private:
    QTemporaryDir certDir;
};

void TestOvDownloadManager::initTestCase()
{
    QString error;
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(certDir.path(), &certPath, &keyPath, &error),
             qPrintable(error));
    // Trusted process-wide, as a system CA would be, so the product's plain requests reach
    // the HTTPS test server.
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificates(certPath);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

void TestOvDownloadManager::saveFileName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *tag, const char *path, const char *taken, const char *name) {
        QTest::newRow(tag) << "http://h/" + QString::fromUtf8(path)
                           << QString(taken).split(' ', Qt::SkipEmptyParts)
                           << QString::fromUtf8(name);
    };
    row("free name as it is", "updates/pkg.zip", "pkg.0.zip", "pkg.zip");
    row("first gap is filled", "updates/pkg.zip", "pkg.zip pkg.1.zip", "pkg.0.zip");
    row("middle of a two-dot name dropped", "pkg.setup.zip", "pkg.setup.zip", "pkg.0.zip");
    row("empty base name", ".zip", ".zip", "download.0.zip");
    row("no suffix: trailing dot", "pkg", "pkg", "pkg.0.");
    row("path ending in a slash", "updates/", "", "");
    row("query and fragment are no part", "pkg.zip?name=../../x.zip#y/z", "", "pkg.zip");
    row("percent-encoding decoded", "%E5%8C%85%20v2.zip", "", "包 v2.zip");
    row("encoded slash", "x/..%2F..%2Fevil.zip", "", "evil.zip");
    row("parent directory", "a/%2E%2E", "..", "download.0.");
}

void TestOvDownloadManager::saveFileName()
{
    QFETCH(QString, url);
    QFETCH(QStringList, taken);
    QStringList asked;
    const QString name = OvDownloadRules::saveFileName(QUrl(url), [&](const QString &candidate) {
        asked << candidate;
        return taken.contains(candidate);
    });
    QTEST(name, "expected");
    QVERIFY2(!name.contains('/'), qPrintable("save name with a separator: " + name));
    QVERIFY2(asked.size() <= taken.size() + 1, qPrintable("asked about: " + asked.join(' ')));
}

void TestOvDownloadManager::transferRate_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");

    QTest::newRow("under 1 kB/s") << qint64(1023) << qint64(1000) << 1023.0 << "bytes/sec";
    QTest::newRow("1 kB/s") << qint64(1024) << qint64(1000) << 1.0 << "kB/s";
    QTest::newRow("under 1 MB/s") << qint64(1048575) << qint64(1000) << 1048575 / 1024.0 << "kB/s";
    QTest::newRow("1 MB/s") << qint64(1048576) << qint64(1000) << 1.0 << "MB/s";
    QTest::newRow("per millisecond") << qint64(3 * 1048576) << qint64(2) << 1500.0 << "MB/s";
    QTest::newRow("first millisecond: infinite") << qint64(100) << qint64(0) << HUGE_VAL << "MB/s";
    QTest::newRow("nothing in no time: undefined")
        << qint64(0) << qint64(0) << std::nan("") << "MB/s";
}

void TestOvDownloadManager::transferRate()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, ms);
    const OvDownloadRules::TransferRate rate = OvDownloadRules::transferRate(bytes, ms);
    QTEST(rate.unit, "unit");
    QTEST(rate.value, "value");
}

void TestOvDownloadManager::downloads_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("announced"); // the total reported before the end
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("sized, in pieces") << "sized" << 600000 << qint64(600000) << true;
    QTest::newRow("size unknown, in pieces") << "chunked" << 600000 << qint64(-1) << true;
    QTest::newRow("compressed on the fly") << "gzip" << 200000 << qint64(-1) << true;
    QTest::newRow("empty file") << "empty" << 0 << qint64(0) << true;
    QTest::newRow("http to http redirect followed") << "http" << 120000 << qint64(120000) << true;
    QTest::newRow("404") << "404" << 0 << qint64(0) << false;
    QTest::newRow("connection cut mid-body") << "cut" << (1 << 20) << qint64(0) << false;
    QTest::newRow("connection silent mid-body") << "stall" << (1 << 20) << qint64(0) << false;
    QTest::newRow("https to http redirect refused") << "down" << 1000 << qint64(0) << false;
}

void TestOvDownloadManager::downloads()
{
    QFETCH(QString, kind);
    QFETCH(int, size);
    QFETCH(qint64, announced);
    QFETCH(bool, succeeds);

    // Each kind at /<kind>/pkg.zip. Stalls of 150 ms between pieces, which nobody ends early,
    // make Qt report progress midway.
    Rig rig;
    const QByteArray body = payload(size);
    rig.serve("/sized/pkg.zip", body, 200000, 150);
    rig.serve("/chunked/pkg.zip", body, 200000, 150, "chunked");
    rig.serve("/cut/pkg.zip", body, 256 * 1024, 0, "cut");
    rig.serve("/stall/pkg.zip", body, 256 * 1024); // held at the gate after the first piece
    rig.serve("/empty/pkg.zip", body);
    rig.serve("/new/pkg.zip", body);
    rig.serve("/gzip/pkg.zip", body, 0, 0, "text/plain"); // random bytes: gzip grows them
    rig.redirect(rig.server, "/http/pkg.zip", rig.server);
    rig.redirect(rig.secure, "/down/pkg.zip", rig.server);
    QVERIFY(rig.server.start() && rig.secure.start());
    const QUrl url((kind == "down" ? rig.secure : rig.server).url("/" + kind + "/pkg.zip"));
    rig.manager.setStallTimeout(1500); // ten times the pauses above
    rig.manager.appendDownload(url);
    QVERIFY2(rig.log().isEmpty(), "a download started inside appendDownload");

    // The save name is that of the URL queued, wherever the bytes came from.
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    QCOMPARE(rig.results(), QStringList{succeeds ? "pkg.zip:ok" : "pkg.zip:failed"});
    // The whole log of one download, in order.
    const QString expected =
        QString("^Downloading  \"%1\"\n(OvDownloadManager::onDownloadProgress  .+\n)*"
                "OvDownloadManager::onDownloadFinished\n%2%3/1 files downloaded successfully$")
            .arg(QRegularExpression::escape(url.toString()),
                 succeeds ? "" : "Failed download:  \".+\"\n", succeeds ? "1" : "0");
    QVERIFY2(QRegularExpression(expected).match(rig.log()).hasMatch(), qPrintable(rig.log()));
    if (!succeeds) {
        QVERIFY2(!QFile::exists("pkg.zip"), "the failed download's file stayed");
        QVERIFY2(kind != "stall" || rig.logCapture.contains("No data received for 1500 ms"),
                 qPrintable(rig.log()));
        QVERIFY2(kind != "down" || rig.server.requests().empty(), "the redirect was followed");
        return;
    }
    QVERIFY2(fileContent("pkg.zip") == body, "saved bytes differ");

    // Every report as the reply gave it (the total, or -1, until the whole file at the end), each
    // with one log line of its percentage, speed and unit.
    const QStringList reports = rig.logCapture.lines().filter(
        QRegularExpression("^OvDownloadManager::onDownloadProgress  "));
    QVERIFY2(!rig.progress.isEmpty(), "no progress reported");
    QCOMPARE(reports.size(), rig.progress.size());
    QCOMPARE(rig.progress.last(), (QList<QVariant>{qint64(size), qint64(size)}));
    const qint64 first = rig.progress.first().first().toLongLong();
    QVERIFY2(!(kind == "sized" || kind == "chunked") || (first >= 200000 && first < size),
             "no report while the server paused");
    for (int i = 0; i < reports.size(); ++i) {
        const qint64 received = rig.progress[i][0].toLongLong();
        const qint64 total = rig.progress[i][1].toLongLong();
        QString percent; // formatted as the debug stream formats it
        QDebug(&percent) << "OvDownloadManager::onDownloadProgress " << received * 100.0 / total;
        const QRegularExpression line('^' + QRegularExpression::escape(percent) +
                                      "[^ ]+ \"(bytes/sec|kB/s|MB/s)\"$");
        QVERIFY2(line.match(reports[i]).hasMatch() &&
                     (i == reports.size() - 1 || total == announced),
                 qPrintable(QString("report %1/%2: ").arg(received).arg(total) + reports[i]));
    }
}

void TestOvDownloadManager::queueRunsOneAtATime()
{
    Rig rig;
    const QList<QByteArray> bodies{payload(500000, 1), payload(150000, 2), payload(80000, 3)};
    rig.serve("/a/pkg.zip", bodies[0], 100000); // held at the gate until the test opens it
    rig.serve("/b/pkg.zip", bodies[1]);
    rig.serve("/c/other.zip", bodies[2]);
    QVERIFY(rig.server.start());
    QFile existing("pkg.zip");
    QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("earlier") == 7);
    existing.close();

    // The finished signal is posted: when it arrives, the next download has already started.
    QList<int> starts;
    connect(&rig.manager, &OvDownloadManager::sigDownloadFinished,
            [&] { starts << rig.logCapture.count("Downloading  "); });
    const QUrl folder = rig.url("/updates/"); // no file name to save under
    for (const QUrl &url : {rig.url("/a/pkg.zip"), folder, rig.url("/b/pkg.zip")})
        rig.manager.appendDownload(url);
    QTRY_VERIFY2(QFileInfo("pkg.0.zip").size() > 0, "the first never started");
    rig.manager.appendDownload(rig.url("/c/other.zip"));
    const bool overlapped = QTest::qWaitFor([&] { return !rig.server.requests().empty(); }, 300);
    QVERIFY2(!overlapped, "another download ran beside the first");

    rig.gate.open();
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 4, 10000);
    QCOMPARE(rig.results(),
             (QStringList{"pkg.0.zip:ok", ":failed", "pkg.1.zip:ok", "other.zip:ok"}));
    QCOMPARE(starts, (QList<int>{2, 2, 3, 3}));
    const QList<QByteArray> saved{fileContent("pkg.zip"), fileContent("pkg.0.zip"),
                                  fileContent("pkg.1.zip"), fileContent("other.zip")};
    QVERIFY2(saved == QList<QByteArray>{"earlier"} + bodies, "a file holds the wrong bytes");
    QVERIFY2(rig.logCapture.count("Problem opening save file  \"\" for download.  \"" +
                                  folder.toString() + "\"  :  \"") == 1 &&
                 rig.logCapture.count("files downloaded successfully") == 1 &&
                 rig.logCapture.contains("3/4 files downloaded successfully"),
             qPrintable(rig.log()));
}

void TestOvDownloadManager::abortAndDestructionKeepPartialFiles()
{
    Rig rig;
    const QByteArray body = payload(1 << 20);
    rig.serve("/pkg.zip", body, 256 * 1024);
    QVERIFY(rig.server.start());
    rig.manager.abortDownload(); // idle: nothing to abort
    QVERIFY2(rig.log().isEmpty(), qPrintable(rig.log()));

    const QUrl url = rig.url("/pkg.zip");
    rig.manager.appendDownload(url);
    QTRY_VERIFY2(QFileInfo("pkg.zip").size() > 0, "no bytes written");
    rig.manager.abortDownload();
    rig.manager.abortDownload(); // nothing runs any more
    QVERIFY2(!rig.finished.wait(300), "an aborted download was reported");
    QVERIFY2(rig.logCapture.count("Failed download: ") == 1 &&
                 rig.logCapture.contains("Failed download:  \"Operation canceled\"") &&
                 !rig.logCapture.contains("files downloaded successfully"),
             qPrintable(rig.log()));

    // The same URL again, by a manager that goes away while the package arrives (the window
    // closed mid-update): saved under the next free name, and nothing is reported.
    auto manager = std::make_unique<OvDownloadManager>();
    QSignalSpy finished(manager.get(), &OvDownloadManager::sigDownloadFinished);
    manager->appendDownload(url);
    QTRY_VERIFY2(QFileInfo("pkg.0.zip").size() > 0, "no bytes under pkg.0.zip");
    manager.reset();
    rig.gate.open();
    QVERIFY2(!finished.wait(300), "a destroyed manager reported");
    for (const QString name : {"pkg.zip", "pkg.0.zip"}) {
        const QByteArray partial = fileContent(name);
        QVERIFY2(!partial.isEmpty() && partial.size() < body.size() && body.startsWith(partial),
                 qPrintable(name + " is not a partial download"));
    }
}

QTEST_GUILESS_MAIN(TestOvDownloadManager)
#include "tst_ovdownloadmanager.moc"
