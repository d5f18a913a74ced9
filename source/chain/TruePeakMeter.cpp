#include "chain/TruePeakMeter.h"

std::unique_ptr<juce::dsp::Oversampling<float>> makeOutputOversampler (int maxBlockSize)
{
    auto oversampler = std::make_unique<juce::dsp::Oversampling<float>> (
        2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing (static_cast<size_t> (juce::jmax (1, maxBlockSize)));
    oversampler->reset();
    return oversampler;
}

void TruePeakMeter::prepare (int maxBlockSize)
{
    oversampler = makeOutputOversampler (maxBlockSize);
    scratch.setSize (2, juce::jmax (1, maxBlockSize));
    scratch.clear();
}

void TruePeakMeter::reset() noexcept
{
    if (oversampler != nullptr)
        oversampler->reset();
}

void TruePeakMeter::release()
{
    reset();
    scratch.setSize (0, 0);
}

float TruePeakMeter::measure (const juce::AudioBuffer<float>& buffer) noexcept
{
    if (oversampler == nullptr || buffer.getNumChannels() < 1)
        return 0.0f;

    float peak = 0.0f;
    forEachChunk (buffer.getNumSamples(), scratch.getNumSamples(),
                  [&] (int start, int count) { peak = juce::jmax (peak, measureChunk (buffer, start, count)); });
    return peak;
}

float TruePeakMeter::measureChunk (const juce::AudioBuffer<float>& buffer, int start, int count) noexcept
{
    const int lastChannel = buffer.getNumChannels() - 1;
    for (int ch = 0; ch < 2; ++ch)
        scratch.copyFrom (ch, 0, buffer, juce::jmin (ch, lastChannel), start, count);

    auto block = juce::dsp::AudioBlock<float> (scratch).getSubBlock (0, static_cast<size_t> (count));
    const auto upsampled = oversampler->processSamplesUp (block);
    float peak = 0.0f;
    for (size_t ch = 0; ch < upsampled.getNumChannels(); ++ch)
    {
        const auto range = juce::FloatVectorOperations::findMinAndMax (upsampled.getChannelPointer (ch),
                                                                       static_cast<int> (upsampled.getNumSamples()));
        peak = juce::jmax (peak, -range.getStart(), range.getEnd());
    }
    // Downsampled only to keep the oversampler's filter states running with the signal.
    oversampler->processSamplesDown (block);
    return peak;
}

float TruePeakMeter::toDbtp (float peak) noexcept
{
    if (peak < 1.0e-6f)
        return -100.0f;
    return juce::jmax (-100.0f, 20.0f * std::log10 (peak));
}
