#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "download/OvDownloadManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <zlib.h>

namespace {

// Deterministic bytes in which a lost, doubled or misplaced piece shows in a comparison.
QByteArray payload(int size, quint32 seed = 1)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u;
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        data[i] = char(x >> 24);
    }
    return data;
}

// `data` as a gzip stream, the way a server compresses a response on the fly.
QByteArray gzipped(const QByteArray &data)
{
    z_stream zs{};
    QByteArray out(int(deflateBound(&zs, uLong(data.size()))) + 64, Qt::Uninitialized);
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const bool done = deflate(&zs, Z_FINISH) == Z_STREAM_END;
    out.resize(int(zs.total_out));
    deflateEnd(&zs);
    return done ? out : QByteArray();
}

QByteArray fileContent(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n'));
}

// Index of the first line at or after `from` that starts with `prefix`, or -1.
int lineIndex(const QStringList &lines, const QString &prefix, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (lines.at(i).startsWith(prefix))
            return i;
    return -1;
}

// The requests a server's handler threads began, in order.
class Journal
{
public:
    void add(const std::string &path)
    {
        std::lock_guard<std::mutex> lock(mutex);
        paths << QString::fromStdString(path);
    }
    QStringList list() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return paths;
    }

private:
    mutable std::mutex mutex;
    QStringList paths;
};

// How one path answers.
struct Serving
{
    QByteArray body;
    int piece = 0;              // with a gate: the body goes out in pieces of this size
    OvTestGate *gate = nullptr; // waited on before every piece but the first; none: at once
    int gateMs = 10000;         // a gate nobody opens makes pauses of this length
    bool cutAtGate = false;     // drop the connection at the first wait instead of going on
    bool chunked = false;       // no Content-Length: the size is unknown to the client
    Journal *journal = nullptr; // records the path when the request arrives
};

void serve(httplib::Server &server, const std::string &path, const Serving &how)
{
    // Sends the next piece from `offset` on; false ends the connection.
    auto send = [how](size_t offset, httplib::DataSink &sink) {
        const size_t size = size_t(how.body.size());
        size_t length = size - offset;
        if (how.gate && how.piece > 0) {
            if (offset > 0) {
                how.gate->wait(how.gateMs);
                if (how.cutAtGate)
                    return false;
            }
            length = std::min(length, size_t(how.piece));
        }
        if (length > 0 && !sink.write(how.body.constData() + offset, length))
            return false;
        if (how.chunked && offset + length == size)
            sink.done();
        return true;
    };
    server.Get(path, [how, path, send](const httplib::Request &, httplib::Response &res) {
        if (how.journal)
            how.journal->add(path);
        if (how.chunked)
            res.set_chunked_content_provider("application/zip", send);
        else if (how.body.isEmpty())
            res.set_content(std::string(), "application/zip");
        else
            res.set_content_provider(size_t(how.body.size()), "application/zip",
                                     [send](size_t offset, size_t, httplib::DataSink &sink) {
                                         return send(offset, sink);
                                     });
    });
}

} // namespace

// Listens to the manager through the same signature strings the update window connects.
class OvDownloadRecorder : public QObject
{
    Q_OBJECT

public:
    explicit OvDownloadRecorder(OvDownloadManager *manager)
    {
        isConnected = connect(manager, SIGNAL(sigDownloadProgress(qint64, qint64)), this,
                              SLOT(onDownloadProgress(qint64, qint64))) &&
                      connect(manager, SIGNAL(sigDownloadFinished(const QString &, bool)), this,
                              SLOT(onDownloadFinished(const QString &, bool)));
    }

    bool waitFinished(int count, int ms = 10000)
    {
        return QTest::qWaitFor([this, count] { return finished.size() >= count; }, ms);
    }

    bool isConnected = false;
    QList<QPair<qint64, qint64>> progress;
    QList<QPair<QString, bool>> finished;
    std::function<void(const QString &, bool)> whenFinished;

public slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
    {
        progress.append({bytesReceived, bytesTotal});
    }
    void onDownloadFinished(const QString &filename, bool isSucc)
    {
        finished.append({filename, isSucc});
        if (whenFinished)
            whenFinished(filename, isSucc);
    }
};

using Finished = QList<QPair<QString, bool>>;

