#include "core/verify/OvPackageVerifier.h"

#include "core/verify/OvMinisignKey.h"
#include "core/verify/OvMinisignSignature.h"

#include <QFile>

#include <algorithm>
#include <sodium.h>

namespace {

// Large enough that the hash, not the calls, sets the pace; small enough for any machine.
constexpr qint64 kChunkBytes = 1024 * 1024;

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

QByteArray OvPackageVerifier::hashFile(const QString &path, QString *why)
{
    QFile file(path);
    // Read straight into the chunk: QFile's own buffer would only add a copy.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return {};
    }
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    QByteArray chunk(static_cast<int>(kChunkBytes), Qt::Uninitialized);
    qint64 read = 0;
    while ((read = file.read(chunk.data(), kChunkBytes)) > 0)
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(chunk.data()),
                                  static_cast<unsigned long long>(read));
    if (read < 0) {
        *why = file.errorString();
        return {};
    }
    QByteArray hash(crypto_generichash_BYTES_MAX, Qt::Uninitialized);
    crypto_generichash_final(&state, reinterpret_cast<unsigned char *>(hash.data()),
                             static_cast<size_t>(hash.size()));
    return hash;
}

bool OvPackageVerifier::verify(const QString &packagePath, const QByteArray &publicKey,
                               const QByteArray &signatureBase64, const QString &version)
{
    err = Error::None;
    reason.clear();
    if (sodium_init() < 0)
        return fail(Error::BadKey, QStringLiteral("libsodium cannot be initialised"));

    OvMinisignKey key;
    if (!key.parse(publicKey))
        return fail(Error::BadKey, QStringLiteral("the built-in key is not a minisign public key"));
    if (signatureBase64.isEmpty())
        return fail(Error::NoSignature, QStringLiteral("the answer carries no signature"));
    const auto text =
        QByteArray::fromBase64Encoding(signatureBase64, QByteArray::AbortOnBase64DecodingErrors);
    if (!text)
        return fail(Error::NotBase64, QStringLiteral("the answer's signature is not base64"));

    OvMinisignSignature signature;
    if (!signature.parse(*text))
        return fail(Error::Malformed, signature.errorString());
    if (signature.algorithm == "Ed")
        return fail(Error::LegacyAlgorithm,
                    QStringLiteral("legacy signature over the whole file (\"Ed\") refused; sign "
                                   "with minisign 0.10 or later, without -l"));
    if (signature.algorithm != "ED")
        return fail(Error::Malformed, QStringLiteral("unknown signature algorithm %1")
                                          .arg(QString::fromLatin1(signature.algorithm.toHex())));
    if (signature.keyId != key.keyId)
        return fail(Error::OtherKey,
                    QStringLiteral("signed with key %1, not with the built-in key %2")
                        .arg(keyIdText(signature.keyId), keyIdText(key.keyId)));

    // The comment first: it is cheap, and a refusal then reads no package byte.
    if (!verifies(signature.globalSignature, signature.signature + signature.trustedComment,
                  key.publicKey))
        return fail(Error::BadGlobalSignature,
                    QStringLiteral("the trusted comment's signature does not verify"));
    if (signature.trustedComment != trustedCommentFor(version))
        return fail(Error::WrongVersion,
                    QStringLiteral("the trusted comment \"%1\" does not name version %2")
                        .arg(QString::fromUtf8(signature.trustedComment), version));

    QString why;
    const QByteArray hash = hashFile(packagePath, &why);
    if (hash.isEmpty())
        return fail(Error::Unreadable, QStringLiteral("the package cannot be read: %1").arg(why));
    if (!verifies(signature.signature, hash, key.publicKey))
        return fail(Error::BadSignature, QStringLiteral("the package's signature does not verify"));
    return true;
}
