#ifndef OVPACKAGESTORE_H
#define OVPACKAGESTORE_H

#include <QByteArray>
#include <QString>

// The folder of package files that the service hands out. Names come from the catalogue and,
// decoded, from request paths, so every name is checked before it touches the file system.
namespace OvPackageStore {

// A bare file name: not empty, not "." or "..", no "/" or "\", no control characters, at most
// 255 bytes in UTF-8.
bool isSafeFileName(const QString &name);

// The canonical path of the regular file `name` in `dir`, or an empty string when the name is
// not safe, there is no such file, or it resolves (through a link) to a place outside `dir`.
QString resolve(const QString &dir, const QString &name);

// The text of the minisign signature `name`.minisig beside the package `name` in `dir`, or
// an empty array when there is none (or it is too large to be one).
QByteArray signatureOf(const QString &dir, const QString &name);

// "application/zip" for a ".zip" name (any case), otherwise "application/octet-stream".
QString contentType(const QString &name);

} // namespace OvPackageStore

#endif // OVPACKAGESTORE_H
