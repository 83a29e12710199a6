#ifndef OVMINISIGNSIGNATURE_H
#define OVMINISIGNSIGNATURE_H

#include <QByteArray>
#include <QString>

// The four lines of a minisign signature file (<file>.minisig): an untrusted comment, the
// signature line (algorithm, key id, signature), the trusted comment and the global signature
// over signature + trusted comment. Only the layout is read here; nothing is verified.
class OvMinisignSignature
{
public:
    enum class Error
    {
        None,
        Malformed, // not four lines in that order, or a line of the wrong size
    };

    // Reads the text of a .minisig file; lines may end with "\n" or "\r\n".
    bool parse(const QByteArray &text);

    Error error() const { return err; }
    QString errorString() const { return reason; }

    // "ED": the file's BLAKE2b-512 hash was signed; "Ed": the file itself (legacy).
    QByteArray algorithm;
    QByteArray keyId;           // 8 bytes
    QByteArray signature;       // 64 bytes
    QByteArray trustedComment;  // the text after "trusted comment: "
    QByteArray globalSignature; // 64 bytes

private:
    bool fail(const QString &why);

    Error err = Error::None;
    QString reason;
};

#endif // OVMINISIGNSIGNATURE_H