// One test's server, log and manager, torn down in a safe order however the test ends: held
// handlers are let go, the manager goes, and then the server, whose handler threads use the
// journal and the gate.
class Rig
{
public:
    ~Rig() { gate.open(); }
    void serve(const std::string &path, const Serving &how) { ::serve(server.server(), path, how); }
    QUrl url(const QString &path) const { return QUrl(server.url(path)); }

    Journal journal;
    OvTestGate gate;
    OvTestServer server;
    std::unique_ptr<OvTestServer> secure; // HTTPS, for the tests that set one
    OvTestSupport::LogCapture log;
    OvDownloadManager manager;
    OvDownloadRecorder recorder{&manager};
};

class TestOvDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void downloadsWithProgress_data();
    void downloadsWithProgress();
    void queuedUrlsRunInOrderUnderNumberedNames();
    void urlAddedMidDownloadWaits();
    void compressedBodyIsNotTakenForCut();
    void failures_data();
    void failures();
    void connectionCutMidBodyRemovesFile();
    void abortKeepsPartialFileAndReportsNothing();
    void retryAfterFailureCounts();
    void redirects_data();
    void redirects();
    void unopenableSaveFileIsReportedAndSkipped();
    void destroyedMidDownload();

private:
    std::unique_ptr<QTemporaryDir> workDir;
    QString previousDir;
    QTemporaryDir certDir;
    QString certPath;
    QString keyPath;
    QSslConfiguration originalSsl;
};

void TestOvDownloadManager::initTestCase()
{
    QVERIFY(certDir.isValid());
    QString error;
    QVERIFY2(OvTestSupport::makeSelfSignedCertificate(certDir.path(), &certPath, &keyPath, &error),
             qPrintable(error));
    // Trust the test certificate process-wide, the way a system CA would be trusted, so that
    // the product's own requests reach the HTTPS test server unchanged.
    originalSsl = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = originalSsl;
    trusting.addCaCertificates(certPath);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

void TestOvDownloadManager::cleanupTestCase()
{
    QSslConfiguration::setDefaultConfiguration(originalSsl);
}

void TestOvDownloadManager::init()
{
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir->isValid());
    previousDir = QDir::currentPath();
    QVERIFY2(QDir::setCurrent(workDir->path()), qPrintable(workDir->path()));
}

void TestOvDownloadManager::cleanup()
{
    QDir::setCurrent(previousDir);
    workDir.reset();
}

void TestOvDownloadManager::downloadsWithProgress_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("piece"); // a slow server pauses after each piece; 0 sends at once
    QTest::addColumn<bool>("chunked");

    QTest::newRow("known size at once") << 300000 << 0 << false;
    QTest::newRow("known size, slow server") << 600000 << 200000 << false;
    QTest::newRow("unknown size, slow server") << 600000 << 200000 << true;
    QTest::newRow("empty file") << 0 << 0 << false;
}

