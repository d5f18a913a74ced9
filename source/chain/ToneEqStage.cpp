#include "chain/ToneEqStage.h"
#include "chain/MacroMapping.h"
#include "chain/MicrophoneVoicing.h"
#include "chain/StageHelpers.h"
#include "chain/ToneCurve.h"
#include "engines/AnalogEqEngine.h"
#include "engines/LinearPhaseEqEngine.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

namespace
{
using IirFilter = InlineBiquad;
using IirDesign = juce::dsp::IIR::ArrayCoefficients<float>;
using ToneFilters = std::array<IirFilter, 12>;

// The six designs of the tone filters, in their order.
enum ToneDesign
{
    rawHighPass,
    rawPresence,
    rawAirShelf,
    userLowShelf,
    userMidBell,
    userHighShelf,
    numToneDesigns
};

IirFilter& toneFilter (ToneFilters& filters, int design, int channel) noexcept
{
    return filters[static_cast<size_t> (2 * design + channel)];
}

/** One sample through three consecutive designs of one channel. */
float throughThreeDesigns (ToneFilters& filters, int firstDesign, int channel, float x) noexcept
{
    for (int design = firstDesign; design < firstDesign + 3; ++design)
        x = toneFilter (filters, design, channel).processSample (x);
    return x;
}

float gainOf (float db) noexcept { return std::pow (10.0f, db / 20.0f); }

void designToneFilters (ToneFilters& filters, const ParameterSnapshot& params, const BlockControls& controls,
                        const ToneCurve& curve, double fs)
{
    const auto presenceDb = juce::jlimit (-6.0f, 6.0f, 0.6f * curve.presenceGainDb);
    const auto airDb = juce::jlimit (-4.0f, 6.2f, 0.56f * curve.airGainDb);
    const auto airHz = juce::jlimit (7200.0f, 11200.0f, 3000.0f * controls.airAmt + 7350.0f);

    const std::array<std::array<float, 6>, numToneDesigns> designs {
        IirDesign::makeHighPass (fs, juce::jlimit (40.0f, 125.0f, 0.84f * curve.hpfHz - 6.0f)),
        IirDesign::makePeakFilter (fs, belowNyquist (curve.presenceHz, fs), 0.9f, gainOf (presenceDb)),
        IirDesign::makeHighShelf (fs, belowNyquist (airHz, fs), 0.76f, gainOf (airDb)),
        IirDesign::makeLowShelf (fs, 120.0f, 0.75f, gainOf (params[Param::eqlow])),
        IirDesign::makePeakFilter (fs, 1250.0f, 0.9f, gainOf (params[Param::eqmid])),
        IirDesign::makeHighShelf (fs, belowNyquist (6200.0f, fs), 0.72f, gainOf (params[Param::eqhigh])),
    };

    // Left and right share one coefficient object: assigning the left's updates both, in place.
    for (int design = 0; design < numToneDesigns; ++design)
        *toneFilter (filters, design, 0).coefficients = designs[static_cast<size_t> (design)];
}

double pairEnergy (const juce::AudioBuffer<float>& buffer) noexcept
{
    const auto* left = buffer.getReadPointer (0);
    const auto* right = buffer.getReadPointer (buffer.getNumChannels() > 1 ? 1 : 0);
    return sumInFourParts (
        buffer.getNumSamples(), [left, right] (int i)
        { return 0.5 * (static_cast<double> (left[i]) * left[i] + static_cast<double> (right[i]) * right[i]); });
}

float blended (float dry, float wet, float amount) noexcept { return dry + (wet - dry) * amount; }
} // namespace

LinearPhaseEqEngine::Design ToneEqStage::linearPhaseDesignFor (const ChainBlock& block) noexcept
{
    const auto curve = liveToneCurveFor (block.params, block.flags, block.controls);
    return { block.params[Param::eqlow], block.params[Param::eqmid], block.params[Param::eqhigh], curve, 0.78f };
}

