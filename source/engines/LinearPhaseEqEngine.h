#pragma once

#include <juce_dsp/juce_dsp.h>

#include "engines/ToneCurve.h"

#include <array>
#include <vector>

/** The tone EQ as one 257-tap linear-phase FIR. */
class LinearPhaseEqEngine
{
public:
    static constexpr int numTaps = 257;
    static constexpr int centreTap = 128; // also the delay of the filter, in samples
    static constexpr int spectrumSize = 512;

    /** The values a kernel is built from: the user EQ and the live tone curve. */
    struct Design
    {
        float lowDb, midDb, highDb;
        ToneCurve curve;
        float presenceQ;
    };

    LinearPhaseEqEngine();

    /** Loads a pure 128-sample delay, in use from the first processed block, and asks for a rebuild. */
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;

    std::vector<float> buildUserShelfImpulse (float lowDb, float midDb, float highDb) const;

    /** Replaces the kernel by a linear-phase one whose magnitude is the old kernel's times the live
        tone curve's. */
    void mergeLiveToneCurveLinearPhase (std::vector<float>& kernel, const ToneCurve& curve, float presenceQ) const;

    /** True when a rebuild was asked for, or the kernel in use was built from values that differ from
        `design` by more than their tolerances. */
    bool needsRebuildFor (const Design& design) const noexcept;

    /** Builds the kernel for `design` and hands it to the convolution, which loads it in the
        background and crossfades to it on a later block. Allocates, never waits. */
    void rebuild (const Design& design);

    /** Builds the kernel for `design` and has it in use before returning, its history primed with
        `recentInput` (up to the last numTaps − 1 input samples per channel) so that the stream
        continues without a gap. Waits for the load: for preparation and non-realtime use only. */
    void rebuildNow (const Design& design, const juce::AudioBuffer<float>& recentInput);

    /** Runs the kernel in use on the block, in place. */
    void process (juce::dsp::AudioBlock<float> block) noexcept;

private:
    using Taps = std::array<double, numTaps>;

    Taps lowPassPrototype (float cornerHz) const noexcept;
    juce::AudioBuffer<float> kernelFor (const Design& design);

    double sampleRate = 44100.0;
    juce::dsp::ProcessSpec processSpec { 44100.0, 1, 2 };
    juce::dsp::Convolution convolution;

    // The design of the kernel in use; far outside any real value until the first build.
    Design lastBuild { 1000.0f, 1000.0f, 1000.0f, { 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f }, 1.0e9f };
    bool needsRebuild = true;

    // e^(−i·2π·m / spectrumSize) for m = 0 .. spectrumSize − 1: every term of the transforms.
    std::array<double, spectrumSize> unitCos {}, unitSin {};
};
