#include "tools/service/OvUpgradeService.h"

#include "tools/service/OvPackageStore.h"
#include "tools/service/OvReleaseCatalogue.h"
#include "tools/service/OvUpgradeProtocol.h"

#include <QFile>

#include <httplib.h>

#include <cstdio>
#include <thread>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

// One package transfer. The content provider runs on the thread that handled the request, as
// does the logger after it, so the logger finds the transfer through a thread-local pointer.
struct Transfer
{
    QFile file;
    QByteArray buffer;
    qint64 sent = 0;
    bool isCut = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

thread_local std::shared_ptr<Transfer> currentTransfer;

void sendJson(httplib::Response &res, int httpStatus, const QByteArray &json)
{
    res.status = httpStatus;
    res.set_content(json.constData(), static_cast<size_t>(json.size()), "application/json");
}

QString reasonFor(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("bad request");
    case 404:
        return QStringLiteral("not found");
    case 413:
        return QStringLiteral("payload too large");
    default:
        return QStringLiteral("error");
    }
}

} // namespace

OvUpgradeService::OvUpgradeService(const OvServiceOptions &options,
                                   const OvReleaseCatalogue &catalogue, QObject *parent)
    : QObject(parent), options(options), catalogue(catalogue)
{
}

OvUpgradeService::~OvUpgradeService() = default;

bool OvUpgradeService::bind(QString *error)
{
    if (isHttps()) {
        server = std::make_unique<httplib::SSLServer>(options.certPath.toLocal8Bit().constData(),
                                                      options.keyPath.toLocal8Bit().constData());
    } else {
        server = std::make_unique<httplib::Server>();
    }
    if (!server->is_valid()) {
        *error = QStringLiteral("cannot load the certificate %1 or the key %2")
                     .arg(options.certPath, options.keyPath);
        return false;
    }

    // Longer bodies announced with a Content-Length are refused before they are read; the
    // query handler applies the same limit to chunked ones.
    server->set_payload_max_length(OvUpgradeProtocol::kMaxQueryBytes);
    // The library's default adds SO_REUSEPORT, which would let a second service share the
    // port of a running one instead of failing to start.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    // A worker waits this long on an idle connection before it looks for a stop again, so
    // it bounds how long a stop takes while clients keep connections open for reuse.
    server->set_keep_alive_timeout(1);
    server->set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        currentTransfer.reset();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Every POST comes here, so that the body limit holds for all of them.
    server->Post(".*", [this](const httplib::Request &req, httplib::Response &res,
                              const httplib::ContentReader &reader) { onQuery(req, res, reader); });
    server->Get("/packages/(.*)", [this](const httplib::Request &req, httplib::Response &res) {
        onPackage(req, res);
    });
    server->set_error_handler(
        [this](const httplib::Request &req, httplib::Response &res) { onError(req, res); });
    server->set_logger([this](const httplib::Request &req, const httplib::Response &res) {
        logRequest(req, res);
    });

    const std::string host = options.host.toStdString();
    if (options.port == 0)
        boundPort = server->bind_to_any_port(host);
    else
        boundPort = server->bind_to_port(host, options.port) ? options.port : -1;
    if (boundPort <= 0) {
        *error = QStringLiteral("cannot listen on %1 port %2").arg(options.host).arg(options.port);
        return false;
    }
    return true;
}

QString OvUpgradeService::url() const
{
    const QString host = options.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + options.host + QLatin1Char(']')
                             : options.host;
    return QStringLiteral("%1://%2:%3")
        .arg(isHttps() ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(boundPort);
}

bool OvUpgradeService::run()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        if (isStopping)
            return true;
        if (!server)
            return false;
        isInRun = true;
    }
    const bool ok = server->listen_after_bind();
    isInRun = false;
    return ok;
}

void OvUpgradeService::stop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        isStopping = true;
    }
    if (server) {
        // Between entering run() and listening, a stop of the server would be lost and run()
        // would never return; wait until it listens (or has given up).
        while (isInRun && !server->is_running())
            std::this_thread::yield();
        server->stop();
    }
    // Pauses end only now: a worker that answers after the server has stopped closes its
    // connection at once instead of waiting on it for another request.
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        isStopped = true;
    }
    stopCondition.notify_all();
}

