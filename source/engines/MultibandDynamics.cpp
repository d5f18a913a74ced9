#include "engines/MultibandDynamics.h"
#include "engines/VectorClones.h"

namespace
{
using MultibandDynamics = MultibandDynamics;

constexpr int numChannels = 2;

/** A: the Loud amount, scaled down in "Mix / Master". */
float modeScaledLoud (const MultibandDynamics::Params& m) noexcept
{
    return (m.mixMasterMode ? 0.62f : 1.0f) * m.loudAmt;
}

/** The floor when the raw value is below it, else the raw value up to the cap. */
float boundedRatio (float raw, float floor, float cap) noexcept { return raw < floor ? floor : juce::jmin (raw, cap); }

std::array<float, MultibandDynamics::numBands> ratiosFor (const MultibandDynamics::Params& m) noexcept
{
    const bool mix = m.mixMasterMode;
    const float scale = mix ? 0.52f : 1.0f;
    const float a = modeScaledLoud (m);
    const float w = m.beastAmt * (m.voiceMode ? 0.62f : (mix ? 0.35f : 1.1f));

    const float lowRaw = (0.52f * a + 1.18f + 0.22f * w) * scale;
    const float midRaw = (0.72f * a + 1.28f + 0.38f * m.smartEff + 0.24f * w + 0.1f * m.smackAmt) * scale;
    const float highRaw = (0.88f * a + 1.32f + 0.55f * m.smartEff + 0.48f * m.detailAmt) * scale;

    const float highRatio = boundedRatio (highRaw, 1.1f, mix ? 2.45f : 4.55f);
    return { boundedRatio (lowRaw, 1.12f, mix ? 2.05f : 3.35f), boundedRatio (midRaw, 1.1f, mix ? 2.25f : 3.85f),
             mix ? juce::jmin (highRatio, 0.4f * a + 1.22f) : highRatio };
}

std::array<float, MultibandDynamics::numBands> gainsFor (const MultibandDynamics::Params& m) noexcept
{
    if (m.mixMasterMode)
        return { 1.0f + 0.12f * m.subAmt, 1.0f + 0.12f * m.detailAmt, 1.0f + 0.1f * m.detailAmt + 0.06f * m.airAmt };
    if (m.voiceMode)
        return { 1.0f + 0.2f * m.subAmt, 1.0f + 0.18f * m.detailAmt + 0.04f * m.beastAmt,
                 1.0f + 0.16f * m.detailAmt + 0.1f * m.airAmt };
    return { 1.0f + 0.52f * m.subAmt + 0.22f * m.beastAmt,
             1.0f + 0.38f * m.detailAmt + 0.3f * m.smackAmt + 0.12f * m.beastAmt,
             1.0f + 0.3f * m.detailAmt + 0.15f * m.smartEff + 0.16f * m.airAmt + 0.05f * m.beastAmt };
}

std::array<float, MultibandDynamics::numBands> limiterThresholdsFor (int speed) noexcept
{
    switch (speed)
    {
        case 1:
            return { -2.6f, -1.8f, -2.2f };
        case 2:
            return { -3.6f, -2.8f, -3.2f };
        default:
            return { -1.8f, -1.0f, -1.4f };
    }
}

void setBandDynamics (MultibandDynamics::BandSettings& band, float attackMs, float releaseMs,
                      float thresholdDb) noexcept
{
    band.attackMs = attackMs;
    band.releaseMs = releaseMs;
    band.thresholdDb = thresholdDb;
}

void setTimesAndThresholds (MultibandDynamics::Settings& s, const MultibandDynamics::Params& m) noexcept
{
    auto& [lowBand, midBand, highBand] = s.bands;
    if (m.mixMasterMode)
    {
        const float a = modeScaledLoud (m);
        setBandDynamics (lowBand, 42.0f, 220.0f, 3.5f * a - 22.0f);
        setBandDynamics (midBand, 18.0f, 165.0f, 8.0f * a - 24.0f);
        setBandDynamics (highBand, 8.5f, 145.0f, 8.0f * a - 23.0f);
        return;
    }
    setBandDynamics (lowBand, m.voiceMode ? 28.0f : 40.0f, m.stageLive ? 170.0f : 198.0f, 7.2f * m.loudAmt - 24.0f);
    setBandDynamics (midBand, m.voiceMode ? 12.0f : 22.0f - 14.2f * m.smackAmt, m.stageLive ? 120.0f : 142.0f,
                     11.5f * m.loudAmt - 25.0f);
    setBandDynamics (highBand, m.voiceMode ? 4.2f : 3.15f, 86.0f, 12.0f * m.loudAmt - 24.0f);
}
} // namespace

