#pragma once

#include "chain/BlockControls.h"
#include "chain/BlockLoudness.h"
#include "chain/DrySnapshot.h"
#include "chain/OversampledPath.h"
#include "chain/TruePeakMeter.h"
#include "engines/InlineTptFilters.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

class LoudnessAnalyzer;

/** The auto-gain: brings the processed level back toward the level entering the EQ pass. */
class AutoGain
{
public:
    void prepare (const juce::dsp::ProcessSpec&) { reset(); }
    void reset() noexcept;
    void release() { reset(); }

    /** The energies Σ 0.5·(L² + R²) of the chain's input and of its processed output this block. */
    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block, double inputEnergy,
                  double outputEnergy) noexcept;

    float currentGain() const noexcept { return gain; }

private:
    float gain = 1.0f;
    float inLevel = 0.08f;
    float outLevel = 0.08f;
};

/** The loudness assist: its own loudness reading, before the output gains, moves the output toward
    the target. */
class LoudnessAssist
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    /** Measures the block with the analyzer (the processor's engine) and returns the assist's gain
        in dB for this block. */
    float process (const juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                   LoudnessAnalyzer& analyzer) noexcept;

    float loudnessLufs() const noexcept { return measuredLufs; }
    float gainDb() const noexcept { return assistDb; }

    /** Puts the assist's readings where a test wants them. */
    void setReadings (float lufs, float blockLufs) noexcept;

private:
    float measuredLufs = -70.0f;       // the assist's own loudness reading
    BlockLoudness assistBlockLoudness; // its slow short-term term
    float assistDb = 0.0f;
};

/** The listening simulator: a speaker or room's low-pass blend and gain. */
class ListeningSimulator
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

private:
    std::array<InlineFirstOrderTpt, 2> listeningFilters;
};

/** The last filter before the ceiling: an 18 kHz first-order low-pass. */
class FinalLowPass
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer) noexcept;

    /** One channel's filter, as prepared: for measuring the chain's click delay. */
    const InlineFirstOrderTpt& channelFilter() const noexcept { return filters[0]; }

private:
    std::array<InlineFirstOrderTpt, 2> filters;
};

/** The output ceiling: an oversampled soft clip and a hard clip at the ceiling, blended by limpct
    with a dry that went through the same oversampling. */
class Ceiling
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release();

    /** May grow the dry copy when a host exceeds the prepared block size. */
    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    /** The level the ceiling holds for these settings (linear). */
    static float ceilingFor (const ParameterSnapshot& params) noexcept;

private:
    void matchDryToOversampling (const juce::AudioBuffer<float>& block) noexcept;

    OversampledPath limiterPath;
    // Runs the dry through the same oversampling round trip (without the clipper), so that the
    // limpct blend does not comb against the oversampling filters' phase.
    OversampledPath ceilingDryPath;
    bool ceilingDryRunning = false;
    DrySnapshot dry;
};

/** What the output meters publish for a block. */
struct OutputReadings
{
    float loudnessLufs = -70.0f;
    float blockLoudnessDb = -70.0f;
    float truePeakDb = -90.0f;
};

/** The output meters: integrated loudness (the processor's output analyzer, passed in), the block
    loudness and the held true peak, all of what leaves the plug-in. */
class OutputMeters
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    /** The block loudness goes on from this reading instead of from the floor. */
    void continueBlockLoudnessFrom (float db) noexcept { outputBlockLoudness.reset (db); }

    OutputReadings process (const juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                            LoudnessAnalyzer& analyzer) noexcept;

private:
    BlockLoudness outputBlockLoudness;
    TruePeakMeter truePeakMeter;
    OutputReadings readings;
};

/** The output target's loudness (LUFS) for these settings. */
float outputTargetLufsFor (const ParameterSnapshot& params) noexcept;

/** The output gains' product for the block: output gain, the assist's gain, the trim of a limiter
    ceiling below the target's, and the live pad. */
float outputGainFor (const ChainBlock& block, float assistDb) noexcept;