void TestOvDownloadManager::downloadsWithProgress()
{
    QFETCH(int, size);
    QFETCH(int, piece);
    QFETCH(bool, chunked);

    // Nobody opens the gate before the end: a server that stalls between pieces makes Qt
    // report progress before the end, which it holds back within 100 ms of its last report.
    Rig rig;
    Serving how{payload(size), piece, piece > 0 ? &rig.gate : nullptr, 150};
    how.chunked = chunked;
    rig.serve("/files/pkg.zip", how);
    QVERIFY(rig.server.start());
    QVERIFY2(rig.recorder.isConnected, "the window's signature strings do not connect");
    const QUrl url = rig.url(QStringLiteral("/files/pkg.zip"));
    rig.manager.appendDownload(url);
    QVERIFY2(rig.log.lines().isEmpty(), "a download started inside appendDownload");

    QVERIFY2(rig.recorder.waitFinished(1), "no sigDownloadFinished");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.zip", true}}));
    QVERIFY2(fileContent(QStringLiteral("pkg.zip")) == how.body, "saved bytes differ");

    // Every report carries the reply's values: the total while it is known (-1 while it is
    // not), growing counts, and the whole file at the end.
    const auto &progress = rig.recorder.progress;
    QVERIFY2(!progress.isEmpty(), "no progress reported");
    QCOMPARE(progress.last(), (QPair<qint64, qint64>(size, size)));
    const qint64 announced = chunked ? -1 : size;
    for (int i = 0; i < progress.size(); ++i) {
        const QString at = QStringLiteral("report %1 of %2: %3/%4")
                               .arg(i)
                               .arg(progress.size())
                               .arg(progress[i].first)
                               .arg(progress[i].second);
        QVERIFY2(i == 0 || progress[i].first >= progress[i - 1].first, qPrintable(at));
        QVERIFY2(i == progress.size() - 1 || progress[i].second == announced, qPrintable(at));
    }
    if (piece > 0) {
        const bool midway = progress.first().first >= piece && progress.first().first < size;
        QVERIFY2(midway && progress.first().second == announced, "no report while paused");
    }

    // One log line per report, its percentage computed from that report's two values.
    const QStringList lines = rig.log.lines();
    const QString prefix = QStringLiteral("OvDownloadManager::onDownloadProgress  ");
    const QStringList progressLines = lines.filter(QRegularExpression(QLatin1Char('^') + prefix));
    QCOMPARE(progressLines.size(), progress.size());
    for (int i = 0; i < progress.size(); ++i) {
        const QStringList items = progressLines[i].mid(prefix.size()).split(QLatin1Char(' '));
        QVERIFY2(items.size() == 3, qPrintable(progressLines[i]));
        const double expected = double(progress[i].first) / double(progress[i].second) * 100.0;
        const double logged = items[0].toDouble();
        QVERIFY2(std::isnan(expected) ? std::isnan(logged)
                                      : std::abs(logged - expected) <= 1e-5 * std::abs(expected),
                 qPrintable(progressLines[i]));
        QVERIFY2(QStringList({"\"bytes/sec\"", "\"kB/s\"", "\"MB/s\""}).contains(items[2]),
                 qPrintable(progressLines[i]));
    }

    const int downloading =
        lines.indexOf(QStringLiteral("Downloading  \"%1\"").arg(url.toString()));
    const int finished = lines.indexOf(QStringLiteral("OvDownloadManager::onDownloadFinished"));
    const int summary = lines.indexOf(QStringLiteral("1/1 files downloaded successfully"));
    QVERIFY2(downloading >= 0 && finished > downloading && summary > finished,
             qPrintable(joined(lines)));
    QVERIFY2(!rig.log.contains(QStringLiteral("Failed download: ")), qPrintable(joined(lines)));
}

