#ifndef OVTESTPACKAGE_H
#define OVTESTPACKAGE_H

#include <QByteArray>

#include <atomic>
#include <string>

class OvTestGate;
class OvTestServer;

// A package served by an OvTestServer the way real servers misbehave, for download tests. The
// fields may change between two requests. The body goes all at once, or with `piece` in pieces
// of that size, each but the first after waiting at the gate for up to `pauseMs`. Ranges are
// served (by httplib) when If-Range, if sent, matches `etag` or `lastModified`.
class OvTestPackage
{
public:
    // Deterministic bytes in which a lost, doubled or misplaced piece shows in a comparison.
    static QByteArray bytes(int size, quint32 seed = 1);
    // Registers a package for GET `path` on `server` (before it starts).
    static OvTestPackage &serve(OvTestServer &server, OvTestGate &gate, const std::string &path,
                                const QByteArray &body, int piece = 0, int pauseMs = 0,
                                const std::string &how = std::string());

    QByteArray body;
    int piece = 0;
    std::atomic<int> pauseMs{0}; // a test may shorten it while an answer waits at the gate
    // "chunked" leaves the size unannounced, "endless" too and never ends, "stall" falls
    // silent after a piece, "gzip" compresses on the fly, "200" ignores ranges, "short" answers
    // a range with its first 1000 bytes only, "shifted" from 1000 bytes after its start.
    std::string how, etag, lastModified;
    std::atomic<int> cuts{0};       // this many answers are cut after their first piece
    std::atomic<qint64> sent{0};    // body bytes handed to the network, over all answers
    std::atomic<int> generation{0}; // raising it ends the answers that are under way
};

#endif // OVTESTPACKAGE_H
