#include "common/OvTestPackage.h"
#include "common/OvTestProxy.h"
#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"
#include "core/check/OvHttpHelper.h"
#include "core/download/OvDownloadManager.h"
#include "core/download/OvDownloadRules.h"
#include "core/download/OvProxyRules.h"
#include "core/verify/OvPackageHash.h"

#include <QNetworkProxy>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using Error = OvDownloadManager::Error;
Q_DECLARE_METATYPE(Error)

namespace {

using OvTestSupport::readFile;
QString certPath, keyPath;

// The hash a signature check will trust in place of the file: the saved file's own.
bool hashIsFiles(const OvDownloadManager &manager, const QString &path)
{
    return manager.fileHash().size() == 64 && manager.fileHash() == OvPackageHash::ofFile(path);
}

// One test's directory, servers, log and manager, with its signals spied on through the update
// window's signatures. Torn down in safe order: held handlers, the manager, the servers.
struct Rig
{
    Rig()
    {
        QDir::setCurrent(dir.path());
        manager.setHashing(true); // as an updater with a key downloads
    }
    ~Rig() { gate.open(), QDir::setCurrent(previousDir); }
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
    void queueRunsOneAtATime();
};

void TestOvDownloadManager::initTestCase()
{
    static QTemporaryDir certDir; // removed when the program ends
    QString error;
    QVERIFY2(
        OvTestSupport::makeSelfSignedCertificate(certDir.path(), &certPath, &keyPath, &error, true),
        qPrintable(error));
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
    row("query and fragment are no part", "pkg.zip?name=../../x.zip#y/z", "", "pkg.zip");
    row("percent-encoding decoded", "%E5%8C%85%20v2.zip", "", "包 v2.zip");
    row("encoded slash", "x/..%2F..%2Fevil.zip", "", "evil.zip");
    row("parent directory", "a/%2E%2E", "..", "download.0.");
}

void TestOvDownloadManager::saveFileName()
{
    QFETCH(QString, url);
    QFETCH(QStringList, taken);
    QTEST(OvDownloadRules::saveFileName(QUrl(url),
                                        [&](const QString &c) { return taken.contains(c); }),
          "expected");
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
    QTest::newRow("first millisecond: infinite") << qint64(100) << qint64(0) << qInf() << "MB/s";
}

void TestOvDownloadManager::transferRate()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, ms);
    QTEST(OvDownloadRules::transferRate(bytes, ms).unit, "unit");
    QTEST(OvDownloadRules::transferRate(bytes, ms).value, "value");
}

