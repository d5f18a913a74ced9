#include "chain/OversampledPath.h"

void OversampledPath::prepare (int maxBlockSize)
{
    chunkSize = static_cast<size_t> (juce::jmax (1, maxBlockSize));
    oversampler = std::make_unique<juce::dsp::Oversampling<float>> (
        2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing (chunkSize);

    // Thiran all-passes are well behaved for delays from about 0.618 to 1.618 samples.
    const auto latency = oversampler->getLatencyInSamples();
    fractionalDelay = 1.0f - (latency - std::floor (latency));
    if (fractionalDelay >= 1.0f)
        fractionalDelay = 0.0f;
    else if (fractionalDelay < 0.618f)
        fractionalDelay += 1.0f;
    fraction.prepare ({ 48000.0, static_cast<juce::uint32> (chunkSize), 2 });
    fraction.setDelay (fractionalDelay);
    reset();
}

void OversampledPath::reset() noexcept
{
    if (oversampler != nullptr)
        oversampler->reset();
    fraction.reset();
}

int OversampledPath::latency() const noexcept
{
    return oversampler != nullptr ? juce::roundToInt (oversampler->getLatencyInSamples() + fractionalDelay) : 0;
}

void OversampledPath::roundUpLatency (juce::dsp::AudioBlock<float>& chunk) noexcept
{
    if (fractionalDelay <= 0.0f)
        return;
    for (size_t ch = 0; ch < chunk.getNumChannels(); ++ch)
    {
        auto* samples = chunk.getChannelPointer (ch);
        for (size_t i = 0; i < chunk.getNumSamples(); ++i)
        {
            fraction.pushSample (static_cast<int> (ch), samples[i]);
            samples[i] = fraction.popSample (static_cast<int> (ch));
        }
    }
}
