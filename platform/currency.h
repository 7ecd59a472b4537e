#pragma once
// Money: a signed 64-bit count of 1/10000, as the OLE currency type.

#include <cstdint>

namespace fr {

struct Currency {
    int64_t raw = 0;  // value * 10000

    static constexpr Currency FromRaw(int64_t units) { return Currency{units}; }
    // Rounds to the nearest unit, ties to even; raises EConvertError when out of range.
    static Currency FromDouble(double value);
    double ToDouble() const { return static_cast<double>(raw) / 10000.0; }

    friend constexpr bool operator==(Currency a, Currency b) { return a.raw == b.raw; }
    friend constexpr auto operator<=>(Currency a, Currency b) { return a.raw <=> b.raw; }
};

}  // namespace fr
