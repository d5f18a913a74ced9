#pragma once

/** Four floats in one vector register, for running independent filter chains side by side (the two
    channels, or both paths of a polyphase stage). Each lane does plain float arithmetic, so a lane
    gives the same bits as the scalar code it stands for. */
using FloatLanes = float __attribute__ ((vector_size (16)));

/** A per-lane condition, as comparisons of FloatLanes give it: -1 where true, 0 where false. It
    picks lanes in `mask ? a : b`. */
using LaneMask = int __attribute__ ((vector_size (16)));

/** Every lane set to v. */
inline FloatLanes lanesOf (float v) noexcept { return FloatLanes {} + v; }

/** The magnitude of each lane, as std::abs gives it (the sign bit cleared). */
inline FloatLanes absLanes (FloatLanes x) noexcept
{
    return reinterpret_cast<FloatLanes> (reinterpret_cast<LaneMask> (x) & 0x7fffffff);
}

/** The square root of each lane, correctly rounded as std::sqrt rounds it. */
inline FloatLanes sqrtLanes (FloatLanes x) noexcept
{
#if defined(__SSE__)
    return __builtin_ia32_sqrtps (x);
#else
    for (int lane = 0; lane < 4; ++lane)
        x[lane] = __builtin_sqrtf (x[lane]);
    return x;
#endif
}

/** Each lane limited to [lower, upper], as juce::jlimit does it. */
inline FloatLanes limitLanes (float lower, float upper, FloatLanes x) noexcept
{
    const FloatLanes low = lanesOf (lower), high = lanesOf (upper);
    return x < low ? low : (high < x ? high : x);
}