void TestOvDownloadManager::proxyFor_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("env"); // NAME=value
    QTest::addColumn<QString>("proxy");   // as a log names it
    QTest::addColumn<QString>("password");

    const auto row = [](const char *tag, const char *url, const char *env, const char *proxy,
                        const char *password = "") {
        QTest::newRow(tag) << url << QString(env).split(' ') << proxy << password;
    };
    row("no scheme, no port", "http://h/p", "http_proxy=px", "http://px:1080");
    row("no fallback to http_proxy", "https://h/p", "http_proxy=a:1", "none");
    row("lower case first", "http://h/p", "HTTP_PROXY=u:1 http_proxy=l:2", "http://l:2");
    row("credentials decoded", "http://h/p", "http_proxy=me:p%40ss@px:8", "http://me@px:8", "p@ss");
    row("unknown scheme", "http://h/p", "http_proxy=socks5://px:9", "none");
    row("no_proxy domain", "http://a.b.h/p", "http_proxy=px:1 NO_PROXY=x,*.B.h", "none");
    row("no_proxy not a suffix", "http://ah/p", "http_proxy=px:1 no_proxy=.h", "http://px:1");
    row("no_proxy port", "http://h:8/p", "http_proxy=px:1 no_proxy=h:8", "none");
    row("no_proxy other port", "http://h/p", "http_proxy=px:1 no_proxy=h:8", "http://px:1");
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
    QTest::addColumn<QString>("how"); // as OvTestPackage reads it; "http" and "down" redirect
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<qint64>("announced"); // the total reported before the end
    QTest::addColumn<Error>("error");
    // VARIABLE=proxy, for the check too: tinyproxy "open", asking a password ("auth", "wrong"),
    // "dead", "exempt" by no_proxy, "big" (a check answer of 2 MiB); the server https for https.
    QTest::addColumn<QString>("proxy");

    // Pauses of 150 ms between pieces, which nobody ends early, make Qt report progress midway.
    const auto row = [](const char *tag, const char *how, int size, int piece, int pauseMs,
                        qint64 announced, Error error, const char *proxy = "") {
        QTest::newRow(tag) << how << size << piece << pauseMs << announced << error << proxy;
    };
    row("sized, in pieces", "", 600000, 100000, 150, 600000, Error::None);
    row("size unknown, in pieces", "chunked", 600000, 100000, 150, -1, Error::None);
    row("compressed on the fly", "gzip", 200000, 0, 0, -1, Error::None); // gzip grows them
    row("empty file", "", 0, 0, 0, 0, Error::None);
    row("http to http redirect followed", "http", 120000, 0, 0, 120000, Error::None);
    row("https to http redirect refused", "down", 1000, 0, 0, 0, Error::Network);
    row("404", "404", 0, 0, 0, 0, Error::Network);
    row("connection cut mid-body", "cut", 1 << 20, 1 << 18, 0, 0, Error::Truncated);
    row("connection silent mid-body", "stall", 1 << 20, 1 << 18, 10000, 0, Error::Stalled);
    row("a trickle: a byte every 200 ms", "", 4000, 1, 200, 0, Error::Stalled);
    row("volume full", "full", 1 << 20, 1 << 18, 0, 0, Error::CannotWrite);
    row("endless, no length", "endless", 1 << 16, 1 << 16, 0, 0, Error::NoSpace);
    row("proxy", "", 3000, 0, 0, 0, Error::None, "http_proxy=open");
    row("proxy by CONNECT", "", 3000, 0, 0, 0, Error::None, "https_proxy=open");
    row("proxy, basic auth", "", 3000, 0, 0, 0, Error::None, "HTTP_PROXY=auth");
    row("proxy, wrong password", "", 3000, 0, 0, 0, Error::Network, "http_proxy=wrong");
    row("proxy not listening", "", 3000, 0, 0, 0, Error::Network, "HTTPS_PROXY=dead");
    row("no_proxy names the service", "", 3000, 0, 0, 0, Error::None, "https_proxy=exempt");
    row("check answer of 2 MiB", "", 3000, 0, 0, 0, Error::None, "https_proxy=big");
}

