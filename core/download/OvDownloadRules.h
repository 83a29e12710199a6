#ifndef OVDOWNLOADRULES_H
#define OVDOWNLOADRULES_H

#include <QString>

#include <functional>

class QUrl;

// The decisions of the download queue that do not need a network: which file a URL is saved
// to, how a transfer rate reads in the log, and when a partial file may be resumed.
namespace OvDownloadRules {

// The file a download of `url` is saved to: the last component of the decoded path, or, when
// `isTaken` says that name is in use, base name (up to the first ".", "download" when empty)
// + "." + the smallest free number + "." + suffix (after the last "."). A path ending in "/"
// gives an empty name, which no file can be opened under.
QString saveFileName(const QUrl &url, const std::function<bool(const QString &)> &isTaken);

struct TransferRate
{
    double value = 0.0;
    QString unit;
};

// bytes ÷ milliseconds × 1000 in the largest of "bytes/sec", "kB/s", "MB/s" that keeps the
// value at or above 1. A zero interval gives an infinite (or, with no bytes, undefined) rate,
// which reads in "MB/s".
TransferRate transferRate(qint64 bytes, qint64 elapsedMs);

// The value for If-Range that proves a resumed range belongs to the same file: a strong ETag,
// else Last-Modified, else empty (no resume). A weak ETag ("W/...") never matches a range.
QByteArray resumeValidator(const QByteArray &etag, const QByteArray &lastModified);

// The side file kept beside a partial download: the URL it came from and its validator.
QByteArray partInfo(const QUrl &url, const QByteArray &validator);
// The validator in `info` if it was written for `url`, else empty: a partial file of another
// URL, or one whose side file is missing or damaged, is never resumed.
QByteArray validatorFor(const QByteArray &info, const QUrl &url);

struct ContentRange
{
    qint64 first = -1; // -1 when the header cannot be read
    qint64 total = -1; // -1 when unknown ("*")
};

// Reads "bytes FIRST-LAST/TOTAL" (TOTAL may be "*") of a 206 answer.
ContentRange contentRange(const QByteArray &header);

} // namespace OvDownloadRules

#endif // OVDOWNLOADRULES_H
