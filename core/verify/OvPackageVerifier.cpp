#include "core/verify/OvPackageVerifier.h"

#include "core/verify/OvMinisignKey.h"
#include "core/verify/OvMinisignSignature.h"

#include <algorithm>
#include <sodium.h>

namespace {

// A key id as minisign prints it ("minisign public key <id>"): the little-endian number in hex.
QString keyIdText(const QByteArray &keyId)
{
    QByteArray number(keyId);
    std::reverse(number.begin(), number.end());
    return QString::fromLatin1(number.toHex().toUpper());
}

bool verifies(const QByteArray &signature, const QByteArray &message, const QByteArray &key)
{
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.data()),
                                       reinterpret_cast<const unsigned char *>(message.data()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char *>(key.data())) == 0;
}

} // namespace

QByteArray OvPackageVerifier::trustedCommentFor(const QString &version)
{
    return QByteArrayLiteral("zenta ") + version.toUtf8();
}

bool OvPackageVerifier::fail(Error error, const QString &why)
{
    err = error;
    reason = why;
    return false;
}

bool OvPackageVerifier::verify(const QByteArray &packageHash, const QByteArray &publicKey,
                               const QByteArray &signatureBase64, const QString &version)
{
    OvMinisignKey key;
    OvMinisignSignature signature;
    return checkSigned(publicKey, signatureBase64, version, &key, &signature) &&
           checkHash(packageHash, key, signature);
}

bool OvPackageVerifier::checkSigned(const QByteArray &publicKey, const QByteArray &signatureBase64,
                                    const QString &version, OvMinisignKey *key,
                                    OvMinisignSignature *signature)
{
    err = Error::None;
    reason.clear();
    if (sodium_init() < 0)
        return fail(Error::BadKey, QStringLiteral("libsodium cannot be initialised"));

    if (!key->parse(publicKey))
        return fail(Error::BadKey, QStringLiteral("the built-in key is not a minisign public key"));
    if (signatureBase64.isEmpty())
        return fail(Error::NoSignature, QStringLiteral("the answer carries no signature"));
    const auto text =
        QByteArray::fromBase64Encoding(signatureBase64, QByteArray::AbortOnBase64DecodingErrors);
    if (!text)
        return fail(Error::NotBase64, QStringLiteral("the answer's signature is not base64"));

    if (!signature->parse(*text))
        return fail(Error::Malformed, signature->errorString());
    if (signature->algorithm == "Ed")
        return fail(Error::LegacyAlgorithm,
                    QStringLiteral("legacy signature over the whole file (\"Ed\") refused; sign "
                                   "with minisign 0.10 or later, without -l"));
    if (signature->algorithm != "ED")
        return fail(Error::Malformed, QStringLiteral("unknown signature algorithm %1")
                                          .arg(QString::fromLatin1(signature->algorithm.toHex())));
    if (signature->keyId != key->keyId)
        return fail(Error::OtherKey,
                    QStringLiteral("signed with key %1, not with the built-in key %2")
                        .arg(keyIdText(signature->keyId), keyIdText(key->keyId)));
    if (!verifies(signature->globalSignature, signature->signature + signature->trustedComment,
                  key->publicKey))
        return fail(Error::BadGlobalSignature,
                    QStringLiteral("the trusted comment's signature does not verify"));
    if (signature->trustedComment != trustedCommentFor(version))
        return fail(Error::WrongVersion,
                    QStringLiteral("the trusted comment \"%1\" does not name version %2")
                        .arg(QString::fromUtf8(signature->trustedComment), version));
    return true;
}

bool OvPackageVerifier::checkHash(const QByteArray &hash, const OvMinisignKey &key,
                                  const OvMinisignSignature &signature)
{
    // A hash of another length (none taken at all) can never be what the vendor signed.
    if (hash.size() != crypto_generichash_BYTES_MAX ||
        !verifies(signature.signature, hash, key.publicKey))
        return fail(Error::BadSignature, QStringLiteral("the package's signature does not verify"));
    return true;
}
