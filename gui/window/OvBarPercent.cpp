#include "gui/window/OvBarPercent.h"

#include <cmath>

namespace OvBarPercent {

std::optional<int> value(double percent)
{
    if (!std::isfinite(percent) || percent <= -1.0 || percent >= 1.0e6)
        return std::nullopt;
    return static_cast<int>(percent);
}

} // namespace OvBarPercent