//==============================================================================
float feedbackFrequencyHz (int choiceIndex) noexcept
{
    static constexpr std::array<float, 19> frequencies { 0.0f,    160.0f,  200.0f,  250.0f,  315.0f,  400.0f,  500.0f,
                                                         630.0f,  800.0f,  1000.0f, 1250.0f, 1600.0f, 2000.0f, 2500.0f,
                                                         3150.0f, 4000.0f, 5000.0f, 6300.0f, 8000.0f };
    return frequencies[static_cast<size_t> (juce::jlimit (0, static_cast<int> (frequencies.size()) - 1, choiceIndex))];
}

ToneCurve liveToneCurveFor (const ParameterSnapshot& params, const BlockFlags& flags, const BlockControls& c) noexcept
{
    const int mic = params.index (Param::mic);
    const auto& voicing = microphoneVoicing (mic);
    const bool voice = flags.voiceMode;
    const bool live = flags.isLive;
    const bool popFilter = params.on (Param::popfilter);

    ToneCurve curve;

    const float hpfBase = voicing.highPassOffsetHz + (flags.stageLive ? 26.0f : 0.0f);
    curve.hpfHz = hpfBase + (voice ? 138.0f : (live ? 50.0f : 68.0f)) - (popFilter ? 4.0f : 0.0f);

    if (voice)
        curve.lowMidGainDb = voicing.lowMidDb - (0.18f * c.detailAmt + 0.58f * c.smartEff + 0.6f);
    else if (live)
        curve.lowMidGainDb = voicing.lowMidDb - (1.95f * c.smartEff + 1.0f + 0.72f * c.detailAmt);
    else
        curve.lowMidGainDb = voicing.lowMidDb - (0.42f * c.smartEff + 0.35f + 0.22f * c.detailAmt);
    if (popFilter)
        curve.lowMidGainDb -= 0.5f;
    if (! live && mic == 3) // the SM58's proximity build-up, in the mix only
        curve.lowMidGainDb -= 0.5f;

    float airSlope = 0.0f;
    if (voice)
    {
        curve.presenceGainDb = 1.35f * c.detailAmt + 0.9f + 0.48f * c.smartEff + voicing.presenceDb;
        airSlope = 0.46f * c.smartEff + 2.05f;
    }
    else if (live)
    {
        curve.presenceGainDb =
            1.48f * c.smartEff + 2.75f * c.detailAmt + 0.8f + 1.62f * c.smackAmt + voicing.presenceDb;
        airSlope = 0.9f * c.smartEff + 4.2f;
    }
    else
    {
        curve.presenceGainDb = 0.55f * c.smackAmt + 1.05f * c.detailAmt + 0.45f + voicing.presenceDb;
        airSlope = 0.25f * c.smartEff + 2.35f;
    }
    if (popFilter)
        curve.presenceGainDb += 0.9f;

    curve.airGainDb = airSlope * c.airAmt + voicing.airDb + (popFilter ? 0.15f * c.smartAmt + 0.6f : 0.0f);
    curve.presenceHz = voice ? 2200.0f : 2600.0f;
    curve.airHz = juce::jlimit (7400.0f, 12200.0f, c.airShelfHz);

    const float body = voicing.lowOffset > 0.0f ? (live ? 1.5f : 0.6f) * voicing.lowOffset : 0.0f;
    if (voice)
        curve.lowGainDb = 0.0f;
    else if (live)
        curve.lowGainDb = juce::jlimit (0.0f, 2.45f, 1.82f * c.subAmt + body + 0.42f * c.beastAmt + 0.28f * c.loudAmt);
    else
        curve.lowGainDb = juce::jlimit (0.0f, 1.35f, 0.85f * c.subAmt + body + 0.42f * c.beastAmt + 0.28f * c.loudAmt);

    return curve;
}

AnalogEqEngine::FeedbackNotches feedbackNotchesFor (const ParameterSnapshot& params, const BlockFlags& flags) noexcept
{
    AnalogEqEngine::FeedbackNotches notches;
    notches.frequenciesHz = { feedbackFrequencyHz (params.index (Param::fbfreq1)),
                              feedbackFrequencyHz (params.index (Param::fbfreq2)),
                              feedbackFrequencyHz (params.index (Param::fbfreq3)) };
    notches.q = flags.stageLive ? 16.0f : 14.0f;
    notches.gainDb = flags.notchesOn ? (flags.stageLive ? -8.0f : -6.5f) : 0.0f;
    notches.enabled = flags.notchesOn;
    return notches;
}

