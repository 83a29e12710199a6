#include "common/OvTestProxy.h"
#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "core/check/OvHttpHelper.h"
#include "core/download/OvDownloadManager.h"
#include "core/download/OvDownloadRules.h"
#include "core/download/OvProxyRules.h"

#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QStorageInfo>
#include <QTcpServer>
#include <QtTest>

#include <atomic>
#include <cmath>

using Error = OvDownloadManager::Error;
Q_DECLARE_METATYPE(Error)

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

// What one path serves; the test may change it between two tries.
struct Served
{
    QByteArray body;
    int piece = 0;       // 0: all at once; else pieces of this size, the gate held before each
    int pauseMs = 10000; // but the first for at most this long
    // "chunked" leaves the size unannounced, "endless" too and never ends, "trickle" sends a
    // byte every 200 ms, "gzip" compresses on the fly, "200" ignores ranges, "short" answers a
    // range with only its first 1000 bytes.
    std::string how;
    std::string etag, lastModified;
    std::atomic<int> cuts{0};    // this many answers are cut after their first piece
    std::atomic<qint64> sent{0}; // body bytes handed to the network, over all answers
    std::string ranges;          // the Range header of every request, space-separated
};

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
    Served &serve(const std::string &path, const QByteArray &body, int piece = 0,
                  int pauseMs = 10000, const std::string &how = "")
    {
        auto s = std::make_shared<Served>();
        s->body = body, s->piece = piece, s->pauseMs = pauseMs, s->how = how;
        OvTestGate *held = &gate;
        server.server().Get(path, [s, held](const httplib::Request &req, httplib::Response &res) {
            s->ranges += req.get_header_value("Range") + ' ';
            const std::string ifRange = req.get_header_value("If-Range");
            auto &ranges = const_cast<httplib::Request &>(req).ranges; // served by httplib
            if (s->how == "200" || (ifRange != s->etag && ifRange != s->lastModified))
                ranges.clear();
            if (s->how == "short" && !ranges.empty())
                ranges[0].second = ranges[0].first + 999;
            for (const auto &header : {std::make_pair("ETag", s->etag),
                                       std::make_pair("Last-Modified", s->lastModified)})
                if (!header.second.empty())
                    res.set_header(header.first, header.second);
            const bool cut = s->cuts.fetch_sub(1) > 0;
            auto first = std::make_shared<bool>(true);
            const QByteArray body = s->body;
            const bool sized = s->how.empty() || s->how == "200" || s->how == "short" ||
                               s->how == "stall" || s->how == "trickle";
            auto send = [=](size_t offset, size_t length, httplib::DataSink &sink) {
                const size_t size = size_t(body.size());
                if (!*first && (cut || (!held->wait(s->how == "trickle" ? 200 : s->pauseMs) &&
                                        s->how == "stall")))
                    return false;
                if (s->how != "endless" && offset >= size)
                    return sink.done(), true; // the end of a chunked body
                *first = false;
                const size_t step = s->how == "trickle"   ? 1
                                    : s->how == "endless" ? 65536
                                                          : s->piece;
                const size_t n = std::min({length, size - offset % size, step});
                s->sent += n;
                return sink.write(body.constData() + offset % size, n);
            };
            if (s->piece == 0)
                res.set_content(body.toStdString(),
                                s->how == "gzip" ? "text/plain" : "application/zip");
            else if (sized)
                res.set_content_provider(body.size(), "application/zip", send);
            else
                res.set_chunked_content_provider("application/zip",
                                                 [send](size_t offset, httplib::DataSink &sink) {
                                                     return send(offset, SIZE_MAX, sink);
                                                 });
        });
        return *s;
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
    void proxyFor_data();
    void proxyFor();
    void downloads_data();
    void downloads();
    void resume_data();
    void resume();
    void throughProxy_data();
    void throughProxy();
    void checkAnswerBound();
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
    for (const char *name : {"http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        qunsetenv(name);
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

void TestOvDownloadManager::proxyFor_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("env"); // NAME=value
    QTest::addColumn<QString>("proxy");   // as a log names it
    QTest::addColumn<QString>("password");

    const auto row = [](const char *tag, const char *url, const char *env, const char *proxy,
                        const char *password = "") {
        QTest::newRow(tag) << url << QString(env).split(' ', Qt::SkipEmptyParts) << proxy
                           << password;
    };
    row("nothing set", "http://h/p", "", "none");
    row("http_proxy", "http://h/p", "http_proxy=http://px:3128", "http://px:3128");
    row("no scheme, no port", "http://h/p", "http_proxy=px", "http://px:1080");
    row("https takes https_proxy", "https://h/p", "http_proxy=a:1 https_proxy=b:2", "http://b:2");
    row("no fallback to http_proxy", "https://h/p", "http_proxy=a:1", "none");
    row("upper case", "https://h/p", "HTTPS_PROXY=b:2", "http://b:2");
    row("lower case first", "http://h/p", "HTTP_PROXY=u:1 http_proxy=l:2", "http://l:2");
    row("credentials decoded", "http://h/p", "http_proxy=http://me:p%40ss@px:8", "http://me@px:8",
        "p@ss");
    row("socks5", "http://h/p", "http_proxy=socks5h://px:9", "socks5://px:9");
    row("unknown scheme", "http://h/p", "http_proxy=ftp://px:9", "none");
    row("not http", "ftp://h/p", "http_proxy=px:1 all_proxy=px:1", "none");
    row("no_proxy host", "http://h/p", "http_proxy=px:1 no_proxy=x,h", "none");
    row("no_proxy domain", "http://a.b.h/p", "http_proxy=px:1 NO_PROXY=*.B.h", "none");
    row("no_proxy not a suffix", "http://ah/p", "http_proxy=px:1 no_proxy=.h", "http://px:1");
    row("no_proxy port", "http://h:8/p", "http_proxy=px:1 no_proxy=h:8", "none");
    row("no_proxy other port", "http://h/p", "http_proxy=px:1 no_proxy=h:8", "http://px:1");
    row("no_proxy star", "https://h/p", "https_proxy=px:1 no_proxy=*", "none");
}

void TestOvDownloadManager::proxyFor()
{
    QFETCH(QString, url);
    QFETCH(QStringList, env);
    const QNetworkProxy proxy = OvProxyRules::proxyFor(QUrl(url), [&env](const char *name) {
        const QStringList match = env.filter(QRegularExpression(QString("^%1=").arg(name)));
        return match.isEmpty() ? QByteArray() : match.first().section('=', 1).toUtf8();
    });
    QTEST(OvProxyRules::describe(proxy), "proxy");
    QTEST(proxy.password(), "password");
}

void TestOvDownloadManager::downloads_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("announced"); // the total reported before the end
    QTest::addColumn<Error>("error");

    QTest::newRow("sized, in pieces") << "sized" << 600000 << qint64(600000) << Error::None;
    QTest::newRow("size unknown, in pieces") << "chunked" << 600000 << qint64(-1) << Error::None;
    QTest::newRow("compressed on the fly") << "gzip" << 200000 << qint64(-1) << Error::None;
    QTest::newRow("empty file") << "empty" << 0 << qint64(0) << Error::None;
    QTest::newRow("http to http redirect followed")
        << "http" << 120000 << qint64(120000) << Error::None;
    QTest::newRow("404") << "404" << 0 << qint64(0) << Error::Network;
    QTest::newRow("connection cut mid-body") << "cut" << (1 << 20) << qint64(0) << Error::Network;
    QTest::newRow("connection silent mid-body")
        << "stall" << (1 << 20) << qint64(0) << Error::Stalled;
    QTest::newRow("a trickle") << "trickle" << 4000 << qint64(0) << Error::Stalled;
    QTest::newRow("endless, no length") << "endless" << 65536 << qint64(0) << Error::NoSpace;
    QTest::newRow("https to http redirect refused")
        << "down" << 1000 << qint64(0) << Error::Network;
}

void TestOvDownloadManager::downloads()
{
    QFETCH(QString, kind);
    QFETCH(int, size);
    QFETCH(qint64, announced);
    QFETCH(Error, error);

    // Each kind at /<kind>/pkg.zip. Stalls of 150 ms between pieces, which nobody ends early,
    // make Qt report progress midway.
    Rig rig;
    const QByteArray body = payload(size);
    rig.serve("/sized/pkg.zip", body, 200000, 150);
    rig.serve("/chunked/pkg.zip", body, 200000, 150, "chunked");
    rig.serve("/cut/pkg.zip", body, 256 * 1024).cuts = 1;
    rig.serve("/stall/pkg.zip", body, 256 * 1024, 10000, "stall"); // silent after a piece
    rig.serve("/trickle/pkg.zip", body, 1, 0, "trickle");
    rig.serve("/endless/pkg.zip", body, 1, 0, "endless");
    rig.serve("/empty/pkg.zip", body);
    rig.serve("/new/pkg.zip", body);
    rig.serve("/gzip/pkg.zip", body, 0, 0, "gzip"); // random bytes: gzip grows them
    for (OvTestServer *from : {&rig.server, &rig.secure})
        from->server().Get("/(http|down)/pkg.zip", [&rig](auto &, httplib::Response &res) {
            res.set_redirect(rig.server.url("/new/pkg.zip").toStdString());
        });
    QVERIFY(rig.server.start() && rig.secure.start());
    const QUrl url((kind == "down" ? rig.secure : rig.server).url("/" + kind + "/pkg.zip"));
    rig.manager.setStallTimeout(1500); // ten times the pauses above
    rig.manager.setMinimumRate(1024, 1200);
    if (kind == "endless") // others may write to the volume too: a margin of 4 MiB
        rig.manager.setMinimumFreeSpace(QStorageInfo(".").bytesAvailable() - (4 << 20));
    rig.manager.appendDownload(url);
    QVERIFY2(rig.log().isEmpty(), "a download started inside appendDownload");

    // The save name is that of the URL queued, wherever the bytes came from.
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    const bool succeeds = error == Error::None;
    QCOMPARE(rig.results(), QStringList{succeeds ? "pkg.zip:ok" : "pkg.zip:failed"});
    QVERIFY2(rig.manager.error() == error, qPrintable(rig.manager.errorString()));
    // The whole log of one download, in order.
    const QString expected =
        QString("^Downloading  \"%1\"\n(OvDownloadManager::onDownloadProgress  .+\n)*"
                "OvDownloadManager::onDownloadFinished\n%2%3/1 files downloaded successfully$")
            .arg(QRegularExpression::escape(url.toString()),
                 succeeds ? "" : "Failed download:  \".+\"\n", succeeds ? "1" : "0");
    QVERIFY2(QRegularExpression(expected).match(rig.log()).hasMatch(), qPrintable(rig.log()));
    // No partial file stays where the server gave nothing to resume by.
    QCOMPARE(QDir().entryList(QDir::Files), succeeds ? QStringList{"pkg.zip"} : QStringList());
    if (!succeeds)
        return;
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

void TestOvDownloadManager::resume_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("validator");
    QTest::addColumn<QString>("between"); // what happens between the two tries
    QTest::addColumn<Error>("error");     // of the retry
    QTest::addColumn<qint64>("fetched");  // by the retry

    const qint64 all = 1 << 20, rest = all - 256 * 1024; // the cut first try brought a piece
    const auto row = [](const char *tag, const char *how, const char *validator,
                        const char *between, Error error, qint64 fetched) {
        QTest::newRow(tag) << how << validator << between << error << fetched;
    };
    row("ETag: range appended", "", "etag", "", Error::None, rest);
    row("Last-Modified only", "", "date", "", Error::None, rest);
    row("weak ETag: over", "", "weak", "", Error::None, all);
    row("no validator: over", "", "", "", Error::None, all);
    row("file changed: 200, over", "", "etag", "change", Error::None, all);
    row("range answered with 200", "200", "etag", "", Error::None, all);
    row("part of another URL", "", "etag", "foreign", Error::None, all);
    row("range short of the package", "short", "date", "", Error::Truncated, 1000);
}

void TestOvDownloadManager::resume()
{
    QFETCH(QString, how);
    QFETCH(QString, validator);
    QFETCH(QString, between);
    QFETCH(Error, error);
    QFETCH(qint64, fetched);

    Rig rig;
    const QByteArray body = payload(1 << 20), changed = payload(1 << 20, 2);
    Served &served = rig.serve("/pkg.zip", body, 256 * 1024, 0, how.toStdString());
    served.cuts = 1000; // Qt may send the request again by itself after a cut
    served.etag = validator == "etag" ? "\"v1\"" : validator == "weak" ? "W/\"v1\"" : "";
    served.lastModified = validator == "date" ? "Sun, 06 Dec 2026 10:00:00 GMT" : "";
    QVERIFY(rig.server.start());
    const QUrl url = rig.url("/pkg.zip");
    rig.manager.appendDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    QVERIFY2(!QFile::exists("pkg.zip"), "a cut download carries the package's name");
    if (between == "change")
        served.body = changed, served.etag = "\"v2\"";
    QFile info("pkg.zip.part.info");
    if (between == "foreign")
        QVERIFY(info.open(QIODevice::WriteOnly) &&
                info.write(OvDownloadRules::partInfo(QUrl("http://elsewhere/pkg.zip"), "\"v1\"")));
    info.close();

    rig.progress.clear();
    served.cuts = 0;
    served.sent = 0;
    rig.manager.appendDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 2, 10000);
    QVERIFY2(rig.manager.error() == error, qPrintable(rig.manager.errorString()));
    QCOMPARE(served.sent.load(), fetched);
    if (error != Error::None)
        return;
    QVERIFY2(fileContent("pkg.zip") == (between == "change" ? changed : body), "bytes differ");
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{"pkg.zip"});
    // The progress of a resumed download counts the whole package from its first report.
    for (const QList<QVariant> &report : rig.progress)
        QVERIFY2(
            report[1].toLongLong() == body.size() &&
                (fetched == body.size() || report[0].toLongLong() > 256 * 1024),
            qPrintable(
                QString("report %1/%2").arg(report[0].toLongLong()).arg(report[1].toLongLong())));
}

