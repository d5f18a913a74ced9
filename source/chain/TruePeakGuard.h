#pragma once

#include "chain/TruePeakInterpolator.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

/** A look-ahead gain stage that keeps the reconstructed (true) peak of channels 0 and 1 at or under a
    ceiling. It reads the peak with the true-peak meter's interpolator, turns both channels down by the
    same gain only around the points that would exceed the ceiling, and leaves every other sample
    exactly as it was, only delayed by latency(). */
class TruePeakGuard
{
public:
    /** Sizes the delay and the gain history for the rate: the only call that allocates. */
    void prepare (double sampleRate);
    void reset() noexcept;

    /** Samples the guard delays the signal by. */
    int latency() const noexcept { return lookAhead; }

    /** Delays the block by latency() and applies the gain that holds its true peak at `ceiling`. */
    void process (juce::AudioBuffer<float>& buffer, float ceiling) noexcept;

private:
    float nextGain (float requiredGain) noexcept;
    void skipUnityGains (int count) noexcept;
    bool staysUnder (float* const* channels, int numChannels, int start, int count, float ceiling) const noexcept;

    std::array<TruePeakInterpolator, 2> interpolators;
    int ramp = 1;      // samples the gain takes to reach a reduction
    int lookAhead = 0; // the interpolator's delay, the ramp and the hold
    float releaseCoefficient = 0.0f;

    // Required gains of the window that decides one sample's reduction, and how many are below 1.
    std::vector<float> required;
    int requiredWrite = 0, requiredBelowUnity = 0;
    // The released gains the ramp averages, their sum and how many are below 1.
    std::vector<float> released;
    int releasedWrite = 0, releasedBelowUnity = 0;
    double releasedSum = 0.0;
    float release = 1.0f;

    std::array<std::vector<float>, 2> delayLines;
    int delayWrite = 0;
};
