#pragma once

#include <juce_dsp/juce_dsp.h>

/** A copy of a stage's input, taken before the stage runs, which the stage's output is then blended
    with: capture, run the stage, blend. Each stage that blends owns one, so no other step can capture
    in between. */
class DrySnapshot
{
public:
    void prepare (int numChannels, int maxBlockSize);
    void release();

    /** Copies every channel of the block (a block marked silent as silence). Grows only when the host
        exceeds the prepared block size. */
    void capture (const juce::AudioBuffer<float>& block);

    /** block[c][i] = block[c][i]·amount + dry[d][i]·(1 − amount), with d = min(c, last dry channel). */
    void blendInto (juce::AudioBuffer<float>& block, float amount) const noexcept;

    /** The captured part, as long and as wide as the block, for a stage that filters its dry. */
    juce::dsp::AudioBlock<float> capturedFor (const juce::AudioBuffer<float>& block) noexcept;

    /** The whole capture buffer, read only. */
    const juce::AudioBuffer<float>& samples() const noexcept { return dry; }

private:
    juce::AudioBuffer<float> dry;
};
