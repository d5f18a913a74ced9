#pragma once

#include "engines/InlineHalfBand.h"

#include <juce_dsp/juce_dsp.h>

#include <vector>

/** The chain's 4× oversampling for the first two channels of a block: the framework's two
    half-band polyphase IIR stages at maximum quality, run inline (both channels and both paths of a
    stage in one vector), with the framework's samples. Blocks go through in chunks no longer than
    the prepared size, so a host block beyond it still fits without allocating. */
class OversampledPath
{
public:
    /** Designs the stages and sizes the buffers; the only call that allocates. */
    void prepare (int maxBlockSize);
    void reset() noexcept;
    bool isPrepared() const noexcept { return ! twiceRate.empty(); }

    /** Up-samples the block, lets shape (juce::dsp::AudioBlock<float>&) work on each oversampled
        chunk, and down-samples the result back into the block. */
    template <typename Shape>
    void process (juce::dsp::AudioBlock<float> block, Shape&& shape) noexcept
    {
        const auto channels = std::min (block.getNumChannels(), size_t (2));
        if (channels == 0)
            return;
        const auto stereo = block.getSubsetChannelBlock (0, channels);
        const auto total = stereo.getNumSamples();
        for (size_t start = 0; start < total; start += chunkSize)
        {
            auto chunk = stereo.getSubBlock (start, std::min (chunkSize, total - start));
            auto up = upsample (chunk);
            shape (up);
            downsample (chunk);
        }
    }

    /** The round trip alone: the phase and the filtering a shaped pass gives, without the shaping. */
    void roundTrip (juce::dsp::AudioBlock<float> block) noexcept
    {
        process (block, [] (juce::dsp::AudioBlock<float>&) noexcept {});
    }

private:
    juce::dsp::AudioBlock<float> upsample (const juce::dsp::AudioBlock<float>& chunk) noexcept;
    void downsample (juce::dsp::AudioBlock<float>& chunk) noexcept;

    // Sections per path, as the framework's maximum-quality design gives them for each stage.
    InlineHalfBand<4, 3> upFirst;
    InlineHalfBand<3, 2> upSecond;
    InlineHalfBand<2, 2> downSecond;
    InlineHalfBand<3, 3> downFirst;
    HalfBandLanes downSecondDelay {}, downFirstDelay {};

    std::vector<HalfBandLanes> twiceRate; // at 2×, two frames (left, right, left, right) per entry
    juce::AudioBuffer<float> fourTimesRate;
    size_t chunkSize = 1;
};
