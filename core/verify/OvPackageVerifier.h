#ifndef OVPACKAGEVERIFIER_H
#define OVPACKAGEVERIFIER_H

#include <QByteArray>
#include <QString>

// Decides whether a downloaded package is the one the vendor signed for the offered version,
// before a byte of it is extracted. The vendor signs with minisign 0.10 or later:
//   minisign -S -m zenta-1.1.zip -t "zenta 1.1"
// and the answer carries the .minisig file's text, base64-encoded. The trusted comment must be
// exactly "zenta <version>" with the offered version, so that an older, validly signed package
// cannot be offered as a newer one. The package is hashed in chunks, never held in memory.
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
        Unreadable,         // the package file cannot be read
        BadSignature,       // the package's content does not verify
    };

    // `publicKey` is the base64 line of minisign.pub, `signatureBase64` the answer's
    // "signature" member, `version` the offered version. True when every check passed.
    bool verify(const QString &packagePath, const QByteArray &publicKey,
                const QByteArray &signatureBase64, const QString &version);

    Error error() const { return err; }
    QString errorString() const { return reason; }

    // The trusted comment a package of `version` must carry.
    static QByteArray trustedCommentFor(const QString &version);

private:
    bool fail(Error error, const QString &why);
    // BLAKE2b-512 of the whole file; empty when it cannot be read.
    static QByteArray hashFile(const QString &path, QString *why);

    Error err = Error::None;
    QString reason;
};

#endif // OVPACKAGEVERIFIER_H
