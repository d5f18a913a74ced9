#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** A preallocated multichannel history of what was written to it, read back a fixed number of samples
    late. Blocks of any length go through in stretches short enough that nothing still to be read is
    overwritten, so no block size needs more memory than `prepare` gave. */
class DelayRing
{
public:
    /** Room for a block of the prepared size plus a delay of up to maxDelay samples. */
    static int lengthFor (int maxBlockSize, int maxDelay = 256) noexcept
    {
        return juce::jmax (maxBlockSize + maxDelay, 2 * maxDelay, 512);
    }

    void prepare (int numChannels, int length);
    void release();

    /** Silence, and the count of samples written starts again at 0. */
    void clear() noexcept;

    /** Writes the first `numSamples` of `source` (ring channel c from source channel min(c, last)),
        calling `read (start, count)` after each stretch [start, start + count) is written, so that
        `delayed` can return the samples `delay` behind it. */
    template <typename Read>
    void write (const juce::AudioBuffer<float>& source, int numSamples, int delay, Read&& read) noexcept
    {
        const int stretch = juce::jmax (1, ring.getNumSamples() - delay);
        for (int start = 0; start < numSamples; start += stretch)
        {
            const int count = juce::jmin (stretch, numSamples - start);
            push (source, start, count);
            read (start, count);
        }
    }

    /** Writes the first `numSamples` of the buffer and replaces them with what was written `delay`
        samples earlier. */
    void delayInPlace (juce::AudioBuffer<float>& buffer, int numSamples, int delay) noexcept;

    /** Writes without reading back. */
    void write (const juce::AudioBuffer<float>& source, int numSamples) noexcept;

    /** The sample written `delay` samples before the one at `offset` in the last stretch. */
    float delayed (int channel, int offset, int delay) const noexcept;

    /** Whether that sample was written since the last clear. */
    bool holds (int offset, int delay) const noexcept { return stretchStart + offset - delay >= 0; }

    /** The last `numSamples` written, silence before the first (allocates). */
    juce::AudioBuffer<float> latest (int numSamples) const;

private:
    void push (const juce::AudioBuffer<float>& source, int start, int count) noexcept;
    /** The last stretch's `count` samples, each as written `delay` samples before it. */
    void copyDelayedStretch (int channel, int delay, float* destination, int count) const noexcept;
    int indexOf (juce::int64 position) const noexcept;

    juce::AudioBuffer<float> ring;
    juce::int64 written = 0;      // samples written since the last clear
    juce::int64 stretchStart = 0; // position of the first sample of the last stretch
};
