#include "core/check/OvJsonNumber.h"

#include <QJsonValue>

namespace OvJsonNumber {

bool wholeNumber(const QJsonValue &value, qint64 min, qint64 max, qint64 *number)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!(d >= static_cast<double>(min) && d <= static_cast<double>(max)))
        return false;
    const qint64 i = static_cast<qint64>(d);
    if (static_cast<double>(i) != d)
        return false;
    *number = i;
    return true;
}

} // namespace OvJsonNumber
