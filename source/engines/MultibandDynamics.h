#pragma once

#include "engines/InlineCompressor.h"
#include "engines/InlineTptFilters.h"

#include <juce_dsp/juce_dsp.h>

/** Three-band compressor with band limiters.

    The split uses fourth-order Linkwitz-Riley sections, and the low band also passes through the
    all-pass of the upper split, so that with idle compressors and unit band gains the three bands sum
    to an all-pass of flat magnitude. A dry copy blended with the result must pass through the same
    all-pass (`matchDryPhase`), or the blend cancels around the split frequencies. */
class MultibandDynamics
{
public:
    MultibandDynamics() = default;

    /** The block's control values, as the chain passes them. */
    struct Params
    {
        float loudAmt = 0.0f, smartEff = 0.0f, beastAmt = 0.0f, subAmt = 0.0f, detailAmt = 0.0f, smackAmt = 0.0f,
              airAmt = 0.0f;
        bool voiceMode = false, stageLive = false;
        int limiterSpeed = 0; // 0 "Punch", 1 "Balanced", 2 "Clamp"; anything else acts as 0
        bool mixMasterMode = true;
    };

    struct BandSettings
    {
        float ratio, thresholdDb, attackMs, releaseMs;
        float limiterThresholdDb, limiterReleaseMs;
        float gain; // linear, in the final sum
    };

    enum Band
    {
        low,
        mid,
        high,
        numBands
    };

    /** Everything the engine derives from one block's controls. */
    struct Settings
    {
        float lowSplitHz, highSplitHz;
        std::array<BandSettings, numBands> bands;
        bool limitersEnabled;
    };

    static Settings settingsFor (const Params& macros) noexcept;

    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;

    /** Once per block before `process`. */
    void setParameters (const Params& params) noexcept;

    /** Processes the buffer's first one or two channels in place. May grow the band buffers for a
        block longer than the prepared size, so it is not noexcept: that growth can throw. */
    void process (juce::AudioBuffer<float>& buffer);

    /** Moves a dry copy of the block's input (one or two channels) toward the band sum's all-pass
        response: 0 leaves it as it is, 1 gives the all-passed copy. Call it on every block that
        `process` ran on, so that the all-pass state stays in step with the signal. */
    void matchDryPhase (juce::dsp::AudioBlock<float> dry, float amount) noexcept;

private:
    using Crossover = InlineLinkwitzRiley;

    void resetFilters() noexcept;
    void applySettings (const Settings& settings) noexcept;
    void splitIntoBands (const juce::AudioBuffer<float>& buffer, int numSamples) noexcept;
    /** Calls step (band, channel, sample&) on every sample of the band buffers' two channels. */
    template <typename Step>
    void forEachBandSample (int numSamples, Step&& step) noexcept;
    void compressBands (int numSamples) noexcept;
    void limitBands (int numSamples) noexcept;
    void sumBands (juce::AudioBuffer<float>& buffer, int numSamples) const noexcept;

    double sampleRate = 44100.0;

    Crossover lowSplit, highSplit; // both outputs of each are used
    Crossover lowBandAllPass;      // the upper split's all-pass, for the low band
    Crossover dryLowAllPass, dryHighAllPass;

    std::array<InlineCompressor, numBands> compressors;
    std::array<InlineLimiter, numBands> limiters;
    std::array<juce::AudioBuffer<float>, numBands> bandBuffers;
    std::array<float, numBands> bandGains { 1.0f, 1.0f, 1.0f };
    bool limitersEnabled = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MultibandDynamics)
};
