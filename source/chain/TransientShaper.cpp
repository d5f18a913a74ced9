#include "chain/TransientShaper.h"

#include "chain/StageHelpers.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

namespace
{
/** What the shaper works with for one block. */
struct TransientSettings
{
    bool active;
    float attackScale; // A
    float sustainCut;  // dB taken off a settled tail with full weight: (1 − S) × the mode's scale
    float boost;       // B
    float upperDb, lowerDb;
    float bandHz;
    float attackCoef, releaseCoef, slowCoef, smoothCoef;
};

float coefficientForMs (double ms, double sampleRate) noexcept { return onePoleCoefficient (ms * 0.001, sampleRate); }

TransientSettings transientSettingsFor (const ChainBlock& block) noexcept
{
    const auto& c = block.controls;
    const auto& p = block.params;
    const bool live = block.flags.isLive;
    const bool on = c.punchOn;
    const double fs = block.sampleRate;

    TransientSettings s {};
    s.active = on && (c.attack > 1.0e-5f || c.sustain < 0.999f);

    const float attackCurve = std::pow (std::pow (macro::logCurve (c.attack), 0.54f), 0.82f);
    s.attackScale = (live ? 1.0f : 0.4f) * std::min (1.0f, 1.16f * attackCurve);

    const float sustainShape = std::pow (macro::logCurve (c.sustain), live ? 0.72f : 0.85f);
    s.sustainCut = (1.0f - sustainShape) * (live ? (0.42f * s.attackScale + 0.18f) * 5.5f : 0.12f * 3.2f);
    s.slowCoef = coefficientForMs (5.0 + 195.0 * sustainShape, fs);

    s.bandHz = on ? juce::jlimit (70.0f, 340.0f, p[Param::transientband]) : 160.0f;

    const float snap = std::pow (on ? p.proportion (Param::transientsnap) : 0.58f, 0.62f);
    s.attackCoef = coefficientForMs (2.4 - 2.2 * snap, fs);
    s.releaseCoef = coefficientForMs (38.0 - 31.5 * snap, fs);
    s.smoothCoef =
        coefficientForMs (on ? 2.8 + 23.2 * std::pow (p.proportion (Param::transientsmooth), 0.88f) : 13.158594, fs);

    const float ceiling = std::pow (on ? p.proportion (Param::transientceiling) : 0.62f, 0.72f);
    s.boost = live ? 3.1f * ceiling + 3.35f : 1.8f * ceiling + 2.05f;
    s.upperDb = live ? 3.9f * ceiling + 3.5f : 2.0f * ceiling + 2.2f;
    s.lowerDb = live ? -4.2f : -2.8f;
    return s;
}

/** The gain in dB that the two envelopes ask for: a lift while fast runs ahead of slow, a cut on
    the settled tail. */
FloatLanes transientTargetDb (FloatLanes fast, FloatLanes slow, const TransientSettings& s) noexcept
{
    const FloatLanes zero {}, one = lanesOf (1.0f), fifth = lanesOf (0.2f);
    const FloatLanes lead = fast - slow;
    const FloatLanes r = (lead < zero ? zero : lead) / (slow + 2.5e-5f) * 0.5f;
    // Well ahead: the full lift and a fifth of the cut; a little ahead: both in proportion; else the cut.
    const FloatLanes attack = r > one ? lanesOf (s.attackScale) : (r > zero ? r * s.attackScale : zero);
    const FloatLanes twice = 2.0f * r;
    const FloatLanes partialWeight = twice <= one ? one - 0.8f * twice : fifth;
    FloatLanes tailWeight = r > one ? fifth : (r > zero ? partialWeight : one);
    const FloatLanes settled = slow / (fast + 1.0e-6f);
    tailWeight *= settled < one ? settled : one;
    return limitLanes (s.lowerDb, s.upperDb, attack * s.boost - s.sustainCut * tailWeight);
}

// ln(10) / 20: a gain in decibels times this is its natural logarithm.
constexpr float nepersPerDecibel = 0.115129254649702f;
} // namespace

//==============================================================================
void TransientShaper::prepare (const juce::dsp::ProcessSpec& spec)
{
    *transientBandFilters[0].coefficients =
        juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (spec.sampleRate, 160.0f, 0.707f);
    transientBandFilters[1].coefficients = transientBandFilters[0].coefficients;
    reset(); // filter states, envelopes and gains back to rest
    transientBandHz = 160.0f;
}

void TransientShaper::reset() noexcept
{
    for (auto& filter : transientBandFilters)
        filter.reset();
    transientFast = {};
    transientSlow = {};
    transientGainDb = {};
    transientBandHz = -1000.0f;
}

VANTORA_VECTOR_CLONES void TransientShaper::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const auto s = transientSettingsFor (block);
    if (std::abs (s.bandHz - transientBandHz) > 0.2f)
    {
        *transientBandFilters[0].coefficients =
            juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (block.sampleRate, s.bandHz, 0.707f);
        transientBandHz = s.bandHz;
    }

    auto band = InlineBiquad::startLanes (transientBandFilters);
    FloatLanes fast { transientFast[0], transientFast[1], 0.0f, 0.0f };
    FloatLanes slow { transientSlow[0], transientSlow[1], 0.0f, 0.0f };
    FloatLanes gainDb { transientGainDb[0], transientGainDb[1], 0.0f, 0.0f };
    const FloatLanes attackCoef = lanesOf (s.attackCoef), releaseCoef = lanesOf (s.releaseCoef);
    forEachSampleInLanes (buffer,
                          [&] (FloatLanes& x) noexcept
                          {
                              const auto detected = absLanes (band.process (x));
                              FloatLanes targetDb {};
                              if (s.active)
                              {
                                  fast += (detected - fast) * (fast < detected ? attackCoef : releaseCoef);
                                  slow += (detected - slow) * s.slowCoef;
                                  const auto audible = (slow > 4.0e-6f) | (fast > 4.0e-6f);
                                  targetDb = audible ? transientTargetDb (fast, slow, s) : targetDb;
                              }
                              else
                              {
                                  fast -= fast * s.releaseCoef;
                                  slow -= slow * s.slowCoef;
                              }
                              gainDb += (targetDb - gainDb) * s.smoothCoef;
                              // 10^(dB/20), at half the cost of pow
                              const auto nepers = gainDb * nepersPerDecibel;
                              x *= FloatLanes { std::exp (nepers[0]), std::exp (nepers[1]), 1.0f, 1.0f };
                          });
    transientFast = { fast[0], fast[1] };
    transientSlow = { slow[0], slow[1] };
    transientGainDb = { gainDb[0], gainDb[1] };
    InlineBiquad::finishLanes (band, transientBandFilters);
}

//==============================================================================
void QuorinProcessor::runTransientShaper (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    transientShaper.process (buffer, block);
}
