#ifndef OVUPGRADESERVICE_H
#define OVUPGRADESERVICE_H

#include "tools/service/OvServiceOptions.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace httplib {
class ContentReader;
class Server;
struct Request;
struct Response;
} // namespace httplib

class OvReleaseCatalogue;

// The HTTP(S) side of the upgrade service: answers the upgrade query from the catalogue and
// streams package files from the packages folder. Requests are served by the server's own
// thread pool; run() blocks the calling thread until stop() is called from another one.
class OvUpgradeService : public QObject
{
    Q_OBJECT

public:
    OvUpgradeService(const OvServiceOptions &options, const OvReleaseCatalogue &catalogue,
                     QObject *parent = nullptr);
    ~OvUpgradeService() override;

    // Sets up the server (TLS when a certificate is given) and binds the port.
    bool bind(QString *error);
    int port() const { return boundPort; }
    // "http://HOST:PORT" or "https://HOST:PORT" once bound.
    QString url() const;

    // Serves until stop(); false when serving failed.
    bool run();
    // Safe from any thread: ends run() and cuts short every delay and throttled transfer.
    void stop();

private:
    void onQuery(const httplib::Request &req, httplib::Response &res,
                 const httplib::ContentReader &reader);
    void onPackage(const httplib::Request &req, httplib::Response &res);
    void onError(const httplib::Request &req, httplib::Response &res);
    void logRequest(const httplib::Request &req, const httplib::Response &res);
    // "ADDRESS METHOD PATH", each field safe for a one-line log.
    static QString requestFields(const httplib::Request &req);
    void writeLog(const QString &line);

    // The scheme, host and port under which the client reached us, for package URLs.
    QString baseUrlFor(const httplib::Request &req) const;
    // Sleeps unless stop() comes first; false once stopped.
    bool pause(std::chrono::steady_clock::duration duration);
    bool isHttps() const { return !options.certPath.isEmpty(); }

    const OvServiceOptions options;
    const OvReleaseCatalogue &catalogue;
    std::unique_ptr<httplib::Server> server;
    int boundPort = -1;

    std::mutex stopMutex;
    std::condition_variable stopCondition;
    bool isStopping = false; // stop() has begun: run() must not start serving
    bool isStopped = false;  // the server has stopped: pauses end
    std::atomic<bool> isInRun{false};

    std::mutex logMutex;
};

#endif // OVUPGRADESERVICE_H
