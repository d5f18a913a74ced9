#include "chain/TruePeakGuard.h"
#include "engines/VectorClones.h"

namespace
{
// A reduction aims this far under the ceiling, so that the gain's own slope across the interpolator's
// span cannot lift the reconstructed peak back over it.
constexpr float reductionMargin = 0.9977f; // -0.02 dB
constexpr double rampSeconds = 0.001;
constexpr double releaseSeconds = 0.02;
constexpr float unitySnap = 1.0e-6f;

/** Adds value to a window ring at write, keeping the count of entries below 1 in step. */
void replaceInWindow (std::vector<float>& window, int& write, int& belowUnity, float value) noexcept
{
    auto& slot = window[static_cast<size_t> (write)];
    belowUnity += (value < 1.0f ? 1 : 0) - (slot < 1.0f ? 1 : 0);
    slot = value;
    write = write + 1 < static_cast<int> (window.size()) ? write + 1 : 0;
}
} // namespace

void TruePeakGuard::prepare (double sampleRate)
{
    for (auto& interpolator : interpolators)
        interpolator.prepare (sampleRate);

    // The gain reaching a sample is the mean of `ramp` released gains, each the least required gain of
    // the points within `hold` of any sample that mean covers; so every sample within `hold` of a
    // point gets at most that point's required gain.
    ramp = juce::jmax (8, juce::roundToInt (rampSeconds * sampleRate));
    const int hold = interpolators[0].span(); // samples either side of a point that carry its reduction
    lookAhead = interpolators[0].delay() + ramp - 1 + hold;
    releaseCoefficient = static_cast<float> (1.0 - std::exp (-1.0 / (releaseSeconds * sampleRate)));

    required.assign (static_cast<size_t> (ramp + 2 * hold), 1.0f);
    released.assign (static_cast<size_t> (ramp), 1.0f);
    for (auto& line : delayLines)
        line.assign (static_cast<size_t> (lookAhead + 1), 0.0f);
    reset();
}

void TruePeakGuard::reset() noexcept
{
    for (auto& interpolator : interpolators)
        interpolator.reset();
    std::fill (required.begin(), required.end(), 1.0f);
    std::fill (released.begin(), released.end(), 1.0f);
    for (auto& line : delayLines)
        std::fill (line.begin(), line.end(), 0.0f);
    requiredWrite = requiredBelowUnity = 0;
    releasedWrite = releasedBelowUnity = 0;
    releasedSum = static_cast<double> (ramp);
    release = 1.0f;
    delayWrite = 0;
}

VANTORA_VECTOR_CLONES float TruePeakGuard::nextGain (float requiredGain) noexcept
{
    replaceInWindow (required, requiredWrite, requiredBelowUnity, requiredGain);
    const float least = requiredBelowUnity == 0 ? 1.0f : *std::min_element (required.begin(), required.end());

    release = juce::jmin (least, release + (1.0f - release) * releaseCoefficient);
    if (release > 1.0f - unitySnap)
        release = 1.0f;

    releasedSum += release - released[static_cast<size_t> (releasedWrite)];
    replaceInWindow (released, releasedWrite, releasedBelowUnity, release);
    if (releasedBelowUnity == 0)
    {
        releasedSum = static_cast<double> (ramp); // no rounding left over from the last reduction
        return 1.0f;
    }
    return static_cast<float> (releasedSum / ramp);
}

void TruePeakGuard::skipUnityGains (int count) noexcept
{
    // What nextGain (1) does to windows that hold only 1s: it writes 1s over 1s and returns 1.
    requiredWrite = (requiredWrite + count) % static_cast<int> (required.size());
    releasedWrite = (releasedWrite + count) % static_cast<int> (released.size());
}

VANTORA_VECTOR_CLONES bool TruePeakGuard::staysUnder (float* const* channels, int numChannels, int start, int count,
                                                      float ceiling) const noexcept
{
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const auto& interpolator = interpolators[static_cast<size_t> (ch)];
        const auto range = juce::FloatVectorOperations::findMinAndMax (channels[ch] + start, count);
        const float sampled = juce::jmax (-range.getStart(), range.getEnd(), interpolator.recentPeak());
        if (interpolator.gainBound() * sampled > ceiling)
            return false;
    }
    return true;
}

VANTORA_VECTOR_CLONES void TruePeakGuard::process (juce::AudioBuffer<float>& buffer, float ceiling) noexcept
{
    if (required.empty())
        return;

    const int numChannels = juce::jmin (2, buffer.getNumChannels());
    const int lineLength = static_cast<int> (delayLines[0].size());
    float* const* channels = buffer.getArrayOfWritePointers();

    // Stretches whose samples are too small for any point between them to reach the ceiling are
    // not reconstructed: their required gain is 1.
    constexpr int stretch = 16;
    for (int start = 0; start < buffer.getNumSamples(); start += stretch)
    {
        const int count = juce::jmin (stretch, buffer.getNumSamples() - start);
        const bool under = staysUnder (channels, numChannels, start, count, ceiling);
        std::array<std::array<float, stretch>, 2> channelPeaks;
        for (int ch = 0; ch < numChannels; ++ch)
        {
            auto& interpolator = interpolators[static_cast<size_t> (ch)];
            if (under)
                interpolator.skip (channels[ch] + start, count);
            else
                interpolator.pushBlock (channels[ch] + start, count, channelPeaks[static_cast<size_t> (ch)].data());
        }

        // With no reduction in either window, a stretch that stays under only moves the windows on.
        const bool idle = under && requiredBelowUnity == 0 && releasedBelowUnity == 0;
        if (idle)
            skipUnityGains (count);
        for (int i = start; i < start + count; ++i)
        {
            float gain = 1.0f;
            if (! idle)
            {
                float peak = 0.0f;
                if (! under)
                    for (int ch = 0; ch < numChannels; ++ch)
                        peak =
                            juce::jmax (peak, channelPeaks[static_cast<size_t> (ch)][static_cast<size_t> (i - start)]);
                gain = nextGain (peak > ceiling ? ceiling * reductionMargin / peak : 1.0f);
            }

            const int read = delayWrite + 1 < lineLength ? delayWrite + 1 : 0; // lookAhead samples back
            for (int ch = 0; ch < numChannels; ++ch)
            {
                auto* line = delayLines[static_cast<size_t> (ch)].data();
                line[delayWrite] = channels[ch][i];
                channels[ch][i] = gain < 1.0f ? line[read] * gain : line[read];
            }
            delayWrite = read;
        }
    }
}
