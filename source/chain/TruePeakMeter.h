#pragma once

#include "chain/TruePeakInterpolator.h"

#include <juce_audio_basics/juce_audio_basics.h>

/** True peak of channels 0 and 1 (channel 0 alone for a one-channel buffer) per ITU-R BS.1770-4
    Annex 2. Shared by the output stage's meter and the render tool. Allocates nothing. */
class TruePeakMeter
{
public:
    void prepare (double sampleRate) noexcept;
    void reset() noexcept;

    /** Largest magnitude of the reconstructed signal over the block (linear). Readings at or below
        `floor` need not be exact: stretches that cannot reach above it are not reconstructed. */
    float measure (const juce::AudioBuffer<float>& buffer, float floor = 0.0f) noexcept;

    /** A linear peak in dBTP, -100 for anything below 1e-6. */
    static float toDbtp (float peak) noexcept;

private:
    std::array<TruePeakInterpolator, 2> interpolators;
    std::array<float, 256> stretchPeaks {}; // each sample's reading, a stretch at a time
};