bool OvUpgradeService::pause(std::chrono::steady_clock::duration duration)
{
    std::unique_lock<std::mutex> lock(stopMutex);
    if (duration > std::chrono::steady_clock::duration::zero())
        stopCondition.wait_for(lock, duration, [this] { return isStopped; });
    return !isStopped;
}

QString OvUpgradeService::baseUrlFor(const httplib::Request &req) const
{
    if (!options.baseUrl.isEmpty())
        return options.baseUrl;
    const QString host = QString::fromStdString(req.get_header_value("Host"));
    if (!OvUpgradeProtocol::isUsableHost(host))
        return url();
    return (isHttps() ? QStringLiteral("https://") : QStringLiteral("http://")) + host;
}

void OvUpgradeService::onQuery(const httplib::Request &req, httplib::Response &res,
                               const httplib::ContentReader &reader)
{
    // Past the limit the rest of the body is read and dropped rather than left on the
    // connection, where it would be taken for the next request; memory stays bounded.
    std::string body;
    bool isTooLarge = false;
    const bool isRead = reader([&body, &isTooLarge](const char *data, size_t length) {
        isTooLarge = isTooLarge ||
                     body.size() + length > static_cast<size_t>(OvUpgradeProtocol::kMaxQueryBytes);
        if (!isTooLarge)
            body.append(data, length);
        return true;
    });
    // Content-Length over the limit: the server skipped the body and answers 413.
    isTooLarge = isTooLarge || res.status == 413;
    if (isTooLarge || !isRead) {
        // What follows on the connection cannot be trusted; the client should not reuse it.
        if (!isRead)
            res.set_header("Connection", "close");
        sendJson(res, 400,
                 OvUpgradeProtocol::failure(
                     400, isTooLarge ? QStringLiteral("body is larger than %1 bytes")
                                           .arg(OvUpgradeProtocol::kMaxQueryBytes)
                                     : QStringLiteral("body could not be read")));
        return;
    }
    if (QString::fromStdString(req.path) != options.queryPath) {
        sendJson(res, 404, OvUpgradeProtocol::failure(404, reasonFor(404)));
        return;
    }

    if (options.delayMs > 0) {
        // Said before the wait, so that whoever watches the log knows an answer is held.
        writeLog(requestFields(req) + QStringLiteral(" held for %1 ms").arg(options.delayMs));
        pause(std::chrono::milliseconds(options.delayMs));
    }

    OvUpgradeQuery query;
    QString error;
    if (!OvUpgradeProtocol::parseQuery(QByteArray::fromStdString(body), &query, &error)) {
        sendJson(res, 400, OvUpgradeProtocol::failure(400, error));
        return;
    }

    // A query that finds nothing is still a well-formed exchange: HTTP 200, and the envelope
    // says why, which the updater logs.
    const OvReleaseCatalogue::Pick pick = catalogue.pick(query.key, query.code);
    switch (pick.outcome) {
    case OvReleaseCatalogue::Outcome::Found: {
        // The catalogue's signature text first (a package on another host), else the
        // .minisig file beside a package of ours; without either the answer carries none.
        QByteArray signature = pick.release.signature.toUtf8();
        if (signature.isEmpty() && !OvUpgradeProtocol::isAbsoluteUrl(pick.release.package))
            signature = OvPackageStore::signatureOf(options.packagesDir, pick.release.package);
        sendJson(res, 200,
                 OvUpgradeProtocol::answer(
                     pick.release,
                     OvUpgradeProtocol::packageUrl(baseUrlFor(req), pick.release.package),
                     signature));
        break;
    }
    case OvReleaseCatalogue::Outcome::UnknownKey:
        sendJson(res, 200,
                 OvUpgradeProtocol::failure(404, QStringLiteral("unknown key %1").arg(query.key)));
        break;
    case OvReleaseCatalogue::Outcome::NoRelease:
        sendJson(res, 200,
                 OvUpgradeProtocol::failure(
                     404, query.code.isEmpty()
                              ? QStringLiteral("no release for key %1").arg(query.key)
                              : QStringLiteral("no release for key %1 and code %2")
                                    .arg(query.key)
                                    .arg(query.code)));
        break;
    }
}