//==============================================================================
MultibandDynamics::Settings MultibandDynamics::settingsFor (const Params& m) noexcept
{
    Settings s {};
    s.lowSplitHz = m.voiceMode ? 180.0f : 160.0f;
    s.highSplitHz = m.voiceMode ? 3200.0f : 2900.0f;
    s.limitersEnabled = ! m.mixMasterMode;

    setTimesAndThresholds (s, m);
    const auto ratios = ratiosFor (m);
    const auto gains = gainsFor (m);
    const auto limits = limiterThresholdsFor (m.limiterSpeed);
    const float lowLimiterRelease = 70.0f + 70.0f * juce::jlimit (0.0f, 1.0f, m.subAmt);
    const std::array<float, numBands> limiterReleases { lowLimiterRelease, 50.0f, 45.0f };

    for (size_t b = 0; b < numBands; ++b)
    {
        s.bands[b].ratio = ratios[b];
        s.bands[b].gain = gains[b];
        s.bands[b].limiterThresholdDb = limits[b];
        s.bands[b].limiterReleaseMs = limiterReleases[b];
    }
    return s;
}

//==============================================================================
void MultibandDynamics::prepare (const juce::dsp::ProcessSpec& processSpec)
{
    sampleRate = processSpec.sampleRate;
    const auto blockSize = juce::jmax (1, static_cast<int> (processSpec.maximumBlockSize));
    const juce::dsp::ProcessSpec spec { sampleRate, static_cast<juce::uint32> (blockSize), numChannels };

    for (auto* filter : { &lowSplit, &highSplit, &lowBandAllPass, &dryLowAllPass, &dryHighAllPass })
        filter->prepare (spec);
    for (auto* allPass : { &lowBandAllPass, &dryLowAllPass, &dryHighAllPass })
        allPass->setType (juce::dsp::LinkwitzRileyFilterType::allpass);

    for (auto& compressor : compressors)
        compressor.prepare (spec);
    for (auto& limiter : limiters)
        limiter.prepare (spec);
    for (auto& band : bandBuffers)
        band.setSize (numChannels, blockSize);

    applySettings (settingsFor ({}));
    // The limiters keep gliding into the settings just applied; only the filters start from silence.
    resetFilters();
}

void MultibandDynamics::resetFilters() noexcept
{
    for (auto* filter : { &lowSplit, &highSplit, &lowBandAllPass, &dryLowAllPass, &dryHighAllPass })
        filter->reset();
}

void MultibandDynamics::reset() noexcept
{
    resetFilters();
    for (auto& compressor : compressors)
        compressor.reset();
    for (auto& limiter : limiters)
        limiter.reset();
}

void MultibandDynamics::setParameters (const Params& params) noexcept { applySettings (settingsFor (params)); }

void MultibandDynamics::applySettings (const Settings& s) noexcept
{
    // The cutoffs are set in place; the filter states carry on.
    lowSplit.setCutoffFrequency (s.lowSplitHz);
    dryLowAllPass.setCutoffFrequency (s.lowSplitHz);
    for (auto* filter : { &highSplit, &lowBandAllPass, &dryHighAllPass })
        filter->setCutoffFrequency (s.highSplitHz);

    for (size_t b = 0; b < numBands; ++b)
    {
        const auto& band = s.bands[b];
        compressors[b].setAttack (band.attackMs);
        compressors[b].setRelease (band.releaseMs);
        compressors[b].setRatio (band.ratio);
        compressors[b].setThreshold (band.thresholdDb);
        limiters[b].setThreshold (band.limiterThresholdDb);
        limiters[b].setRelease (band.limiterReleaseMs);
        bandGains[b] = band.gain;
    }
    limitersEnabled = s.limitersEnabled;
}

//==============================================================================
void MultibandDynamics::process (juce::AudioBuffer<float>& buffer)
{
    const int n = buffer.getNumSamples();
    if (n < 1 || buffer.getNumChannels() < 1)
        return;

    for (auto& band : bandBuffers)
        if (band.getNumSamples() != n)
            band.setSize (numChannels, n, false, false, true); // reallocates only beyond the largest size so far

    splitIntoBands (buffer, n);
    compressBands (n);
    if (limitersEnabled)
        limitBands (n);
    sumBands (buffer, n);
}

