// Near a multiple k*pi, sin(phase) = (-1)^k sin(r) with r = phase - k*pi,
// and |r| < 2^-20, so sin(r) = r - r^3/6 to within r^5/120 < 2^-80 |r|.
//
// The reduction, for |k| <= 2^20 (phases up to 3.2e6 radians; the sweep's
// reach 2^31 samples at most 8.5e5): pi = kPi1 + kPi2 + kPi3 + e with kPi1
// and kPi2 of 32 significant bits and |e| < 2.1e-37. k * kPi1 and k * kPi2
// are exact (at most 53 bits); phase - k * kPi1 is exact (Sterbenz: within a
// factor 2 of each other for k != 0); the subtraction of k * kPi2 is made
// exact by TwoSum. What is left: the rounding of k * kPi3 (<= 2^-101), of
// adding it to the TwoSum's error (<= 2^-106 |hi| + 2^-101) and k * e
// (< 2^-101). So hi + lo is r within 2^-99, the cubic adds under 2^-93 |r|,
// and the result is sin(phase) within 2^-99 + 2^-92 |r| before its one final
// rounding: nearly correctly rounded, and the same on every processor that
// rounds each double operation (SSE2, ARM; contraction is off).
#include "FlangerSine.h"

#include <cmath>
#include <cstdint>

namespace pendrax {
namespace {

constexpr double kPi1 = 0x1.921fb544p+1;
constexpr double kPi2 = 0x1.0b4611a6p-33;
constexpr double kPi3 = 0x1.3198a2e037073p-68;
constexpr double kInversePi = 0x1.45f306dc9c883p-2;
constexpr double kReducedLimit = 0x1p-20;
constexpr double kLargestMultiple = 0x1p+20;

}  // namespace

double SweepSine(double phase) {
    const double k = std::nearbyint(phase * kInversePi);
    if (!(std::fabs(k) <= kLargestMultiple)) {
        return std::sin(phase);
    }
    const double head = phase - k * kPi1;
    const double tail = k * kPi2;
    // TwoSum: hi + error == head - tail exactly.
    const double hi = head - tail;
    const double back = hi - head;
    const double error = (head - (hi - back)) + (-tail - back);
    if (!(std::fabs(hi) < kReducedLimit)) {
        return std::sin(phase);
    }
    const double lo = error - k * kPi3;
    const double sine = hi + (lo - hi * hi * hi / 6.0);
    return (static_cast<std::int64_t>(k) & 1) == 0 ? sine : -sine;
}

}  // namespace pendrax
