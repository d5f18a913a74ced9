#pragma once

#include "chain/OversampledPath.h"

/** Inter-sample peak of channels 0 and 1 (channel 0 twice for a one-channel buffer), read from the
    4× oversampled signal. Shared by the output stage's meter and the render tool. */
class TruePeakMeter
{
public:
    /** Creates the oversampler and the scratch copy; the only place that allocates. */
    void prepare (int maxBlockSize);
    void reset() noexcept;
    /** Frees the scratch copy; prepare must run again before the next measurement. */
    void release();

    /** Largest magnitude of the oversampled block (linear); 0 when not prepared. */
    float measure (const juce::AudioBuffer<float>& buffer) noexcept;

    /** A linear peak in dBTP, -100 for anything below 1e-6. */
    static float toDbtp (float peak) noexcept;

private:
    float measureChunk (const juce::AudioBuffer<float>& buffer, int start, int count) noexcept;

    OversampledPath path;
    juce::AudioBuffer<float> scratch;
};
