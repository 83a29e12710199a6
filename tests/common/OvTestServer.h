#ifndef OVTESTSERVER_H
#define OVTESTSERVER_H

#include <QString>

#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A real HTTP or HTTPS server on 127.0.0.1, on a port the system chooses, running on its own
// thread for the lifetime of one test. Register handlers on server() before start().
class OvTestServer
{
public:
    // Plain HTTP, or HTTPS with a certificate and its key.
    explicit OvTestServer(const QString &certPath = {}, const QString &keyPath = {});
    ~OvTestServer();

    httplib::Server &server() { return *impl; }
    bool start();
    // "http://127.0.0.1:PORT" + path (https for an HTTPS server).
    QString url(const QString &path) const;

    // Every request answered so far, in order.
    std::vector<httplib::Request> requests() const;

private:
    std::unique_ptr<httplib::Server> impl;
    std::thread thread;
    int boundPort = -1;
    bool isHttps = false;
    mutable std::mutex mutex;
    std::vector<httplib::Request> seen;
};

#endif // OVTESTSERVER_H
