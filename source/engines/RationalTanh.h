#pragma once

#include "engines/FloatLanes.h"

#include <algorithm>
#include <cmath>

namespace rational_tanh
{
// Beyond ±7.9 tanh is 1 to float precision.
constexpr float limit = 7.90531110763549805f;
// Below this tanh(v) = v to float precision.
constexpr float linearBelow = 0.0004f;

/** x·P(x²)/Q(x²) for a clamped x; plain products and sums, so a float and a lane round alike. */
template <typename Value>
Value ratio (Value x) noexcept
{
    const Value x2 = x * x;
    Value p = x2 * -2.76076847742355e-16f + 2.00018790482477e-13f;
    p = x2 * p + -8.60467152213735e-11f;
    p = x2 * p + 5.12229709037114e-08f;
    p = x2 * p + 1.48572235717979e-05f;
    p = x2 * p + 6.37261928875436e-04f;
    p = x2 * p + 4.89352455891786e-03f;
    Value q = x2 * 1.19825839466702e-06f + 1.18534705686654e-04f;
    q = x2 * q + 2.26843463243900e-03f;
    q = x2 * q + 4.89352518554385e-03f;
    return x * p / q;
}
} // namespace rational_tanh

/** tanh within 4e−7 of the exact value (a few float steps; libm's tanhf is within 1e−7), as a
    clamped odd rational function: no library call, so the saturators' sample loops stay cheap. */
inline float rationalTanh (float v) noexcept
{
    using namespace rational_tanh;
    const float x = v < -limit ? -limit : (limit < v ? limit : v); // as std::clamp, in values that vectorise
    // Divides unconditionally, so that loops over samples can vectorise with a select below.
    const float r = ratio (x);
    return std::abs (v) < linearBelow ? v : r;
}

/** rationalTanh of each lane, with the same bits as the float version gives it. */
inline FloatLanes rationalTanh (FloatLanes v) noexcept
{
    using namespace rational_tanh;
    const FloatLanes r = ratio (limitLanes (-limit, limit, v));
    return absLanes (v) < lanesOf (linearBelow) ? v : r;
}