void TestOvDownloadManager::downloads()
{
    QFETCH(QString, how);
    QFETCH(int, size);
    QFETCH(qint64, announced);
    QFETCH(Error, error);
    QFETCH(QString, proxy);

    Rig rig;
    rlimit old, cut; // a full volume, as the kernel reports one over the file size limit
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0 && std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR);
    cut = {how == "full" ? 1 << 19 : old.rlim_cur, old.rlim_max};
    QVERIFY(setrlimit(RLIMIT_FSIZE, &cut) == 0);
    const auto unlimit = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &old); });
    OvTestProxy tinyproxy;
    const QString variable = proxy.section('=', 0, 0), mode = proxy.section('=', 1);
    const bool asks = mode == "auth" || mode == "wrong",
               https = variable.startsWith("https", Qt::CaseInsensitive);
    QString fault;
    QVERIFY2(mode.isEmpty() || tinyproxy.start(rig.dir.path(), asks ? "me" : "", "s3cret", &fault),
             qPrintable(fault));
    const QByteArray body = OvTestPackage::bytes(size);
    QFETCH(int, piece);
    QFETCH(int, pauseMs);
    OvTestServer &origin = https || how == "down" ? rig.secure : rig.server;
    OvTestPackage::serve(how == "down" ? rig.server : origin, rig.gate,
                         how == "404" ? "/none" : "/pkg.zip", body, piece, pauseMs,
                         how.toStdString())
        .cuts = how == "cut" ? 1000 : 0;
    origin.server().Get("/redirect/pkg.zip", [&rig](auto &, httplib::Response &res) {
        res.set_redirect(rig.server.url("/pkg.zip").toStdString());
    });
    origin.server().Post("/check", [&](auto &, httplib::Response &res) {
        const QString offer(R"({"status":200,"message":"ok","data":{"version":"2","url":"%1"}})");
        res.set_content(std::string(mode == "big" ? 2 << 20 : 0, ' ') +
                            offer.arg(origin.url("/pkg.zip")).toStdString(),
                        "application/json");
    });
    QVERIFY(rig.server.start() && rig.secure.start());
    const QString hostPort = QString("127.0.0.1:%1").arg(mode == "dead" ? 1 : tinyproxy.port());
    const QString password = mode == "wrong" ? "n0pe" : "s3cret";
    qputenv(variable.toLatin1(),
            ("http://" + (asks ? "me:" + password + "@" : "") + hostPort).toUtf8());
    qputenv("no_proxy", mode == "exempt" ? "example.org, 127.0.0.1" : "");
    const auto unset = qScopeGuard([&] { qunsetenv(variable.toLatin1()), qunsetenv("no_proxy"); });

    const QUrl url(origin.url(how == "http" || how == "down" ? "/redirect/pkg.zip" : "/pkg.zip"));
    rig.manager.setStallTimeout(500); // a third of the time the pieces above take
    rig.manager.setMinimumRate(1024, 1200);
    if (how == "endless") // others may write to the volume too: a margin of 4 MiB
        rig.manager.setMinimumFreeSpace(QStorageInfo(".").bytesAvailable() - (4 << 20));
    rig.manager.appendDownload(url);
    QVERIFY2(rig.log().isEmpty(), "a download started inside appendDownload");

    // The save name is that of the URL queued, wherever the bytes came from.
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    const bool succeeds = error == Error::None;
    QCOMPARE(rig.finished.first(), (QVariantList{"pkg.zip", succeeds}));
    QVERIFY2(rig.manager.error() == error, qPrintable(rig.manager.errorString()));
    // The whole log of one download, in order, each progress report with its percentage (as
    // the debug stream formats it), speed and unit; totals as announced until the end (a busy
    // machine may see the last bytes reported twice, both with the true total).
    QString expected = "^Downloading  \"" + QRegularExpression::escape(url.toString()) + "\"\n";
    for (int i = 0; i < rig.progress.size(); ++i) {
        const qint64 received = rig.progress[i][0].toLongLong(),
                     total = rig.progress[i][1].toLongLong();
        QString line;
        QDebug(&line) << "OvDownloadManager::onDownloadProgress " << received * 100.0 / total;
        expected += QRegularExpression::escape(line) + "[^ ]+ \"(bytes/sec|kB/s|MB/s)\"\n";
        QVERIFY2(!succeeds || i == rig.progress.size() - 1 || received == body.size() ||
                     total == announced,
                 qPrintable(line));
    }
    expected +=
        QString("OvDownloadManager::onDownloadFinished\n%1%2/1 files downloaded successfully$")
            .arg(succeeds ? "" : "Failed download:  \".+\"\n", succeeds ? "1" : "0");
    QVERIFY2(QRegularExpression(expected).match(rig.log()).hasMatch(), qPrintable(rig.log()));
    // No partial file stays where the server gave nothing to resume by.
    QCOMPARE(QDir().entryList({"pkg*"}), succeeds ? QStringList{"pkg.zip"} : QStringList());
    QVERIFY2(!succeeds || readFile("pkg.zip") == body, "saved bytes differ");
    QVERIFY2(succeeds ? hashIsFiles(rig.manager, "pkg.zip") : rig.manager.fileHash().isEmpty(),
             "the hash taken while downloading is not the saved file's");

    if (!mode.isEmpty()) { // the check the same way; a failure names the proxy, not a password
        OvHttpHelper check;
        QSignalSpy offered(&check, &OvHttpHelper::sigZentaUpgradeTipDownloaded);
        check.requestUpgradeTip(3, QString(), origin.url("/check"));
        using Answer = OvUpgradeAnswer::Error;
        QTRY_VERIFY_WITH_TIMEOUT(offered.count() || check.error() != Answer::None, 5000);
        QVERIFY2(check.error() == (mode == "big" ? Answer::TooLarge
                                   : succeeds    ? Answer::None
                                                 : Answer::Network),
                 qPrintable(check.errorString()));
        const QString seen = tinyproxy.log(); // one request or tunnel for each of the two
        const int requests = seen.count(https ? "CONNECT 127.0.0.1:" : "]: Request (");
        QVERIFY2(mode == "exempt" ? requests == 0 : requests >= 2 * int(succeeds),
                 qPrintable(seen));
        const QString named = "http://" + QString(asks ? "me@" : "") + hostPort;
        QVERIFY2(rig.log().count(named) == (succeeds ? 0 : 2) && !rig.log().contains(password),
                 qPrintable(rig.log()));
    }
    if (!succeeds)
        return;

    QCOMPARE(rig.progress.value(rig.progress.size() - 1),
             (QVariantList{qint64(size), qint64(size)}));
    const qint64 first = rig.progress.first().first().toLongLong();
    QVERIFY2(pauseMs == 0 || (first >= piece && first < size), "no report while the server paused");
}