VANTORA_VECTOR_CLONES void MultibandDynamics::splitIntoBands (const juce::AudioBuffer<float>& buffer, int n) noexcept
{
    // A one-channel buffer feeds both band channels.
    const float* const in[] = { buffer.getReadPointer (0),
                                buffer.getReadPointer (juce::jmin (1, buffer.getNumChannels() - 1)) };
    float* const lowOut[] = { bandBuffers[low].getWritePointer (0), bandBuffers[low].getWritePointer (1) };
    float* const midOut[] = { bandBuffers[mid].getWritePointer (0), bandBuffers[mid].getWritePointer (1) };
    float* const highOut[] = { bandBuffers[high].getWritePointer (0), bandBuffers[high].getWritePointer (1) };

    // All three filters within each sample, both channels side by side in vector lanes, so that
    // the filters' chains overlap; the upper split and the low band's all-pass share one vector.
    auto lowCrossover = lowSplit.startLanes();
    auto upperSplitAndLowAllPass = Crossover::startPairedLanes (highSplit, lowBandAllPass);
    for (int i = 0; i < n; ++i)
    {
        FloatLanes lowPart, upperPart, midPart, highAndLowPart;
        lowCrossover.crossover (FloatLanes { in[0][i], in[1][i], 0.0f, 0.0f }, lowPart, upperPart);
        upperSplitAndLowAllPass.crossoverAndAllPass (__builtin_shufflevector (upperPart, lowPart, 0, 1, 4, 5), midPart,
                                                     highAndLowPart);
        for (int ch = 0; ch < numChannels; ++ch)
        {
            lowOut[ch][i] = highAndLowPart[ch + 2];
            midOut[ch][i] = midPart[ch];
            highOut[ch][i] = highAndLowPart[ch];
        }
    }
    lowSplit.finishLanes (lowCrossover);
    Crossover::finishPairedLanes (upperSplitAndLowAllPass, highSplit, lowBandAllPass);
}

template <typename Step>
void MultibandDynamics::forEachBandSample (int n, Step&& step) noexcept
{
    std::array<std::array<float*, 2>, numBands> samples;
    for (size_t b = 0; b < numBands; ++b)
        samples[b] = { bandBuffers[b].getWritePointer (0), bandBuffers[b].getWritePointer (1) };
    // All six chains (three bands, two channels) within each sample: they are independent and overlap.
    for (int i = 0; i < n; ++i)
        for (size_t b = 0; b < numBands; ++b)
            for (int ch = 0; ch < numChannels; ++ch)
                step (b, ch, samples[b][static_cast<size_t> (ch)][i]);
}

VANTORA_VECTOR_CLONES void MultibandDynamics::compressBands (int n) noexcept
{
    forEachBandSample (n, [this] (size_t b, int ch, float& x) noexcept { x = compressors[b].processSample (ch, x); });
}

VANTORA_VECTOR_CLONES void MultibandDynamics::limitBands (int n) noexcept
{
    forEachBandSample (n, [this] (size_t b, int ch, float& x) noexcept { x = limiters[b].compressSample (ch, x); });
    for (size_t b = 0; b < numBands; ++b)
        limiters[b].applyMakeUpAndClip (
            juce::dsp::AudioBlock<float> (bandBuffers[b]).getSubBlock (0, static_cast<size_t> (n)));
}

void MultibandDynamics::sumBands (juce::AudioBuffer<float>& buffer, int n) const noexcept
{
    for (int ch = 0; ch < juce::jmin (numChannels, buffer.getNumChannels()); ++ch)
    {
        float* out = buffer.getWritePointer (ch);
        const float* lowIn = bandBuffers[low].getReadPointer (ch);
        const float* midIn = bandBuffers[mid].getReadPointer (ch);
        const float* highIn = bandBuffers[high].getReadPointer (ch);
        for (int i = 0; i < n; ++i)
            out[i] = bandGains[low] * lowIn[i] + bandGains[mid] * midIn[i] + bandGains[high] * highIn[i];
    }
}

VANTORA_VECTOR_CLONES void MultibandDynamics::matchDryPhase (juce::dsp::AudioBlock<float> dry, float amount) noexcept
{
    const auto channels = juce::jmin (static_cast<int> (dry.getNumChannels()), numChannels);
    if (channels < 1)
        return;
    float* const samples[] = { dry.getChannelPointer (0), dry.getChannelPointer (static_cast<size_t> (channels - 1)) };
    // Both all-passes within each sample, both channels side by side, as in the split.
    auto lowAllPass = dryLowAllPass.startLanes();
    auto highAllPass = dryHighAllPass.startLanes();
    for (size_t i = 0; i < dry.getNumSamples(); ++i)
    {
        const FloatLanes x { samples[0][i], samples[1][i], 0.0f, 0.0f };
        const auto allPassed = highAllPass.allPass (lowAllPass.allPass (x));
        for (int ch = 0; ch < channels; ++ch)
            samples[ch][i] += amount * (allPassed[ch] - samples[ch][i]);
    }
    dryLowAllPass.finishLanes (lowAllPass);
    dryHighAllPass.finishLanes (highAllPass);
}