void TestOvDownloadManager::queuedUrlsRunInOrderUnderNumberedNames()
{
    Rig rig;
    const Serving first{payload(200000, 1), 0, nullptr, 0, false, false, &rig.journal};
    const Serving second{payload(150000, 2), 0, nullptr, 0, false, false, &rig.journal};
    rig.serve("/a/pkg.zip", first);
    rig.serve("/b/pkg.zip", second);
    QVERIFY(rig.server.start());
    {
        QFile existing(QStringLiteral("pkg.zip"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("installed earlier");
    }

    // The finished signal is posted: by the time it arrives the next download has started.
    QList<int> startsSeen;
    rig.recorder.whenFinished = [&](const QString &, bool) {
        startsSeen << rig.log.count(QStringLiteral("Downloading  "));
    };
    rig.manager.appendDownload(rig.url(QStringLiteral("/a/pkg.zip")));
    rig.manager.appendDownload(rig.url(QStringLiteral("/b/pkg.zip")));

    QVERIFY2(rig.recorder.waitFinished(2), "both downloads did not finish");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.0.zip", true}, {"pkg.1.zip", true}}));
    QCOMPARE(fileContent(QStringLiteral("pkg.zip")), QByteArray("installed earlier"));
    QVERIFY2(fileContent(QStringLiteral("pkg.0.zip")) == first.body, "first file differs");
    QVERIFY2(fileContent(QStringLiteral("pkg.1.zip")) == second.body, "second file differs");
    QCOMPARE(rig.journal.list(), (QStringList{"/a/pkg.zip", "/b/pkg.zip"}));
    QCOMPARE(startsSeen, (QList<int>{2, 2}));

    // A second scheduled start would log a second summary once the queue was empty.
    QSignalSpy late(&rig.manager, &OvDownloadManager::sigDownloadFinished);
    QVERIFY(!late.wait(200));
    QCOMPARE(rig.log.count(QStringLiteral("files downloaded successfully")), 1);
    QVERIFY2(rig.log.contains(QStringLiteral("2/2 files downloaded successfully")),
             qPrintable(joined(rig.log.lines())));
}

void TestOvDownloadManager::urlAddedMidDownloadWaits()
{
    Rig rig;
    const Serving first{payload(500000, 3), 100000, &rig.gate, 10000, false, false, &rig.journal};
    const Serving second{payload(80000, 4), 0, nullptr, 0, false, false, &rig.journal};
    rig.serve("/first.zip", first);
    rig.serve("/second.zip", second);
    QVERIFY(rig.server.start());

    rig.manager.appendDownload(rig.url(QStringLiteral("/first.zip")));
    QTRY_VERIFY2(rig.journal.list().contains(QStringLiteral("/first.zip")), "never requested");
    rig.manager.appendDownload(rig.url(QStringLiteral("/second.zip")));
    const bool overlapped = QTest::qWaitFor([&] { return rig.journal.list().size() > 1; }, 300);
    QVERIFY2(!overlapped, "the second download started while the first was running");
    QVERIFY(rig.recorder.finished.isEmpty());

    rig.gate.open();
    QVERIFY2(rig.recorder.waitFinished(2), "the queued download never ran");
    QCOMPARE(rig.recorder.finished, (Finished{{"first.zip", true}, {"second.zip", true}}));
    QVERIFY2(fileContent(QStringLiteral("first.zip")) == first.body, "first file differs");
    QVERIFY2(fileContent(QStringLiteral("second.zip")) == second.body, "second file differs");

    const QStringList lines = rig.log.lines();
    const int firstEnd = lineIndex(lines, QStringLiteral("OvDownloadManager::onDownloadFinished"));
    const int secondStart = lineIndex(
        lines, QStringLiteral("Downloading  \"%1\"").arg(rig.url("/second.zip").toString()));
    QVERIFY2(firstEnd >= 0 && secondStart > firstEnd, qPrintable(joined(lines)));
    QVERIFY2(rig.log.count(QStringLiteral("2/2 files downloaded successfully")) == 1,
             qPrintable(joined(lines)));
}

void TestOvDownloadManager::compressedBodyIsNotTakenForCut()
{
    // Random bytes grow when compressed, so the announced length exceeds what is saved.
    const QByteArray body = payload(200000);
    const std::string wire = gzipped(body).toStdString();
    QVERIFY2(wire.size() > size_t(body.size()), "the gzip stream did not come out larger");
    Rig rig;
    rig.server.server().Get("/pkg.zip", [&wire](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(wire, "application/zip");
    });
    QVERIFY(rig.server.start());
    rig.manager.appendDownload(rig.url(QStringLiteral("/pkg.zip")));
    QVERIFY2(rig.recorder.waitFinished(1), "no sigDownloadFinished");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.zip", true}}));
    QVERIFY2(fileContent(QStringLiteral("pkg.zip")) == body,
             "saved bytes are not the decoded body");
}

void TestOvDownloadManager::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("404") << "404";
    QTest::newRow("500 with a body") << "500";
    QTest::newRow("endless redirect") << "loop";
    QTest::newRow("nobody listening") << "refused";
}

void TestOvDownloadManager::failures()
{
    QFETCH(QString, kind);

    Rig rig;
    rig.server.server().Get("/500/pkg.zip", [](const httplib::Request &, httplib::Response &res) {
        res.status = 500;
        res.set_content(std::string(100000, 'e'), "text/plain");
    });
    rig.server.server().Get("/loop/pkg.zip", [](const httplib::Request &, httplib::Response &res) {
        res.set_redirect("/loop/pkg.zip");
    });
    QVERIFY(rig.server.start());
    QUrl url = rig.url(QStringLiteral("/%1/pkg.zip").arg(kind));
    if (kind == QLatin1String("refused")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url.setPort(probe.serverPort());
    } // the probe has closed: nothing listens on its port any more

    rig.manager.appendDownload(url);
    QVERIFY2(rig.recorder.waitFinished(1), "no sigDownloadFinished");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.zip", false}}));
    QVERIFY2(!QFile::exists(QStringLiteral("pkg.zip")), "the failed download's file stayed");
    const QStringList lines = rig.log.lines();
    const int failed = lineIndex(lines, QStringLiteral("Failed download:  \""));
    const int summary = lines.indexOf(QStringLiteral("0/1 files downloaded successfully"));
    QVERIFY2(failed >= 0 && summary > failed && lines[failed].size() > 22,
             qPrintable(joined(lines)));
}

void TestOvDownloadManager::connectionCutMidBodyRemovesFile()
{
    Rig rig;
    rig.serve("/pkg.zip", Serving{payload(1 << 20), 256 * 1024, &rig.gate, 10000, true});
    QVERIFY(rig.server.start());
    rig.manager.appendDownload(rig.url(QStringLiteral("/pkg.zip")));
    QTRY_VERIFY2(QFileInfo(QStringLiteral("pkg.zip")).size() > 0, "no bytes before the cut");

    rig.gate.open(); // the server now drops the connection
    QVERIFY2(rig.recorder.waitFinished(1), "no sigDownloadFinished after the cut");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.zip", false}}));
    QVERIFY2(!QFile::exists(QStringLiteral("pkg.zip")), "the partial file stayed");
    QVERIFY2(rig.log.contains(QStringLiteral("Failed download: ")),
             qPrintable(joined(rig.log.lines())));
}

void TestOvDownloadManager::abortKeepsPartialFileAndReportsNothing()
{
    Rig rig;
    const QByteArray body = payload(1 << 20);
    rig.serve("/pkg.zip", Serving{body, 256 * 1024, &rig.gate});
    QVERIFY(rig.server.start());
    rig.manager.abortDownload(); // idle: nothing to abort
    QVERIFY2(rig.log.lines().isEmpty(), qPrintable(joined(rig.log.lines())));

    const QUrl url = rig.url(QStringLiteral("/pkg.zip"));
    rig.manager.appendDownload(url);
    QTRY_VERIFY2(QFileInfo(QStringLiteral("pkg.zip")).size() > 0, "no bytes written");
    rig.manager.abortDownload();
    QVERIFY2(rig.log.contains(QStringLiteral("Failed download:  \"Operation canceled\"")),
             qPrintable(joined(rig.log.lines())));
    QSignalSpy finished(&rig.manager, &OvDownloadManager::sigDownloadFinished);
    QVERIFY2(!finished.wait(300), "an aborted download was reported");
    const QByteArray partial = fileContent(QStringLiteral("pkg.zip"));
    QVERIFY2(!partial.isEmpty() && partial.size() < body.size() && body.startsWith(partial),
             qPrintable(QStringLiteral("partial file of %1 bytes").arg(partial.size())));
    QVERIFY2(!rig.log.contains(QStringLiteral("files downloaded successfully")),
             "the queue went on after an abort");

    const int linesBefore = rig.log.lines().size();
    rig.manager.abortDownload(); // after the abort: nothing runs any more
    QCOMPARE(rig.log.lines().size(), linesBefore);

    rig.gate.open();
    rig.manager.appendDownload(url);
    QVERIFY2(rig.recorder.waitFinished(1), "the download after the abort did not finish");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.0.zip", true}}));
    QVERIFY2(fileContent(QStringLiteral("pkg.0.zip")) == body, "retried file differs");
    QCOMPARE(fileContent(QStringLiteral("pkg.zip")), partial);
    QVERIFY2(rig.log.contains(QStringLiteral("1/2 files downloaded successfully")),
             qPrintable(joined(rig.log.lines())));
}

void TestOvDownloadManager::retryAfterFailureCounts()
{
    Rig rig;
    std::atomic<int> calls{0};
    const QByteArray body = payload(50000);
    rig.server.server().Get("/pkg.zip", [&](const httplib::Request &, httplib::Response &res) {
        if (calls++ == 0)
            res.status = 503;
        else
            res.set_content(body.toStdString(), "application/zip");
    });
    QVERIFY(rig.server.start());

    const QUrl url = rig.url(QStringLiteral("/pkg.zip"));
    // Retry from the finished slot, as the window does when the user asks for it.
    rig.recorder.whenFinished = [&](const QString &, bool isSucc) {
        if (!isSucc)
            rig.manager.appendDownload(url);
    };
    rig.manager.appendDownload(url);
    QVERIFY2(rig.recorder.waitFinished(2), "the retry did not finish");
    QCOMPARE(rig.recorder.finished, (Finished{{"pkg.zip", false}, {"pkg.zip", true}}));
    QVERIFY2(fileContent(QStringLiteral("pkg.zip")) == body, "retried file differs");
    const QStringList lines = rig.log.lines();
    const int first = lines.indexOf(QStringLiteral("0/1 files downloaded successfully"));
    const int second = lines.indexOf(QStringLiteral("1/2 files downloaded successfully"));
    QVERIFY2(first >= 0 && second > first, qPrintable(joined(lines)));
}

void TestOvDownloadManager::redirects_data()
{
    QTest::addColumn<bool>("fromHttps");
    QTest::addColumn<bool>("toHttps");
    QTest::addColumn<bool>("followed");

    QTest::newRow("http to http") << false << false << true;
    QTest::newRow("https to https") << true << true << true;
    QTest::newRow("http up to https") << false << true << true;
    QTest::newRow("https down to http is refused") << true << false << false;
}

void TestOvDownloadManager::redirects()
{
    QFETCH(bool, fromHttps);
    QFETCH(bool, toHttps);
    QFETCH(bool, followed);

    Rig rig;
    rig.secure = std::make_unique<OvTestServer>(certPath, keyPath);
    OvTestServer &origin = fromHttps ? *rig.secure : rig.server;
    OvTestServer &target = toHttps ? *rig.secure : rig.server;
    const Serving how{payload(120000), 0, nullptr, 0, false, false, &rig.journal};
    serve(target.server(), "/new/pkg-2.1.zip", how);
    // The target's port is known only once it listens; the handler reads it then.
    origin.server().Get("/old.zip", [&target](const httplib::Request &, httplib::Response &res) {
        res.set_redirect(target.url(QStringLiteral("/new/pkg-2.1.zip")).toStdString());
    });
    QVERIFY(rig.server.start());
    QVERIFY(rig.secure->start());

    rig.manager.appendDownload(QUrl(origin.url(QStringLiteral("/old.zip"))));
    QVERIFY2(rig.recorder.waitFinished(1), "no sigDownloadFinished");
    // The save name is that of the URL queued, wherever the bytes came from.
    QCOMPARE(rig.recorder.finished, (Finished{{"old.zip", followed}}));
    QCOMPARE(rig.journal.list().size(), followed ? 1 : 0);
    if (followed) {
        QVERIFY2(fileContent(QStringLiteral("old.zip")) == how.body, "saved bytes differ");
    } else {
        QVERIFY2(!QFile::exists(QStringLiteral("old.zip")), "the refused download's file stayed");
        QVERIFY2(rig.log.contains(QStringLiteral("Failed download: ")),
                 qPrintable(joined(rig.log.lines())));
    }
}

void TestOvDownloadManager::unopenableSaveFileIsReportedAndSkipped()
{
    Rig rig;
    const Serving how{payload(40000), 0, nullptr, 0, false, false, &rig.journal};
    rig.serve("/pkg.zip", how);
    QVERIFY(rig.server.start());

    const QUrl folder = rig.url(QStringLiteral("/updates/"));
    QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
    rig.manager.appendDownload(folder);
    rig.manager.appendDownload(rig.url(QStringLiteral("/pkg.zip")));
    QVERIFY2(rig.recorder.waitFinished(2), "not both URLs were reported");
    QCOMPARE(rig.recorder.finished, (Finished{{"", false}, {"pkg.zip", true}}));
    QCOMPARE(rig.journal.list(), QStringList{"/pkg.zip"});
    QVERIFY2(fileContent(QStringLiteral("pkg.zip")) == how.body, "saved bytes differ");

    const QStringList lines = rig.log.lines();
    const int problem = lineIndex(
        lines, QStringLiteral("Problem opening save file  \"\" for download.  \"%1\"  :  \"")
                   .arg(folder.toString()));
    const int summary = lines.indexOf(QStringLiteral("1/2 files downloaded successfully"));
    QVERIFY2(problem >= 0 && summary > problem, qPrintable(joined(lines)));
}

void TestOvDownloadManager::destroyedMidDownload()
{
    Rig rig;
    rig.serve("/pkg.zip", Serving{payload(1 << 20), 256 * 1024, &rig.gate});
    QVERIFY(rig.server.start());

    auto manager = std::make_unique<OvDownloadManager>();
    OvDownloadRecorder recorder(manager.get());
    manager->appendDownload(rig.url(QStringLiteral("/pkg.zip")));
    QTRY_VERIFY2(QFileInfo(QStringLiteral("pkg.zip")).size() > 0, "no bytes written");
    manager.reset(); // the window goes away while its package is arriving
    rig.gate.open();
    QVERIFY(!recorder.waitFinished(1, 300));
    QVERIFY2(QFileInfo(QStringLiteral("pkg.zip")).size() > 0, "the partial file went away");
}

QTEST_GUILESS_MAIN(TestOvDownloadManager)
#include "tst_ovdownloadmanager.moc"
