#pragma once

#include "engines/FloatLanes.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <cmath>

/** The channels a stage with left and right state processes: the first one or two. */
inline int stereoChannels (const juce::AudioBuffer<float>& buffer) noexcept
{
    return std::min (buffer.getNumChannels(), 2);
}

/** Calls step (channel, sample&) on every sample of the first two channels, the channels taking
    turns within each sample: their filter and envelope chains are independent, so the processor
    overlaps them instead of waiting out one chain's latency after another. */
template <typename Step>
void forEachSampleOfBothChannels (juce::AudioBuffer<float>& buffer, Step&& step) noexcept
{
    const int channels = stereoChannels (buffer);
    if (channels < 1)
        return;
    float* const samples[2] = { buffer.getWritePointer (0), buffer.getWritePointer (channels - 1) };
    for (int i = 0; i < buffer.getNumSamples(); ++i)
        for (int ch = 0; ch < channels; ++ch)
            step (ch, samples[ch][i]);
}

/** Calls step (FloatLanes&) on every sample of the first two channels, the left in lane 0 and the
    right in lane 1 (a one-channel buffer fills both), so that filters can run both channels in
    one vector. */
template <typename Step>
void forEachSampleInLanes (juce::AudioBuffer<float>& buffer, Step&& step) noexcept
{
    const int channels = stereoChannels (buffer);
    if (channels < 1)
        return;
    float* const left = buffer.getWritePointer (0);
    float* const right = buffer.getWritePointer (channels - 1);
    for (int i = 0; i < buffer.getNumSamples(); ++i)
    {
        FloatLanes x { left[i], right[i], 0.0f, 0.0f };
        step (x);
        left[i] = x[0];
        right[i] = x[channels - 1];
    }
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

/** Σ term (i) for i in [0, count), kept as four interleaved partial sums: the additions then overlap
    instead of each waiting for the one before it. */
template <typename Term>
double sumInFourParts (int count, Term&& term) noexcept
{
    double parts[4] {};
    int i = 0;
    for (; i + 4 <= count; i += 4)
        for (int part = 0; part < 4; ++part)
            parts[part] += term (i + part);
    for (; i < count; ++i)
        parts[i % 4] += term (i);
    return (parts[0] + parts[1]) + (parts[2] + parts[3]);
}

/** `condition ? ifTrue : ifFalse` read from a table: for per-sample choices that follow the signal,
    which the branch predictor cannot learn, a missed branch costs more than the read. */
inline float chosenWithoutBranch (bool condition, float ifTrue, float ifFalse) noexcept
{
    const float choices[2] = { ifFalse, ifTrue };
    return choices[condition ? 1 : 0];
}
