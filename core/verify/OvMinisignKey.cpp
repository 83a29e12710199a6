#include "core/verify/OvMinisignKey.h"

bool OvMinisignKey::parse(const QByteArray &base64Line)
{
    keyId.clear();
    publicKey.clear();
    const auto decoded = QByteArray::fromBase64Encoding(base64Line.trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    const QByteArray &bytes = *decoded;
    if (bytes.size() != 42 || !bytes.startsWith("Ed"))
        return false;
    keyId = bytes.mid(2, 8);
    publicKey = bytes.mid(10, 32);
    return true;
}
