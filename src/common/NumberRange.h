#pragma once

#include <cmath>
#include <limits>
#include <type_traits>

// A number from outside (a reply, a file, a player's output) as an integer
// type, without the undefined behaviour of a plain cast: the fraction is
// dropped, values beyond the type's range become its smallest or largest
// value, and NaN reads as 0.
template<class Int> Int clampedInteger(double value)
{
    static_assert(std::is_integral_v<Int>);
    if (std::isnan(value))
        return 0;
    // The limits as doubles may round up (2^63, 2^64), hence >= on the top.
    constexpr double lowest = double(std::numeric_limits<Int>::min());
    constexpr double highest = double(std::numeric_limits<Int>::max());
    if (value <= lowest)
        return std::numeric_limits<Int>::min();
    if (value >= highest)
        return std::numeric_limits<Int>::max();
    return Int(std::trunc(value));
}
