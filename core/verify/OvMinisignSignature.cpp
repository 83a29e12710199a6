#include "core/verify/OvMinisignSignature.h"

#include <QList>

namespace {

const QByteArray kUntrusted = QByteArrayLiteral("untrusted comment: ");
const QByteArray kTrusted = QByteArrayLiteral("trusted comment: ");

// The bytes of one base64 line, or an empty array when the line is not strict base64 of
// exactly `size` bytes.
QByteArray decodeLine(const QByteArray &line, int size)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
    return decoded && (*decoded).size() == size ? *decoded : QByteArray();
}

} // namespace

bool OvMinisignSignature::fail(const QString &why)
{
    err = Error::Malformed;
    reason = why;
    return false;
}

bool OvMinisignSignature::parse(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the file's last newline
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() != 4)
        return fail(QStringLiteral("the signature has %1 lines instead of 4").arg(lines.size()));
    if (!lines.at(0).startsWith(kUntrusted))
        return fail(QStringLiteral("the signature's first line is not an untrusted comment"));
    const QByteArray signatureLine = decodeLine(lines.at(1), 74);
    if (signatureLine.isEmpty())
        return fail(QStringLiteral("the signature's second line is not base64 of 74 bytes"));
    if (!lines.at(2).startsWith(kTrusted))
        return fail(QStringLiteral("the signature's third line is not a trusted comment"));
    globalSignature = decodeLine(lines.at(3), 64);
    if (globalSignature.isEmpty())
        return fail(QStringLiteral("the signature's fourth line is not base64 of 64 bytes"));

    algorithm = signatureLine.left(2);
    keyId = signatureLine.mid(2, 8);
    signature = signatureLine.mid(10, 64);
    trustedComment = lines.at(2).mid(kTrusted.size());
    err = Error::None;
    reason.clear();
    return true;
}
