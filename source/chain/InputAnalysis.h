#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** What CALIBRATE measures: the peak and power of the louder channel, and the noise floor tracked
    under it. */
struct CalibrationMeasure
{
    float peak = 0.0f;
    double sumSquares = 0.0;
    float floorFast = -1.0f, floor = 1.0f; // below 0 and at 1: the tracker has not started

    void add (const float* left, const float* right, int count) noexcept;
};

/** What ANALYZE measures: the peak, the mid signal's power and the summed channel power. */
struct AnalysisMeasure
{
    float peak = 0.0f;
    double sumSquares = 0.0;      // of the mid signal
    double channelPowerSum = 0.0; // of L² + R², a one-channel buffer counting its channel twice

    void add (const float* left, const float* right, int count) noexcept;
};

/** A timed capture of the chain's input: it runs for a fixed number of samples from its start,
    whatever the block sizes, and measures what its kind needs on the way. */
template <typename Measure>
class InputCapture
{
public:
    /** Starts again from nothing, for `seconds` of input at this rate. */
    void start (double seconds, double sampleRate) noexcept
    {
        measure = {};
        count = 0;
        total = remaining = static_cast<int> (seconds * sampleRate);
    }

    void stop() noexcept { remaining = 0; }
    bool isRunning() const noexcept { return remaining > 0; }

    /** Measures the block's samples up to the capture's end; true when this block ended it. */
    bool advance (const juce::AudioBuffer<float>& buffer) noexcept
    {
        const int n = juce::jmin (remaining, buffer.getNumSamples());
        const float* left = buffer.getReadPointer (0);
        const float* right = buffer.getNumChannels() > 1 ? buffer.getReadPointer (1) : left;
        measure.add (left, right, n);
        remaining -= n;
        count += n;
        return remaining <= 0;
    }

    float progress() const noexcept
    {
        return 1.0f - static_cast<float> (remaining) / static_cast<float> (juce::jmax (total, 1));
    }

    const Measure& measured() const noexcept { return measure; }
    int samplesMeasured() const noexcept { return count; }

private:
    Measure measure;
    int total = 0, remaining = 0, count = 0;
};
