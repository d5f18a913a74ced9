#include "chain/OversampledPath.h"

namespace
{
std::unique_ptr<juce::dsp::Oversampling<float>> makeOversampler (int maxBlockSize)
{
    auto oversampler = std::make_unique<juce::dsp::Oversampling<float>> (
        2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing (static_cast<size_t> (maxBlockSize));
    oversampler->reset();
    return oversampler;
}

/** Where a click comes out of `roundTrips` round trips in series. */
int measureClickDelay (int roundTrips)
{
    constexpr int length = 256;
    auto oversampler = makeOversampler (length);
    juce::AudioBuffer<float> click (1, length);
    click.clear();
    click.setSample (0, 0, 1.0f);
    for (int i = 0; i < roundTrips; ++i)
    {
        oversampler->reset();
        juce::dsp::AudioBlock<float> block (click);
        oversampler->processSamplesUp (block);
        oversampler->processSamplesDown (block);
    }
    const auto* samples = click.getReadPointer (0);
    return static_cast<int> (std::max_element (samples, samples + length, [] (float a, float b) { return std::abs (a) < std::abs (b); })
                             - samples);
}
} // namespace

void OversampledPath::prepare (int maxBlockSize)
{
    chunkSize = static_cast<size_t> (juce::jmax (1, maxBlockSize));
    oversampler = makeOversampler (maxBlockSize);
}

void OversampledPath::reset() noexcept
{
    if (oversampler != nullptr)
        oversampler->reset();
}

int OversampledPath::clickDelay (int roundTrips)
{
    // The filters are designed for the normalised rate, so the delays hold at every sample rate.
    static const std::array<int, 3> delays { 0, measureClickDelay (1), measureClickDelay (2) };
    return delays[static_cast<size_t> (juce::jlimit (0, 2, roundTrips))];
}