//==============================================================================
ToneEqStage::ToneEqStage()
{
    // Second-order sets from the start (every block redesigns them in place), one per design.
    for (int design = 0; design < numToneDesigns; ++design)
    {
        juce::dsp::IIR::Coefficients<float>::Ptr shared (new juce::dsp::IIR::Coefficients<float> (1, 0, 0, 1, 0, 0));
        for (int channel = 0; channel < 2; ++channel)
            toneFilter (toneFilters, design, channel).coefficients = shared;
    }
}

void ToneEqStage::prepare (const juce::dsp::ProcessSpec& stereo)
{
    const auto maxBlock = static_cast<int> (stereo.maximumBlockSize);
    linearPhaseDryRing.prepare (2, DelayRing::lengthFor (maxBlock));
    dry.prepare (2, maxBlock);
    reset();
}

void ToneEqStage::reset() noexcept
{
    for (auto& filter : toneFilters)
        filter.reset();
    linearPhaseDryRing.clear();
    linearPhaseRingPrimed = false;
    deEsserEnvelope = 0.0f;
}

void ToneEqStage::release()
{
    reset();
    linearPhaseDryRing.release();
    dry.release();
}

void ToneEqStage::design (const ChainBlock& block, AnalogEqEngine& analogEq) noexcept
{
    const auto curve = liveToneCurveFor (block.params, block.flags, block.controls);
    analogEq.setParameters ({ curve, feedbackNotchesFor (block.params, block.flags) });

    designToneFilters (toneFilters, block.params, block.controls, curve, block.sampleRate);
}

//==============================================================================
VANTORA_VECTOR_CLONES EqPassResult ToneEqStage::runEqPass (juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                                                           float cuppedAmount, AnalogEqEngine& analogEq) noexcept
{
    const double inputEnergy = pairEnergy (buffer);
    if (! block.params.on (Param::eqon))
        return { inputEnergy, deEsserEnvelope };

    const float amount = block.params.proportion (Param::eqpct);
    const int numSamples = buffer.getNumSamples();
    const int numChannels = juce::jmin (2, buffer.getNumChannels());

    if (block.flags.rawMode)
    {
        for (int ch = 0; ch < numChannels; ++ch)
        {
            auto* samples = buffer.getWritePointer (ch);
            for (int i = 0; i < numSamples; ++i)
                samples[i] =
                    blended (samples[i], throughThreeDesigns (toneFilters, rawHighPass, ch, samples[i]), amount);
        }
        return { inputEnergy, deEsserEnvelope };
    }

    using Rows = AnalogEqEngine;
    auto& eq = analogEq;
    const auto& flags = block.flags;
    const auto& controls = block.controls;
    const float cupped = flags.isLive && cuppedAmount > 0.001f ? cuppedAmount : 0.0f;
    const bool minimumPhase = ! flags.linearPhaseActive;

    const auto toneCurve = [&] (float& l, float& r) noexcept
    {
        if (cupped > 0.0f)
        {
            float cuppedL = l, cuppedR = r;
            eq.processRows (Rows::cuppedRow, Rows::numCuppedRows, cuppedL, cuppedR);
            l = cupped * cuppedL + (1.0f - cupped) * l;
            r = cupped * cuppedR + (1.0f - cupped) * r;
        }
        if (minimumPhase)
            eq.processLive (l, r);
        if (flags.notchesOn)
            eq.processRows (Rows::notchRow, Rows::numNotchRows, l, r);
    };

    // The de-esser listens to the 6.2 kHz band of both channels and ducks them together.
    const float threshold = flags.isLive ? 0.08f - 0.02f * controls.smartEff : 0.075f - 0.012f * controls.airAmt;
    const float depth = 1.4f * controls.smartEff + 2.8f;
    float envelope = deEsserEnvelope;
    const auto deEsserGain = [&] (float l, float r) noexcept
    {
        const auto band = eq.section (Rows::detectorRow).process (Rows::ChannelLanes { l, r });
        const auto bandL = static_cast<float> (band[0]);
        const auto bandR = numChannels > 1 ? static_cast<float> (band[1]) : bandL;
        const float level = (std::abs (bandL) + std::abs (bandR)) / 2.0f;
        envelope += (level - envelope) * chosenWithoutBranch (level > envelope, 0.16f, 0.012f);
        // Below the threshold the line exceeds 1, so the clamp gives exactly 1.
        return std::min (1.0f, std::max (0.62f, 1.0f - depth * (envelope - threshold)));
    };

    auto* left = buffer.getWritePointer (0);
    auto* right = numChannels > 1 ? buffer.getWritePointer (1) : nullptr;
    for (int i = 0; i < numSamples; ++i)
    {
        const float dryL = left[i];
        const float dryR = right != nullptr ? right[i] : dryL;
        float l = dryL, r = dryR; // a mono buffer runs its one channel in both
        toneCurve (l, r);

        if (! flags.voiceMode)
        {
            const float gain = deEsserGain (l, r);
            l *= gain;
            r *= gain;
        }

        if (minimumPhase) // else the linear-phase pass applies the user EQ and the blend
        {
            l = blended (dryL, throughThreeDesigns (toneFilters, userLowShelf, 0, l), amount);
            if (right != nullptr)
                r = blended (dryR, throughThreeDesigns (toneFilters, userLowShelf, 1, r), amount);
        }

        left[i] = l;
        if (right != nullptr)
            right[i] = r;
    }
    deEsserEnvelope = envelope;
    return { inputEnergy, deEsserEnvelope };
}

