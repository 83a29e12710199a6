#include "tools/service/OvVersion.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// Compared as digit strings rather than integers so that no part is too long to compare.
QStringRef significantDigits(const QStringList &parts, int index)
{
    if (index >= parts.size())
        return QStringRef();
    const QString &part = parts.at(index);
    int start = 0;
    while (start < part.size() && part.at(start) == QLatin1Char('0'))
        ++start;
    return part.midRef(start);
}

} // namespace

namespace OvVersion {

bool isValid(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    return pattern.match(version).hasMatch();
}

int compare(const QString &a, const QString &b)
{
    const QStringList partsA = a.split(QLatin1Char('.'));
    const QStringList partsB = b.split(QLatin1Char('.'));
    const int count = qMax(partsA.size(), partsB.size());
    for (int i = 0; i < count; ++i) {
        const QStringRef digitsA = significantDigits(partsA, i);
        const QStringRef digitsB = significantDigits(partsB, i);
        if (digitsA.size() != digitsB.size())
            return digitsA.size() < digitsB.size() ? -1 : 1;
        const int order = digitsA.compare(digitsB);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

} // namespace OvVersion
