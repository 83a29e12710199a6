#ifndef OVBARPERCENT_H
#define OVBARPERCENT_H

#include <optional>

namespace OvBarPercent {

// The progress bar's value for a percentage, truncated toward zero. None when the percentage is
// not finite (a total of 0) or lies far outside the bar's range, where converting it to an int
// would overflow: the bar then keeps what it shows. A slightly negative percentage (a total of
// -1, the size not announced) gives a value the bar itself ignores.
std::optional<int> value(double percent);

} // namespace OvBarPercent

#endif // OVBARPERCENT_H
