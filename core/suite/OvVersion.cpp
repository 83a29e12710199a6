#include "core/suite/OvVersion.h"

#include <QStringList>

namespace OvVersion {

bool isNewer(const QString &offered, const QString &installed)
{
    const QStringList a = offered.split(QLatin1Char('.'));
    const QStringList b = installed.split(QLatin1Char('.'));
    for (int i = 0; i < a.size() || i < b.size(); ++i) {
        // toLongLong gives 0 for a part that is not a number; a very long run of digits that
        // does not fit counts as 0 too rather than wrapping.
        const qlonglong x = i < a.size() ? a.at(i).toLongLong() : 0;
        const qlonglong y = i < b.size() ? b.at(i).toLongLong() : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace OvVersion
