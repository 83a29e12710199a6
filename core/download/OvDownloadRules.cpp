#include "core/download/OvDownloadRules.h"

#include <QFileInfo>
#include <QUrl>

namespace OvDownloadRules {

QString saveFileName(const QUrl &url, const std::function<bool(const QString &)> &isTaken)
{
    const QFileInfo info(url.path(QUrl::FullyDecoded));
    const QString fileName = info.fileName();
    if (!isTaken(fileName))
        return fileName;

    QString baseName = info.baseName();
    if (baseName.isEmpty())
        baseName = QStringLiteral("download");
    baseName += QLatin1Char('.');
    const QString suffix = QLatin1Char('.') + info.suffix();

    // A directory holds far fewer files than a 64-bit counter can number, so this ends.
    for (qint64 i = 0;; ++i) {
        const QString candidate = baseName + QString::number(i) + suffix;
        if (!isTaken(candidate))
            return candidate;
    }
}

TransferRate transferRate(qint64 bytes, qint64 elapsedMs)
{
    // In floating point, so a report within the first millisecond gives infinity (or NaN
    // with no bytes) instead of an integer division by zero; both fail the comparisons below
    // and therefore read in "MB/s".
    double speed = double(bytes) / double(elapsedMs) * 1000.0;
    if (speed < 1024.0)
        return {speed, QStringLiteral("bytes/sec")};
    if (speed < 1048576.0) {
        speed *= 0.0009765625;
        return {speed, QStringLiteral("kB/s")};
    }
    speed *= 9.5367431640625e-07;
    return {speed, QStringLiteral("MB/s")};
}

} // namespace OvDownloadRules