void TestOvDownloadManager::resume_data()
{
    // The first try is cut after a piece, or held there and "stop"ped or its window "close"d;
    // the server may answer a range with "200" or "short" of the package; the file may
    // "change", or the second try come from a "foreign" URL with the same file name.
    QTest::addColumn<QString>("twist");
    QTest::addColumn<QString>("validator");
    QTest::addColumn<Error>("error");    // of the second try
    QTest::addColumn<qint64>("fetched"); // by the second try

    const qint64 all = 1 << 20, rest = all - (1 << 18);
    const auto row = [](const char *tag, const char *twist, const char *validator, Error error,
                        qint64 fetched) {
        QTest::newRow(tag) << twist << validator << error << fetched;
    };
    row("ETag: range appended", "", "etag", Error::None, rest);
    row("stopped and started again", "stop", "etag", Error::None, rest);
    row("window closed mid-download", "close", "date", Error::None, rest);
    row("weak ETag: over", "", "weak", Error::None, all);
    row("no validator: over", "", "", Error::None, all);
    row("file changed: 200, over", "change", "etag", Error::None, all);
    row("range answered with 200", "200", "etag", Error::None, all);
    row("part of another URL", "foreign", "etag", Error::None, all);
    row("range short of the package", "short", "date", Error::Truncated, 1000);
    row("range from another byte", "shifted", "etag", Error::TooLong, -1); // then over
}

void TestOvDownloadManager::resume()
{
    QFETCH(QString, twist);
    QFETCH(QString, validator);
    QFETCH(qint64, fetched);

    Rig rig;
    const QByteArray body = OvTestPackage::bytes(1 << 20),
                     changed = OvTestPackage::bytes(1 << 20, 2);
    OvTestPackage &served = OvTestPackage::serve(rig.server, rig.gate, R"(/(other/)?pkg\.zip)",
                                                 body, 1 << 18, 10000, twist.toStdString());
    const bool cut = twist != "stop" && twist != "close";
    served.cuts = cut ? 1000 : 0; // Qt may send the request again by itself after a cut
    served.etag = validator == "etag" ? "\"v1\"" : validator == "weak" ? "W/\"v1\"" : "";
    served.lastModified = validator == "date" ? "Sun, 06 Dec 2026 10:00:00 GMT" : "";
    QVERIFY(rig.server.start());
    const QUrl url(rig.server.url("/pkg.zip"));
    rig.manager.abortDownload(); // idle: nothing to abort
    auto closing = std::make_unique<OvDownloadManager>();
    (twist == "close" ? *closing : rig.manager).appendDownload(url);
    if (cut)
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, 10000);
    else
        QTRY_COMPARE(QFileInfo("pkg.zip.part").size(), 1 << 18); // held at the gate after it
    rig.manager.abortDownload();
    rig.manager.abortDownload(); // nothing runs any more
    closing.reset();
    QVERIFY2(!QFile::exists("pkg.zip"), "a cut download carries the package's name");
    QVERIFY2(cut || (!rig.finished.wait(300) &&
                     rig.log().count("Failed download:  \"Operation canceled\"") ==
                         int(twist == "stop") &&
                     !rig.log().contains("files downloaded successfully")),
             qPrintable(rig.log()));
    if (twist == "change")
        served.body = changed, served.etag = "\"v2\"";
    rig.progress.clear();
    served.cuts = 0, served.pauseMs = 0, served.sent = 0, ++served.generation;
    rig.manager.appendDownload(twist == "foreign" ? QUrl(rig.server.url("/other/pkg.zip")) : url);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), cut ? 2 : 1, 10000);
    QTEST(rig.manager.error(), "error");
    QVERIFY2(fetched < 0 || served.sent == fetched, qPrintable(QString::number(served.sent)));
    if (rig.manager.error() != Error::None)
        return;
    QVERIFY2(readFile("pkg.zip") == (twist == "change" ? changed : body), "bytes differ");
    QVERIFY2(hashIsFiles(rig.manager, "pkg.zip"), "the hash does not cover the whole file");
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{"pkg.zip"});
    // The progress of a resumed download counts the whole package from its first report.
    for (const QList<QVariant> &report : rig.progress)
        QVERIFY2(report[1] == body.size() && report[0].toInt() >= (fetched < body.size()) << 18,
                 qPrintable(report[0].toString() + " of " + report[1].toString()));
    QCOMPARE(rig.progress.last().first().toInt(), body.size());
}

