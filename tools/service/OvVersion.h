#ifndef OVVERSION_H
#define OVVERSION_H

#include <QString>

// Release versions are dotted decimal numbers. They are compared part by part as numbers, the
// way the updater compares them, so that the service and the updater agree on "newest".
namespace OvVersion {

// One or more runs of decimal digits joined by single dots: "1", "1.10", "2.0.3".
bool isValid(const QString &version);

// Negative, zero or positive as `a` is older than, equal to or newer than `b`. Parts are
// numbers of any length and a missing part counts as 0: "1.10" > "1.9", "2.0" == "2",
// "1.02" == "1.2". Both versions must be valid.
int compare(const QString &a, const QString &b);

} // namespace OvVersion

#endif // OVVERSION_H
