#include "core/download/OvDownloadRules.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

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

QByteArray resumeValidator(const QByteArray &etag, const QByteArray &lastModified)
{
    // If-Range compares strongly: a weak tag would make every resume start over.
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return lastModified;
}

QByteArray partInfo(const QUrl &url, const QByteArray &validator)
{
    return url.toEncoded() + '\n' + validator + '\n';
}

QByteArray validatorFor(const QByteArray &info, const QUrl &url)
{
    const QList<QByteArray> lines = info.split('\n');
    if (lines.size() != 3 || !lines[2].isEmpty() || lines[0] != url.toEncoded())
        return QByteArray();
    // The validator goes into the If-Range header as it is: a control character ("\r") would
    // end that header early and make the rest of the line a header of its own.
    const auto isFieldByte = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= 0x20 && byte != 0x7f);
    };
    if (!std::all_of(lines[1].cbegin(), lines[1].cend(), isFieldByte))
        return QByteArray();
    return lines[1];
}

ContentRange contentRange(const QByteArray &header)
{
    static const QRegularExpression form(
        QStringLiteral("^bytes (\\d{1,18})-(\\d{1,18})/(\\d{1,18}|\\*)$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(header.trimmed()));
    ContentRange range;
    if (!match.hasMatch() || match.captured(2).toLongLong() < match.captured(1).toLongLong())
        return range;
    const qint64 total =
        match.captured(3) == QLatin1String("*") ? -1 : match.captured(3).toLongLong();
    if (total >= 0 && match.captured(2).toLongLong() >= total)
        return range;
    range.first = match.captured(1).toLongLong();
    range.total = total;
    return range;
}

} // namespace OvDownloadRules
