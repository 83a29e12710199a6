#ifndef OVZIPENTRYNAME_H
#define OVZIPENTRYNAME_H

#include <QString>

// Decisions about where an archive entry may land. Kept free of any file-system access so that
// every rule can be checked on its own.
namespace OvZipEntryName {

// Turns an entry name into a clean path relative to the destination: "\" counts as a
// separator (the package is made on Windows), empty and "." components are dropped, and a
// trailing separator (a directory entry) is kept as "/"; a NUL ends the name. Returns an empty
// string for a name that must not be extracted: an absolute or rooted name, one starting with
// a drive letter, one with a ".." component, or one with nothing left.
QString safeRelativePath(const QString &name);

// True when the clean absolute `path` is `root` itself or lies below it. Both are expected in
// canonical form; the comparison ignores case on Windows, whose file systems do too.
bool isWithin(const QString &path, const QString &root);

} // namespace OvZipEntryName

#endif // OVZIPENTRYNAME_H
