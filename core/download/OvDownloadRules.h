#ifndef OVDOWNLOADRULES_H
#define OVDOWNLOADRULES_H

#include <QString>

#include <functional>

class QUrl;

// The decisions of the download queue that do not need a network: which file a URL is saved
// to and how a transfer rate reads in the log.
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

} // namespace OvDownloadRules

#endif // OVDOWNLOADRULES_H
