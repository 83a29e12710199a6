#include "common/OvTestPackage.h"

#include "common/OvTestServer.h"
#include "common/OvTestSupport.h"

#include <QRandomGenerator>

#include <algorithm>
#include <memory>
#include <utility>

QByteArray OvTestPackage::bytes(int size, quint32 seed)
{
    QByteArray data(size, '\0'); // the last size % 4 bytes stay zero
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

OvTestPackage &OvTestPackage::serve(OvTestServer &server, OvTestGate &gate, const std::string &path,
                                    const QByteArray &body, int piece, int pauseMs,
                                    const std::string &how)
{
    auto package = std::make_shared<OvTestPackage>();
    package->body = body, package->piece = piece, package->pauseMs = pauseMs, package->how = how;
    server.server().Get(path, [s = package, &gate](const httplib::Request &req, auto &res) {
        const std::string ifRange = req.get_header_value("If-Range");
        auto &ranges = const_cast<httplib::Request &>(req).ranges; // what httplib will serve
        if (s->how == "200" || (ifRange != s->etag && ifRange != s->lastModified))
            ranges.clear();
        if (s->how == "shifted" && !ranges.empty())
            ranges[0].first += 1000;
        if (s->how == "short" && !ranges.empty())
            ranges[0].second = ranges[0].first + 999;
        if (!s->etag.empty())
            res.set_header("ETag", s->etag);
        if (!s->lastModified.empty())
            res.set_header("Last-Modified", s->lastModified);
        const bool cut = s->cuts-- > 0;
        const int generation = s->generation;
        const QByteArray body = s->body;
        auto first = std::make_shared<bool>(true);
        auto send = [=, &gate](size_t offset, size_t length, httplib::DataSink &sink) {
            const size_t size = size_t(body.size());
            if (!std::exchange(*first, false) &&
                (cut || (!gate.wait(s->pauseMs) && s->how == "stall") ||
                 generation != s->generation))
                return false;
            if (offset >= size && s->how != "endless")
                return sink.done(), true;
            const size_t n = std::min({length, size - offset % size, size_t(s->piece)});
            s->sent += qint64(n);
            return sink.write(body.constData() + offset % size, n);
        };
        const char *type = "application/zip";
        if (s->piece == 0)
            res.set_content(body.toStdString(), s->how == "gzip" ? "text/plain" : type);
        else if (s->how == "chunked" || s->how == "endless")
            res.set_chunked_content_provider(type, [send](size_t offset, httplib::DataSink &sink) {
                return send(offset, SIZE_MAX, sink);
            });
        else
            res.set_content_provider(size_t(body.size()), type, send);
    });
    return *package;
}
