#pragma once

#include <juce_dsp/juce_dsp.h>

#include <memory>

/** The chain's 4× oversampling (two half-band stages, polyphase IIR, maximum quality) for the first
    two channels of a block. Blocks go through in chunks no longer than the
    prepared size, so a host block beyond it still fits without allocating. */
class OversampledPath
{
public:
    /** Creates the oversampler; the only call that allocates. */
    void prepare (int maxBlockSize);
    void reset() noexcept;
    bool isPrepared() const noexcept { return oversampler != nullptr; }

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
        }
    }

    /** The round trip alone: the phase and the filtering a shaped pass gives, without the shaping. */
    void roundTrip (juce::dsp::AudioBlock<float> block) noexcept
    {
        process (block, [] (juce::dsp::AudioBlock<float>&) noexcept {});
    }

private:
    std::unique_ptr<juce::dsp::Oversampling<float>> oversampler;
    size_t chunkSize = 1;
};
