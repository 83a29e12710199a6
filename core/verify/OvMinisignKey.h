#ifndef OVMINISIGNKEY_H
#define OVMINISIGNKEY_H

#include <QByteArray>

// A minisign public key, read from the base64 line of minisign.pub (the line that
// `minisign -P` takes): algorithm "Ed", an 8-byte key id and a 32-byte Ed25519 key.
class OvMinisignKey
{
public:
    // False when the text is not such a line; the key is then left empty.
    bool parse(const QByteArray &base64Line);

    bool isValid() const { return publicKey.size() == 32; }

    QByteArray keyId;     // 8 bytes, as stored (little-endian)
    QByteArray publicKey; // 32 bytes
};

#endif // OVMINISIGNKEY_H
