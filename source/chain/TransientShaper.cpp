#include "chain/TransientShaper.h"

#include "chain/StageHelpers.h"
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
float transientTargetDb (float fast, float slow, const TransientSettings& s) noexcept
{
    const float r = std::max (fast - slow, 0.0f) / (slow + 2.5e-5f) * 0.5f;
    float attack = 0.0f, tailWeight = 1.0f;
    if (r > 1.0f)
    {
        attack = s.attackScale;
        tailWeight = 0.2f;
    }
    else if (r > 0.0f)
    {
        attack = r * s.attackScale;
        tailWeight = 2.0f * r <= 1.0f ? 1.0f - 0.8f * (2.0f * r) : 0.2f;
    }
    tailWeight *= std::min (1.0f, slow / (fast + 1.0e-6f));
    return juce::jlimit (s.lowerDb, s.upperDb, attack * s.boost - s.sustainCut * tailWeight);
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

void TransientShaper::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const auto s = transientSettingsFor (block);
    if (std::abs (s.bandHz - transientBandHz) > 0.2f)
    {
        *transientBandFilters[0].coefficients =
            juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (block.sampleRate, s.bandHz, 0.707f);
        transientBandHz = s.bandHz;
    }

    auto band = InlineBiquad::startLanes (transientBandFilters);
    forEachSampleInLanes (buffer,
                          [this, &s, &band] (FloatLanes& x) noexcept
                          {
                              const auto bandPassed = band.process (x);
                              for (int lane = 0; lane < 2; ++lane)
                              {
                                  const auto c = size_t (lane);
                                  float &fast = transientFast[c], &slow = transientSlow[c],
                                        &gainDb = transientGainDb[c];
                                  const float detected = std::abs (bandPassed[lane]);
                                  float targetDb = 0.0f;
                                  if (s.active)
                                  {
                                      fast += (detected - fast) * (fast < detected ? s.attackCoef : s.releaseCoef);
                                      slow += (detected - slow) * s.slowCoef;
                                      if (slow > 4.0e-6f || fast > 4.0e-6f)
                                          targetDb = transientTargetDb (fast, slow, s);
                                  }
                                  else
                                  {
                                      fast -= fast * s.releaseCoef;
                                      slow -= slow * s.slowCoef;
                                  }
                                  gainDb += (targetDb - gainDb) * s.smoothCoef;
                                  x[lane] *=
                                      std::exp (gainDb * nepersPerDecibel); // 10^(dB/20), at half the cost of pow
                              }
                          });
    InlineBiquad::finishLanes (band, transientBandFilters);
}

//==============================================================================
void QuorinProcessor::runTransientShaper (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    transientShaper.process (buffer, block);
}
