#pragma once

#include <array>
#include <cmath>

// Worked references for the multiband crossover and its band limiters.
namespace test
{
/** The framework limiter's output gain for a signal below both of its stages: it makes up for its 4:1
    first stage above −10 dB (as if at 0 dBFS) and for its threshold. */
inline double limiterMakeup (double thresholdDb)
{
    return std::pow (10.0, 7.5 / 40.0) * std::pow (10.0, -thresholdDb / 20.0);
}

/** Magnitude of a fourth-order Linkwitz-Riley low-pass at fc, digital (bilinear with prewarping). */
inline double linkwitzRileyLow (double f, double fc, double sampleRate)
{
    const double pi = 3.141592653589793;
    const double ratio = std::tan (pi * f / sampleRate) / std::tan (pi * fc / sampleRate);
    return 1.0 / (1.0 + std::pow (ratio, 4.0));
}

/** The magnitude of three Linkwitz-Riley bands summed with these gains. The outputs of such a
    crossover are in phase with each other, so the band magnitudes add. */
inline double bandWeightedSum (double f, const std::array<double, 3>& gains, double lowSplit, double highSplit,
                               double sampleRate)
{
    const double low = linkwitzRileyLow (f, lowSplit, sampleRate);
    const double mid = linkwitzRileyLow (f, highSplit, sampleRate);
    return gains[0] * low + (1.0 - low) * (gains[1] * mid + gains[2] * (1.0 - mid));
}
} // namespace test
