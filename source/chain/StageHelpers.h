#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>

/** The channels a stage with left and right state processes: the first one or two. */
inline int stereoChannels (const juce::AudioBuffer<float>& buffer) noexcept
{
    return std::min (buffer.getNumChannels(), 2);
}

/** Keeps a fixed filter corner below the Nyquist frequency at low rates, where a design above it
    would run away. */
inline float belowNyquist (float hz, double sampleRate) noexcept
{
    return std::min (hz, static_cast<float> (0.48 * sampleRate));
}

/** Per-sample coefficient of a one-pole smoother with the given time constant; rates below 1 Hz
    count as 1 Hz. */
inline float onePoleCoefficient (double seconds, double sampleRate) noexcept
{
    return static_cast<float> (1.0 - std::exp (-1.0 / (seconds * std::max (sampleRate, 1.0))));
}