void TestOvDownloadManager::queueRunsOneAtATime()
{
    Rig rig;
    const QList<QByteArray> bodies{OvTestPackage::bytes(500000, 1), OvTestPackage::bytes(150000, 2),
                                   OvTestPackage::bytes(80000, 3)};
    OvTestPackage::serve(rig.server, rig.gate, "/a/pkg.zip", bodies[0], 100000, 10000);
    OvTestPackage::serve(rig.server, rig.gate, "/b/pkg.zip", bodies[1]);
    OvTestPackage::serve(rig.server, rig.gate, "/c/other.zip", bodies[2]);
    QVERIFY(rig.server.start());
    QVERIFY(QFile("pkg.zip").open(QIODevice::WriteOnly)); // a file of that name, empty

    // The finished signal is posted: when it arrives, the next download has already started.
    QStringList results;
    connect(&rig.manager, &OvDownloadManager::sigDownloadFinished, [&](QString name, bool ok) {
        results << name + (ok ? ":ok:" : ":failed:") +
                       QString::number(rig.log().count("Downloading  "));
    });
    const QString folder = rig.server.url("/updates/"); // no file name to save under
    for (const char *path : {"/a/pkg.zip", "/updates/", "/b/pkg.zip"})
        rig.manager.appendDownload(QUrl(rig.server.url(path)));
    QTRY_VERIFY2(QFileInfo("pkg.0.zip.part").size() > 0, "the first never started");
    rig.manager.appendDownload(QUrl(rig.server.url("/c/other.zip")));
    QVERIFY2(!QTest::qWaitFor([&] { return rig.server.requests().size() > 1; }, 300),
             "another download ran beside the first");

    rig.gate.open();
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), 4, 10000);
    QCOMPARE(results,
             (QStringList{"pkg.0.zip:ok:2", ":failed:2", "pkg.1.zip:ok:3", "other.zip:ok:3"}));
    const QList<QByteArray> saved{readFile("pkg.zip"), readFile("pkg.0.zip"), readFile("pkg.1.zip"),
                                  readFile("other.zip")};
    QVERIFY2(saved == QList<QByteArray>{""} + bodies, "a file holds the wrong bytes");
    QVERIFY2(rig.log().count("Problem opening save file  \"\" for download.  \"" + folder +
                             "\"  :  \"") == 1 &&
                 rig.log().count("files downloaded successfully") == 1 &&
                 rig.log().contains("3/4 files downloaded successfully"),
             qPrintable(rig.log()));
}

QTEST_GUILESS_MAIN(TestOvDownloadManager)
#include "tst_ovdownloadmanager.moc"
