#include "chain/TruePeakMeter.h"

void TruePeakMeter::prepare (double sampleRate) noexcept
{
    for (auto& interpolator : interpolators)
        interpolator.prepare (sampleRate);
}

void TruePeakMeter::reset() noexcept
{
    for (auto& interpolator : interpolators)
        interpolator.reset();
}

float TruePeakMeter::measure (const juce::AudioBuffer<float>& buffer) noexcept
{
    float peak = 0.0f;
    for (int ch = 0; ch < juce::jmin (2, buffer.getNumChannels()); ++ch)
    {
        auto& interpolator = interpolators[static_cast<size_t> (ch)];
        const auto* samples = buffer.getReadPointer (ch);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            peak = juce::jmax (peak, interpolator.push (samples[i]));
    }
    return peak;
}

float TruePeakMeter::toDbtp (float peak) noexcept
{
    if (peak < 1.0e-6f)
        return -100.0f;
    return juce::jmax (-100.0f, 20.0f * std::log10 (peak));
}
