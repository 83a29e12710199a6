#ifndef OVTESTMINISIGN_H
#define OVTESTMINISIGN_H

#include <QStringList>

// Keys and signatures made by the real minisign tool, as a vendor makes them.
namespace OvTestMinisign {

// Makes the key pair `dir`/`name`.pub and .key without a password; returns the public key's
// base64 line, or an empty array when minisign failed.
QByteArray makeKey(const QString &dir, const QString &name);

// Signs `file` with `dir`/`name`.key and the trusted comment; `extra` goes to minisign as is
// (for example "-l"). Returns the text of the signature file, or an empty array on failure.
QByteArray sign(const QString &dir, const QString &name, const QString &file,
                const QString &trustedComment, const QStringList &extra = {});

} // namespace OvTestMinisign

#endif // OVTESTMINISIGN_H
