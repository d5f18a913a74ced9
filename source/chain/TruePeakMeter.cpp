#include "chain/TruePeakMeter.h"
#include "engines/VectorClones.h"

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

VANTORA_VECTOR_CLONES float TruePeakMeter::measure (const juce::AudioBuffer<float>& buffer, float floor) noexcept
{
    float peak = 0.0f;
    const int n = buffer.getNumSamples();
    for (int ch = 0; ch < juce::jmin (2, buffer.getNumChannels()); ++ch)
    {
        auto& interpolator = interpolators[static_cast<size_t> (ch)];
        const auto* samples = buffer.getReadPointer (ch);
        const auto range = juce::FloatVectorOperations::findMinAndMax (samples, n);
        const float sampled = juce::jmax (-range.getStart(), range.getEnd());
        if (interpolator.gainBound() * juce::jmax (sampled, interpolator.recentPeak()) <= floor)
        {
            interpolator.skip (samples, n);
            peak = juce::jmax (peak, sampled);
            continue;
        }
        for (int start = 0; start < n; start += static_cast<int> (stretchPeaks.size()))
        {
            const int count = juce::jmin (static_cast<int> (stretchPeaks.size()), n - start);
            interpolator.pushBlock (samples + start, count, stretchPeaks.data());
            for (int i = 0; i < count; ++i)
                peak = juce::jmax (peak, stretchPeaks[static_cast<size_t> (i)]);
        }
    }
    return peak;
}

float TruePeakMeter::toDbtp (float peak) noexcept
{
    if (peak < 1.0e-6f)
        return -100.0f;
    return juce::jmax (-100.0f, 20.0f * std::log10 (peak));
}
