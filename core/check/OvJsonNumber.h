#ifndef OVJSONNUMBER_H
#define OVJSONNUMBER_H

#include <QtGlobal>

class QJsonValue;

namespace OvJsonNumber {

// JSON numbers are doubles; a value counts as a whole number only when it is a number without
// a fraction inside [min, max] (so a string, 1.5 or 1e300 never does). The updater and the
// reference service read "status", "importanceLevel" and "key" by this one rule.
bool wholeNumber(const QJsonValue &value, qint64 min, qint64 max, qint64 *number);

} // namespace OvJsonNumber

#endif // OVJSONNUMBER_H
