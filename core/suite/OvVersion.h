#ifndef OVVERSION_H
#define OVVERSION_H

#include <QString>

namespace OvVersion {

// Dotted numeric comparison: parts compared as decimal integers, a missing or non-numeric
// part counting as 0. So 1.10 is newer than 1.9, 2.0 equals 2, and an empty offer is never
// newer.
bool isNewer(const QString &offered, const QString &installed);

} // namespace OvVersion

#endif // OVVERSION_H
