#pragma once

#include "engines/InlineBiquad.h"
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <optional>

/** Gated loudness (LUFS) of the output over a sliding window of the last 240 seconds: K-weighted
    400 ms blocks, absolute gate at -70 LUFS, relative gate at -10 LU. */
class LoudnessAnalyzer
{
public:
    LoudnessAnalyzer() = default;

    static constexpr int historySize = 600; // 600 blocks of 400 ms

    /** Starts a new measurement at the rate; the only place that allocates. */
    void prepare (const juce::dsp::ProcessSpec& spec);
    /** Starts a new measurement: empty history, filters at rest. */
    void reset() noexcept;

    /** Consumes channel 0 and channel 1 (channel 0 on both sides for a one-channel buffer). Returns
        the integrated loudness as of the last 400 ms block that this buffer completed, or nothing
        when it completed none. */
    std::optional<float> process (const juce::AudioBuffer<float>& buffer) noexcept;

private:
    using Filter = InlineBiquad;

    struct GatedMean
    {
        int count = 0;
        float lufs = -70.0f;
    };

    float completeBlock() noexcept;
    float integratedLoudness() const noexcept;
    /** Mean loudness of the history entries that pass the absolute gate and lie at or above floorLufs. */
    GatedMean gatedMean (float floorLufs) const noexcept;

    double sampleRate = 44100.0;
    int blockLength = 17640;
    double energySum = 0.0;
    int sampleCount = 0;

    std::array<float, historySize> history {};
    int historyWrite = 0;
    int historyCount = 0;

    std::array<Filter, 2> kHighPass, kShelf;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LoudnessAnalyzer)
};