//==============================================================================
void ToneEqStage::runLinearPhase (juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                                  LinearPhaseEqEngine& linearPhaseEq, bool rebuildAtOnce)
{
    constexpr int delay = LinearPhaseEqEngine::centreTap;
    if (! linearPhaseRingPrimed)
    {
        linearPhaseDryRing.clear();
        linearPhaseRingPrimed = true;
    }

    const auto design = linearPhaseDesignFor (block);
    // An offline render must not depend on how fast the background designer and loader are: it
    // takes the new kernel at once (and any kernel still owed), primed with the input the old one
    // has heard.
    if (linearPhaseEq.needsRebuildFor (design) || (rebuildAtOnce && linearPhaseEq.kernelPending()))
    {
        if (rebuildAtOnce)
            linearPhaseEq.rebuildNow (design, linearPhaseDryRing.latest (LinearPhaseEqEngine::numTaps - 1));
        else
            linearPhaseEq.rebuild (design);
    }

    dry.capture (buffer);
    const int numSamples = buffer.getNumSamples();
    linearPhaseEq.process (juce::dsp::AudioBlock<float> (buffer).getSubBlock (0, static_cast<size_t> (numSamples)));

    // The dry share is the EQ pass output delayed by the FIR's own delay, so the blend cannot comb.
    const float amount = std::max (0.0f, block.params[Param::eqpct]);
    const int lastDryChannel = dry.samples().getNumChannels() - 1;
    linearPhaseDryRing.write (dry.samples(), numSamples, delay,
                              [&] (int start, int count) noexcept
                              {
                                  if (amount >= 0.999f)
                                      return;
                                  for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                                  {
                                      auto* out = buffer.getWritePointer (ch, start);
                                      const auto* drySamples =
                                          dry.samples().getReadPointer (juce::jmin (ch, lastDryChannel), start);
                                      for (int i = 0; i < count; ++i)
                                      {
                                          const float delayed = linearPhaseDryRing.holds (i, delay)
                                                                    ? linearPhaseDryRing.delayed (ch, i, delay)
                                                                    : drySamples[i];
                                          out[i] = delayed * (1.0f - amount) + out[i] * amount;
                                      }
                                  }
                              });
}

//==============================================================================
void QuorinProcessor::designEq (const ChainBlock& block) { tone.design (block, *analogEq); }

EqPassResult QuorinProcessor::runEqPass (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float cuppedAmount)
{
    return tone.runEqPass (buffer, block, cuppedAmount, *analogEq);
}

void QuorinProcessor::runLinearPhaseEq (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    tone.runLinearPhase (buffer, block, *linearPhaseEq, isNonRealtime());
}
