#include "chain/SpaceStage.h"
#include "chain/StageHelpers.h"

#include "processor/PluginProcessor.h"

#include "engines/ModernReverb.h"

namespace
{
constexpr float maxDuckLevel = 0.96f;

using ReverbSettings = ModernReverb::Params;

ReverbSettings liveSettings (const ChainBlock& block) noexcept
{
    const auto& p = block.params;
    const auto& c = block.controls;
    return { juce::jlimit (0.3f, 8.0f, p[Param::revlivedecay] * c.revDecayScale),
             juce::jlimit (0.0f, 120.0f, p[Param::revlivepredelay]),
             juce::jlimit (1200.0f, 18000.0f, p[Param::revlivedamping] * c.revDampingScale),
             juce::jlimit (20.0f, 2600.0f, p[Param::revlivelowcut] * c.revLowCutScale),
             juce::jlimit (2600.0f, 20000.0f, p[Param::revlivehicut]) };
}

ReverbSettings flavourSettings (const ChainBlock& block) noexcept
{
    const auto& p = block.params;
    const auto& c = block.controls;
    const float decayScale = juce::jmax (block.flags.isLive ? 0.91f : 0.96f, c.revDecayScale);
    return { juce::jlimit (0.3f, 45.0f, decayScale * p[Param::revflavourdecay]),
             juce::jlimit (0.0f, 120.0f, p[Param::revflavourpredelay]),
             juce::jlimit (1200.0f, 18000.0f, c.revDampingScale * p[Param::revflavourdamping]),
             juce::jlimit (20.0f, 2600.0f, c.revLowCutScale * p[Param::revflavourlowcut]),
             juce::jlimit (2600.0f, 20000.0f, p[Param::revflavourhicut]) };
}

/** 1 - u, with a floor once the duck depth u passes its limit; no duck for a negative depth. */
float duckGain (float depth, float limit, float floor) noexcept
{
    if (depth < 0.0f)
        return 1.0f;
    return depth > limit ? floor : 1.0f - depth;
}

/** Level curve of the raw Flavour knob: a gentle start below 0.2, then the full range. */
float flavourLevel (float f) noexcept
{
    if (f < 0.2f)
        return 0.08f * std::pow (juce::jlimit (0.0f, 1.0f, f / 0.2f), 2.2f);
    return 0.08f + 0.92f * std::pow (juce::jlimit (0.0f, 1.0f, (f - 0.2f) / 0.8f), 1.65f);
}

float liveWet (const ChainBlock& block, float duckLevel) noexcept
{
    const float depth = block.params.proportion (Param::revducklive) * duckLevel;
    const float base = block.flags.isLive ? 0.034f : 0.024f;
    return base * block.controls.liveAmt * duckGain (depth, 0.995f, 0.005f);
}

float flavourWet (const ChainBlock& block, float duckLevel) noexcept
{
    const float duck = block.params[Param::revduckflavour] * juce::jlimit (0.0f, 1.0f, duckLevel);
    const float level = flavourLevel (block.controls.flavourRaw);
    // Live sets keep the Flavour tail out of the hits; a mix keeps at least 28 % of it.
    if (block.flags.isLive)
        return 0.118f * level * duckGain (0.88f * duck, 0.995f, 0.005f);
    return 0.105f * level * duckGain (0.42f * duck, 0.72f, 0.28f);
}

void runBus (ModernReverb& reverb, juce::dsp::AudioBlock<float>& audio, const ReverbSettings& s, float wet,
             float width) noexcept
{
    reverb.setParameters (s);
    reverb.process (audio, wet, width);
}
} // namespace

DuckingLevels space::measureDucking (const juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const int n = buffer.getNumSamples();
    const auto sumOfSquares = [n, &buffer] (int channel)
    {
        const auto* x = buffer.getReadPointer (channel);
        return sumInFourParts (n, [x] (int i) { return static_cast<double> (x[i]) * x[i]; });
    };

    const double left = sumOfSquares (0);
    const double right = buffer.getNumChannels() > 1 ? sumOfSquares (1) : left;
    const double k = block.flags.voiceMode ? 4.0 : 6.0;
    const double level = k * std::sqrt (left / juce::jmax (1, n));
    return { static_cast<float> (juce::jlimit (0.0, static_cast<double> (maxDuckLevel), level)), 0.5 * (left + right) };
}

void space::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float duckLevel,
                     ModernReverb& liveReverb, ModernReverb& flavourReverb) noexcept
{
    juce::dsp::AudioBlock<float> audio (buffer);
    const float amount = block.fades.reverb * block.params.proportion (Param::revpct);
    const auto& c = block.controls;

    if (c.liveAmt > 1.0e-4f)
        runBus (liveReverb, audio, liveSettings (block), liveWet (block, duckLevel) * amount, c.liveWidthShaped);
    if (c.flavourAmt > 1.0e-4f)
        runBus (flavourReverb, audio, flavourSettings (block), flavourWet (block, duckLevel) * amount,
                c.flavourWidthShaped);
}

void space::prepareReverbs (ModernReverb& liveReverb, ModernReverb& flavourReverb, const juce::dsp::ProcessSpec& spec)
{
    liveReverb.prepare (spec);
    liveReverb.setVoicing (ModernReverb::liveVoicing());
    liveReverb.reset();
    flavourReverb.prepare (spec);
    flavourReverb.setVoicing (ModernReverb::flavourVoicing());
    flavourReverb.reset();
}

//==============================================================================
DuckingLevels QuorinProcessor::measureDuckingLevel (const juce::AudioBuffer<float>& buffer,
                                                    const ChainBlock& block) const noexcept
{
    return space::measureDucking (buffer, block);
}

void QuorinProcessor::runSpaceStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float duckLevel)
{
    space::process (buffer, block, duckLevel, *liveReverb, *flavourReverb);
}