void OvUpgradeService::onPackage(const httplib::Request &req, httplib::Response &res)
{
    const QString name = QString::fromStdString(req.matches[1].str());
    const QString path = OvPackageStore::resolve(options.packagesDir, name);
    auto transfer = std::make_shared<Transfer>();
    transfer->file.setFileName(path);
    if (path.isEmpty() || !transfer->file.open(QIODevice::ReadOnly)) {
        sendJson(res, 404, OvUpgradeProtocol::failure(404, QStringLiteral("no such package")));
        return;
    }
    currentTransfer = transfer;
    const qint64 size = transfer->file.size();
    if (size == 0) {
        // A provider of no bytes would go out without a Content-Length, leaving the client
        // to wait for the end of the connection.
        res.set_content(std::string(), OvPackageStore::contentType(name).toStdString());
        return;
    }

    // Streamed in chunks from disk, so that memory does not grow with the package; the
    // announced length is the file's even when the transfer is cut short on purpose.
    const qint64 throttle = options.throttle;
    const qint64 cutAfter = options.cutAfter;
    const auto provider = [this, transfer, throttle, cutAfter](size_t offset, size_t length,
                                                               httplib::DataSink &sink) {
        qint64 chunk = qMin(static_cast<qint64>(length), kChunkBytes);
        if (throttle > 0)
            chunk = qMin(chunk, qMax<qint64>(1, throttle / 10));
        if (cutAfter >= 0) {
            if (transfer->sent >= cutAfter) {
                transfer->isCut = true;
                return false;
            }
            chunk = qMin(chunk, cutAfter - transfer->sent);
        }
        if (throttle > 0) {
            const auto due =
                transfer->start +
                std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::duration<double>(double(transfer->sent) / double(throttle)));
            if (!pause(due - std::chrono::steady_clock::now()))
                return false;
        }
        const qint64 position = static_cast<qint64>(offset);
        if (transfer->file.pos() != position && !transfer->file.seek(position))
            return false;
        transfer->buffer.resize(static_cast<int>(chunk));
        const qint64 n = transfer->file.read(transfer->buffer.data(), chunk);
        if (n <= 0 || !sink.write(transfer->buffer.constData(), static_cast<size_t>(n)))
            return false;
        transfer->sent += n;
        return true;
    };
    res.set_content_provider(static_cast<size_t>(size),
                             OvPackageStore::contentType(name).toStdString(), provider);
}

void OvUpgradeService::onError(const httplib::Request &, httplib::Response &res)
{
    // Errors raised by the server itself (no route, unreadable request) get the same JSON
    // envelope as ours; ours already have a body.
    if (res.body.empty())
        sendJson(res, res.status, OvUpgradeProtocol::failure(res.status, reasonFor(res.status)));
}

void OvUpgradeService::logRequest(const httplib::Request &req, const httplib::Response &res)
{
    const qint64 bytes =
        currentTransfer ? currentTransfer->sent : static_cast<qint64>(res.body.size());
    const bool isCut = currentTransfer && currentTransfer->isCut;
    currentTransfer.reset();
    writeLog(requestFields(req) + QStringLiteral(" %1 %2 bytes%3")
                                      .arg(res.status)
                                      .arg(bytes)
                                      .arg(isCut ? QStringLiteral(" cut") : QString()));
}

QString OvUpgradeService::requestFields(const httplib::Request &req)
{
    // A request the server could not parse has no address, method or path yet.
    const auto field = [](const std::string &text) {
        return text.empty() ? QStringLiteral("-")
                            : OvUpgradeProtocol::logSafe(QByteArray::fromStdString(text));
    };
    return field(req.remote_addr) + QLatin1Char(' ') + field(req.method) + QLatin1Char(' ') +
           field(req.path);
}

void OvUpgradeService::writeLog(const QString &line)
{
    const QByteArray text = line.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(logMutex);
    std::fputs(text.constData(), stderr);
    std::fflush(stderr);
}
