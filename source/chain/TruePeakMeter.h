#pragma once

#include <juce_dsp/juce_dsp.h>

#include <memory>

/** The 4× oversampler of the output stage (two stages of 2×, half-band polyphase IIR, maximum
    quality), ready for blocks of up to maxBlockSize samples. */
std::unique_ptr<juce::dsp::Oversampling<float>> makeOutputOversampler (int maxBlockSize);

/** Calls run (start, count) over consecutive runs of at most maxChunk samples, so that a block longer
    than an oversampler was prepared for still passes through it. */
template <typename Run>
void forEachChunk (int numSamples, int maxChunk, Run&& run)
{
    for (int start = 0; maxChunk > 0 && start < numSamples; start += maxChunk)
        run (start, juce::jmin (maxChunk, numSamples - start));
}

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

    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler;
    juce::AudioBuffer<float> scratch;
};
