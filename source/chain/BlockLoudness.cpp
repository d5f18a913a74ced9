#include "chain/BlockLoudness.h"
#include "engines/VectorClones.h"

void BlockLoudness::prepare (double sampleRate, double smoothingSeconds) noexcept
{
    windowLength = juce::jmax (1, juce::roundToInt (512.0 * sampleRate / 48000.0));
    coefficient = static_cast<float> (1.0 - std::exp (-windowLength / (smoothingSeconds * sampleRate)));
    reset();
}

void BlockLoudness::reset (float lufs) noexcept
{
    windowPower = 0.0;
    windowCount = 0;
    smoothed = lufs;
}

VANTORA_VECTOR_CLONES float BlockLoudness::process (const juce::AudioBuffer<float>& buffer) noexcept
{
    if (buffer.getNumChannels() < 1)
        return smoothed;

    const auto* left = buffer.getReadPointer (0);
    const auto* right = buffer.getReadPointer (buffer.getNumChannels() > 1 ? 1 : 0);
    for (int i = 0; i < buffer.getNumSamples(); ++i)
    {
        windowPower += static_cast<double> (left[i]) * left[i] + static_cast<double> (right[i]) * right[i];
        if (++windowCount < windowLength)
            continue;

        const auto b =
            10.0f * std::log10 (static_cast<float> (juce::jmax (windowPower / windowLength, 1.0e-12))) - 0.691f;
        smoothed += (b - smoothed) * coefficient;
        windowPower = 0.0;
        windowCount = 0;
    }
    return smoothed;
}
