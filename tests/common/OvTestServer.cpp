#include "common/OvTestServer.h"

OvTestServer::OvTestServer(const QString &certPath, const QString &keyPath)
    : impl(certPath.isEmpty() ? new httplib::Server
                              : new httplib::SSLServer(certPath.toLocal8Bit().constData(),
                                                       keyPath.toLocal8Bit().constData())),
      isHttps(!certPath.isEmpty())
{
}

OvTestServer::~OvTestServer()
{
    if (thread.joinable()) {
        impl->stop();
        thread.join();
    }
}

bool OvTestServer::start()
{
    if (!impl->is_valid())
        return false;
    impl->set_logger([this](const httplib::Request &req, const httplib::Response &) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(req);
    });
    if ((boundPort = impl->bind_to_any_port("127.0.0.1")) <= 0)
        return false;
    thread = std::thread([this] { impl->listen_after_bind(); });
    return true;
}

QString OvTestServer::url(const QString &path) const
{
    return QString("%1://127.0.0.1:%2%3").arg(isHttps ? "https" : "http").arg(boundPort).arg(path);
}

std::vector<httplib::Request> OvTestServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return seen;
}
