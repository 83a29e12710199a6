#ifndef OVELEVATION_H
#define OVELEVATION_H

#include <QString>
#include <QStringList>

namespace OvElevation {

// True when the process must start an elevated copy of itself: it lacks administrator
// rights, runs from drive C: and is not already the copy (marker "runas" at index 1).
bool needsElevatedCopy(bool isAdmin, const QString &programPath, const QStringList &args);

// "runas", one blank, then the arguments after the program path joined with single blanks,
// unquoted: the copy receives them exactly as the shell splits that string.
QString parameterString(const QStringList &args);

// True when the shell's result code means the elevated copy was started.
bool shellSucceeded(long long result);

} // namespace OvElevation

// Starts an elevated copy when needed. True means the caller must end at once with 0.
// Needs the application object.
bool runAsAdminIfNeeded();

#endif // OVELEVATION_H
