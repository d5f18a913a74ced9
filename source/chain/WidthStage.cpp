#include "chain/WidthStage.h"

#include "chain/StageHelpers.h"
#include "processor/PluginProcessor.h"

namespace
{
constexpr float crossoverHz = 540.0f;

/** Σ(L·R) / (sqrt(ΣL² · ΣR²) + 1e-12) over the block. */
double blockCorrelation (const juce::AudioBuffer<float>& buffer) noexcept
{
    const auto* left = buffer.getReadPointer (0);
    const auto* right = buffer.getReadPointer (1);
    double lr = 0.0, ll = 0.0, rr = 0.0;
    for (int i = 0; i < buffer.getNumSamples(); ++i)
    {
        lr += static_cast<double> (left[i]) * right[i];
        ll += static_cast<double> (left[i]) * left[i];
        rr += static_cast<double> (right[i]) * right[i];
    }
    return lr / (std::sqrt (ll * rr) + 1.0e-12);
}

/** Near-mono material gets little extra width: the factor jumps to nearly 0 just above a
    correlation of 0.9 and rises to 1.0526 at 1. */
float correlationGuard (double correlation) noexcept
{
    if (correlation > 1.0)
        return 1.0526315f;
    if (correlation > 0.9)
        return static_cast<float> ((correlation - 0.9) / 0.095);
    return 1.0f;
}

float sideGainSlope (const ChainBlock& block) noexcept
{
    if (block.flags.voiceMode)
        return 0.75f;
    constexpr float byMixMode[] { 2.25f, 2.7f, 3.2f }; // Transparent, Small Beast, Total Beast
    return byMixMode[juce::jlimit (0, 2, block.params.index (Param::mixmode))];
}
} // namespace

void WidthStage::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const bool stereo = buffer.getNumChannels() > 1;
    const int numSamples = buffer.getNumSamples();

    // The correlation guard and the module fade both move sample by sample across the block: the
    // guard no faster than a 20 ms ramp from 0 to 1, the fade from where the last block left it.
    const float guardTarget = ! block.flags.isLive && stereo ? correlationGuard (blockCorrelation (buffer)) : 1.0f;
    const auto maxGuardStep = static_cast<float> (numSamples / (0.02 * block.sampleRate));
    const float guardEnd = widthGuardGain + juce::jlimit (-maxGuardStep, maxGuardStep, guardTarget - widthGuardGain);
    const float guardStep = (guardEnd - widthGuardGain) / static_cast<float> (numSamples);
    const float fadeStep = (block.fades.width - widthFadeApplied) / static_cast<float> (numSamples);

    const float slope = sideGainSlope (block);
    const float share = block.params.proportion (Param::widpct);

    auto* left = buffer.getWritePointer (0);
    auto* right = stereo ? buffer.getWritePointer (1) : nullptr;

    for (int i = 0; i < numSamples; ++i)
    {
        const auto step = static_cast<float> (i + 1);
        const float w = block.controls.widthAmt * (widthGuardGain + guardStep * step);
        const float fade = widthFadeApplied + fadeStep * step;
        const float sideGain = 1.0f + slope * w;
        const float decorrelation = 0.92f * w * 0.5f;
        const float amount = fade * share;

        const float inL = left[i];
        const float inR = stereo ? right[i] : inL;
        float lowL, highL, lowR, highR;
        widthCrossover[0].processSample (0, inL, lowL, highL);
        widthCrossover[1].processSample (0, inR, lowR, highR);

        const float mid = (lowL + lowR) * 0.5f + (highL + highR) * 0.5f;
        const float side = (highL - highR) * 0.5f;
        sideLowPass += (side - sideLowPass) * sideLowPassCoef;

        const float guard = juce::jlimit (0.0f, 1.0f, 1.0f - 26.0f * std::abs (side));
        const float widened = (side - sideLowPass) * sideGain + sideLowPass;
        const float decor = decorrelation * guard
                            * (widthAllpass[0].processSample (0, highL) - widthAllpass[1].processSample (0, highR));
        float outL = mid + widened + decor;
        float outR = mid - widened - decor;

        // The crossover's bands sum to an all-pass; blending with the raw dry would cancel where it
        // turns the phase by 180°, so the dry share is the same band sum. While the module fades it
        // leans back to the untouched input, which the chain carries once the stage stops.
        if (amount < 0.999f)
        {
            const float dryL = (lowL + highL) * fade + inL * (1.0f - fade);
            const float dryR = (lowR + highR) * fade + inR * (1.0f - fade);
            outL = outL * amount + dryL * (1.0f - amount);
            outR = outR * amount + dryR * (1.0f - amount);
        }

        left[i] = outL;
        if (stereo)
            right[i] = outR;
    }

    widthGuardGain = guardEnd;
    widthFadeApplied = block.fades.width;
}

void WidthStage::prepare (const juce::dsp::ProcessSpec& spec)
{
    const juce::dsp::ProcessSpec mono { spec.sampleRate, spec.maximumBlockSize, 1 };
    for (auto& crossover : widthCrossover)
    {
        crossover.prepare (mono);
        crossover.setCutoffFrequency (crossoverHz);
        crossover.reset();
    }

    constexpr float allpassHz[] { 2920.0f, 6550.0f };
    for (size_t i = 0; i < widthAllpass.size(); ++i)
    {
        widthAllpass[i].prepare (mono);
        widthAllpass[i].setType (InlineFirstOrderTpt::Type::allpass);
        widthAllpass[i].setCutoffFrequency (belowNyquist (allpassHz[i], spec.sampleRate));
        widthAllpass[i].reset();
    }

    // A one-pole at about 235 Hz: the side below it is not amplified.
    const double a = 1.0 / spec.sampleRate;
    sideLowPassCoef = static_cast<float> (a / (a + 0.00067725504));
    sideLowPass = 0.0f;
    widthGuardGain = 1.0f;
    widthFadeApplied = 1.0f;
}

void WidthStage::reset() noexcept
{
    for (auto& crossover : widthCrossover)
        crossover.reset();
    for (auto& allpass : widthAllpass)
        allpass.reset();
}

//==============================================================================
void QuorinProcessor::runWidthStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    width.process (buffer, block);
}