void TestOvDownloadManager::throughProxy_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("credentials"); // "" none; the proxy asks for me:s3cret when set
    QTest::addColumn<QString>("proxy");       // "tinyproxy", "none listening", "exempt"
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("http") << false << "http_proxy"
                          << ""
                          << "tinyproxy" << true;
    QTest::newRow("https by CONNECT") << true << "https_proxy"
                                      << ""
                                      << "tinyproxy" << true;
    QTest::newRow("http, basic auth") << false << "HTTP_PROXY"
                                      << "me:s3cret"
                                      << "tinyproxy" << true;
    QTest::newRow("https by CONNECT, basic auth") << true << "https_proxy"
                                                  << "me:s3cret"
                                                  << "tinyproxy" << true;
    QTest::newRow("wrong password: refused") << false << "http_proxy"
                                             << "me:n0pe"
                                             << "tinyproxy" << false;
    QTest::newRow("proxy not listening") << true << "HTTPS_PROXY"
                                         << ""
                                         << "none listening" << false;
    QTest::newRow("no_proxy names the service") << true << "https_proxy"
                                                << ""
                                                << "exempt" << true;
}

void TestOvDownloadManager::throughProxy()
{
    QFETCH(bool, https);
    QFETCH(QString, variable);
    QFETCH(QString, credentials);
    QFETCH(QString, proxy);
    QFETCH(bool, succeeds);

    Rig rig;
    OvTestProxy tinyproxy;
    QString error;
    QVERIFY2(tinyproxy.start(rig.dir.path(), credentials.isEmpty() ? "" : "me", "s3cret", &error),
             qPrintable(error));
    QTcpServer closed; // a port where nothing listens any more
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    closed.close();
    const int port = proxy == "none listening" ? closed.serverPort() : tinyproxy.port();
    const QByteArray body = payload(300000);
    OvTestServer &origin = https ? rig.secure : rig.server;
    origin.server().Get("/pkg.zip", [&](auto &, httplib::Response &res) {
        res.set_content(body.toStdString(), "application/zip");
    });
    origin.server().Post("/check", [&](auto &, httplib::Response &res) {
        res.set_content(QString(R"({"status":200,"message":"ok","data":{"version":"2",)"
                                R"("url":"%1"}})")
                            .arg(origin.url("/pkg.zip"))
                            .toStdString(),
                        "application/json");
    });
    QVERIFY(rig.server.start() && rig.secure.start());
    const QString named = "http://" + credentials.section(':', 0, 0) +
                          (credentials.isEmpty() ? "" : "@") + "127.0.0.1:" + QString::number(port);
    const QString address = "http://" + credentials + (credentials.isEmpty() ? "" : "@") +
                            "127.0.0.1:" + QString::number(port);
    qputenv(variable.toLatin1(), address.toUtf8());
    if (proxy == "exempt")
        qputenv("no_proxy", "example.org, 127.0.0.1");
    const auto unset = qScopeGuard([&] { qunsetenv(variable.toLatin1()), qunsetenv("no_proxy"); });

    OvHttpHelper check;
    QSignalSpy offered(&check, &OvHttpHelper::sigZentaUpgradeTipDownloaded);
    check.requestUpgradeTip(3, QString(), origin.url("/check"));
    QTRY_COMPARE_WITH_TIMEOUT(offered.count() || check.error() != OvUpgradeAnswer::Error::None,
                              true, 5000);
    QVERIFY2(offered.count() == int(succeeds), qPrintable(check.errorString()));
    rig.manager.appendDownload(origin.url("/pkg.zip"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    QVERIFY2(rig.manager.error() == (succeeds ? Error::None : Error::Network),
             qPrintable(rig.manager.errorString()));
    QVERIFY2(!succeeds || fileContent("pkg.zip") == body, "saved bytes differ");

    // Through the proxy, or past it when exempt; a failure names it, never with its password.
    const QString seen = tinyproxy.log();
    const int requests = seen.count("]: Request (");
    QVERIFY2(
        (proxy == "exempt" ? requests == 0 : requests >= int(succeeds) * 2) &&
            (!https || proxy != "tinyproxy" || !succeeds || seen.contains("CONNECT 127.0.0.1:")),
        qPrintable(seen));
    QVERIFY2(succeeds == (rig.logCapture.count(named) == 0) && !rig.log().contains(":n0pe"),
             qPrintable(rig.log()));
}

void TestOvDownloadManager::checkAnswerBound()
{
    Rig rig;
    rig.server.server().Post("/check", [](auto &, httplib::Response &res) {
        res.set_content(std::string(2 << 20, ' ') + R"({"status":200})", "application/json");
    });
    QVERIFY(rig.server.start());
    OvHttpHelper check;
    QSignalSpy failed(&check, &OvHttpHelper::sigDownloadFailed);
    check.requestUpgradeTip(3, QString(), rig.server.url("/check"));
    QVERIFY2(failed.wait(5000), "no failure for an answer of 2 MiB");
    QVERIFY2(check.error() == OvUpgradeAnswer::Error::TooLarge, qPrintable(check.errorString()));
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
    QTRY_VERIFY2(QFileInfo("pkg.0.zip.part").size() > 0, "the first never started");
    rig.manager.appendDownload(rig.url("/c/other.zip"));
    const bool overlapped = QTest::qWaitFor([&] { return rig.server.requests().size() > 1; }, 300);
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
    rig.serve("/pkg.zip", body, 256 * 1024).etag = "\"v1\"";
    QVERIFY(rig.server.start());
    rig.manager.abortDownload(); // idle: nothing to abort
    QVERIFY2(rig.log().isEmpty(), qPrintable(rig.log()));

    const QUrl url = rig.url("/pkg.zip");
    rig.manager.appendDownload(url);
    QTRY_VERIFY2(QFileInfo("pkg.zip.part").size() > 0, "no bytes written");
    rig.manager.abortDownload();
    rig.manager.abortDownload(); // nothing runs any more
    QVERIFY2(!rig.finished.wait(300), "an aborted download was reported");
    QCOMPARE(rig.manager.error(), Error::Aborted);
    QVERIFY2(rig.logCapture.count("Failed download: ") == 1 &&
                 rig.logCapture.contains("Failed download:  \"Operation canceled\"") &&
                 !rig.logCapture.contains("files downloaded successfully"),
             qPrintable(rig.log()));

    // Started again by a manager that goes away while the package arrives (the window closed
    // mid-update): it goes on from the partial file, and nothing is reported.
    QList<qint64> offsets{QFileInfo("pkg.zip.part").size()};
    auto manager = std::make_unique<OvDownloadManager>();
    QSignalSpy finished(manager.get(), &OvDownloadManager::sigDownloadFinished);
    manager->appendDownload(url);
    QTRY_VERIFY2(QFileInfo("pkg.zip.part").size() > offsets[0], "the retry wrote nothing");
    manager.reset();
    offsets << QFileInfo("pkg.zip.part").size();
    rig.gate.open();
    QVERIFY2(!finished.wait(300), "a destroyed manager reported");
    QVERIFY2(body.startsWith(fileContent("pkg.zip.part")), "the partial file is no prefix");

    // A third start completes the package from where the second stopped.
    rig.manager.appendDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    QVERIFY2(fileContent("pkg.zip") == body, "the resumed package differs");
    QCOMPARE(rig.server.requests().back().headers.find("Range")->second,
             "bytes=" + std::to_string(offsets[1]) + '-');
}

QTEST_GUILESS_MAIN(TestOvDownloadManager)
#include "tst_ovdownloadmanager.moc"
