#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** A smoothed block loudness that does not depend on the host's block size: the loudness of each
    window of 512 samples at 48 kHz (the same duration at any rate), 10·log10 of the mean of L² + R²
    (a one-channel buffer counting its channel on both sides) minus 0.691, followed by a one-pole of
    the given time constant. */
class BlockLoudness
{
public:
    static constexpr float floorLufs = -70.0f;

    /** Allocates nothing. */
    void prepare (double sampleRate, double smoothingSeconds) noexcept;
    /** Starts again from `lufs` with an empty window. */
    void reset (float lufs = floorLufs) noexcept;

    /** Takes the block and returns the smoothed loudness after it. */
    float process (const juce::AudioBuffer<float>& buffer) noexcept;

    float current() const noexcept { return smoothed; }

private:
    int windowLength = 512;
    float coefficient = 0.22f;
    double windowPower = 0.0;
    int windowCount = 0;
    float smoothed = floorLufs;
};
