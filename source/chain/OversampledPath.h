#pragma once

#include <juce_dsp/juce_dsp.h>

#include <memory>

/** The chain's 4× oversampling (two half-band stages, polyphase IIR, maximum quality) for the first
    two channels of a block. A fractional delay rounds its latency up to whole samples, so that the
    chain can report it. Blocks go through in chunks no longer than the
    prepared size, so a host block beyond it still fits without allocating. */
class OversampledPath
{
public:
    /** Creates the oversampler; the only call that allocates. */
    void prepare (int maxBlockSize);
    void reset() noexcept;
    bool isPrepared() const noexcept { return oversampler != nullptr; }

    /** Whole samples a round trip delays the signal by. */
    int latency() const noexcept;

    /** Up-samples the block, lets shape (juce::dsp::AudioBlock<float>&) work on each oversampled
        chunk, and down-samples the result back into the block. */
    template <typename Shape>
    void process (juce::dsp::AudioBlock<float> block, Shape&& shape) noexcept
    {
        const auto stereo = block.getSubsetChannelBlock (0, std::min (block.getNumChannels(), size_t (2)));
        const auto total = stereo.getNumSamples();
        for (size_t start = 0; start < total; start += chunkSize)
        {
            auto chunk = stereo.getSubBlock (start, std::min (chunkSize, total - start));
            auto up = oversampler->processSamplesUp (chunk).getSubsetChannelBlock (0, chunk.getNumChannels());
            shape (up);
            oversampler->processSamplesDown (chunk);
            roundUpLatency (chunk);
        }
    }

    /** The round trip alone: the phase and the filtering a shaped pass gives, without the shaping. */
    void roundTrip (juce::dsp::AudioBlock<float> block) noexcept
    {
        process (block, [] (juce::dsp::AudioBlock<float>&) noexcept {});
    }

private:
    void roundUpLatency (juce::dsp::AudioBlock<float>& chunk) noexcept;

    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler;
    // The all-pass fraction of a sample that makes the round trip's delay whole (per channel, so that a
    // one-channel block works too).
    juce::dsp::DelayLine<float, juce::dsp::DelayLineInterpolationTypes::Thiran> fraction { 4 };
    float fractionalDelay = 0.0f;
    size_t chunkSize = 1;
};
