#ifndef OVPACKAGEVERIFIER_H
#define OVPACKAGEVERIFIER_H

#include <QByteArray>
#include <QString>

class OvMinisignKey;
class OvMinisignSignature;

// Decides whether a downloaded package is the one the vendor signed for the offered version,
// before a byte of it is extracted. The vendor signs with minisign 0.10 or later:
//   minisign -S -m zenta-1.1.zip -t "zenta 1.1"
// and the answer carries the .minisig file's text, base64-encoded. The trusted comment must be
// exactly "zenta <version>" with the offered version, so that an older, validly signed package
// cannot be offered as a newer one. It checks the package's BLAKE2b-512 hash (OvPackageHash),
// which the download takes as the bytes arrive, so the package itself is never read again.
// Safe to use on any thread; one object per check.
class OvPackageVerifier
{
public:
    enum class Error
    {
        None,
        BadKey,             // the key given is not a minisign public key
        NoSignature,        // the answer carried no signature
        NotBase64,          // the answer's signature is not base64
        Malformed,          // the decoded text is not a minisign signature
        LegacyAlgorithm,    // "Ed": signed over the raw file, which would need it all in memory
        OtherKey,           // signed with another key (key ids differ)
        BadGlobalSignature, // the trusted comment does not verify
        WrongVersion,       // the trusted comment does not name the offered version
        BadSignature,       // the package's hash does not verify (or there is none)
    };

    // `packageHash` is the package's BLAKE2b-512, `publicKey` the base64 line of minisign.pub,
    // `signatureBase64` the answer's "signature" member, `version` the offered version. True
    // when every check passed.
    bool verify(const QByteArray &packageHash, const QByteArray &publicKey,
                const QByteArray &signatureBase64, const QString &version);

    Error error() const { return err; }
    QString errorString() const { return reason; }

    // The trusted comment a package of `version` must carry.
    static QByteArray trustedCommentFor(const QString &version);

private:
    bool fail(Error error, const QString &why);
    // Every check that needs no package byte; on success `key` and `signature` hold what the
    // package's hash must be verified with.
    bool checkSigned(const QByteArray &publicKey, const QByteArray &signatureBase64,
                     const QString &version, OvMinisignKey *key, OvMinisignSignature *signature);
    bool checkHash(const QByteArray &hash, const OvMinisignKey &key,
                   const OvMinisignSignature &signature);

    Error err = Error::None;
    QString reason;
};

#endif // OVPACKAGEVERIFIER_H
