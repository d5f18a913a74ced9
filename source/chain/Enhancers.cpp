#include "chain/Enhancers.h"

#include "chain/MicrophoneVoicing.h"
#include "chain/StageHelpers.h"
#include "engines/RationalTanh.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

namespace
{
constexpr double twoPi = juce::MathConstants<double>::twoPi;

float airExciterAmount (const ChainBlock& block, float deEsserEnvelope) noexcept
{
    const auto& p = block.params;
    const float eqFactor = p.on (Param::eqon) ? p.proportion (Param::eqpct) : 1.0f;
    const float modeFactor = block.flags.voiceMode ? 0.48f * 0.72f : (p.on (Param::popfilter) ? 0.62f : 0.82f);
    const float duck = juce::jlimit (0.55f, 1.0f, 1.0f - 2.4f * deEsserEnvelope); // sibilance is not excited
    return juce::jlimit (0.0f, 0.3f, (0.19f * block.controls.airAmt + 0.03f) * eqFactor * modeFactor * duck);
}

/** Per-sample decay of the kick sub envelope: a 75 ms time constant. */
float kickSubDecay (double sampleRate) noexcept
{
    return static_cast<float> (std::exp (-1.0 / std::max (0.075 * sampleRate, 1.0)));
}
} // namespace

float bodyMakeupGain (const ChainBlock& block) noexcept
{
    const auto& p = block.params;
    const auto& c = block.controls;
    const float low = microphoneVoicing (p.index (Param::mic)).lowOffset;

    float body, loudness;
    if (block.flags.voiceMode)
    {
        loudness = 0.18f * c.loudAmt + 1.04f;
        body = 0.05f * low - 0.22f * (p.on (Param::popfilter) ? 0.015f : 0.0f) + 1.0f;
    }
    else
    {
        loudness = 0.2f * c.loudAmt + 1.02f + 0.08f * c.subAmt;
        body = 0.07f * c.subAmt + 1.02f + 0.05f * c.loudAmt + (low > 0.0f ? 0.04f * low : 0.0f);
    }
    return (body * loudness - 1.0f) * p.proportion (Param::makeuppct) + 1.0f;
}

//==============================================================================
void AirExciter::prepare (const juce::dsp::ProcessSpec& spec)
{
    *airHighPass[0].coefficients = juce::dsp::IIR::ArrayCoefficients<float>::makeHighPass (
        spec.sampleRate, belowNyquist (9800.0f, spec.sampleRate), 0.707f);
    airHighPass[1].coefficients = airHighPass[0].coefficients;
    reset();
}

void AirExciter::reset() noexcept
{
    for (auto& filter : airHighPass)
        filter.reset();
    airPower = {};
}

VANTORA_VECTOR_CLONES void AirExciter::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                                                float deEsserEnvelope) noexcept
{
    const float amount = airExciterAmount (block, deEsserEnvelope);
    const float drive = 4.6f * block.controls.airAmt + 1.75f;
    const float powerCoef = onePoleCoefficient (0.026, block.sampleRate);

    auto highPass = InlineBiquad::startLanes (airHighPass);
    FloatLanes power { airPower[0], airPower[1], 0.0f, 0.0f };
    forEachSampleInLanes (buffer,
                          [&highPass, &power, amount, drive, powerCoef] (FloatLanes& x) noexcept
                          {
                              const auto band = highPass.process (x);
                              power += (band * band - power) * powerCoef;
                              // Faint air is still excited lightly; loud air fully.
                              const auto level = limitLanes (0.16f, 1.0f, 340.0f * sqrtLanes (power));
                              x += amount * level * (rationalTanh (drive * band) - 0.94f * band);
                          });
    airPower = { power[0], power[1] };
    InlineBiquad::finishLanes (highPass, airHighPass);
}

void SubHarmonics::prepare (const juce::dsp::ProcessSpec& spec)
{
    const double a = 1.0 / spec.sampleRate;
    subLowPassCoef = static_cast<float> (a / (a + 0.0010268061)); // about 155 Hz
    reset();
}

VANTORA_VECTOR_CLONES void SubHarmonics::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const float sub = block.controls.subAmt;
    const float drive = 3.4f * sub + 1.18f;
    const float amount =
        (0.01f + 0.045f * sub) * (block.flags.isLive ? 1.0f : 0.45f) * block.params.proportion (Param::subharmpct);

    FloatLanes lowPassed { subLowPass[0], subLowPass[1], 0.0f, 0.0f };
    forEachSampleInLanes (buffer,
                          [&lowPassed, coefficient = subLowPassCoef, drive, amount] (FloatLanes& x) noexcept
                          {
                              lowPassed += (x - lowPassed) * coefficient;
                              x += (rationalTanh (drive * lowPassed) - lowPassed) * amount;
                          });
    subLowPass = { lowPassed[0], lowPassed[1] };
}

void KickSub::reset() noexcept
{
    kickSubPhase = 0.0;
    kickSubEnv = 0.0f;
}

VANTORA_VECTOR_CLONES void KickSub::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const float decay = kickSubDecay (block.sampleRate);
    const int n = buffer.getNumSamples();

    if (! block.params.on (Param::adaptivehit))
    {
        for (int i = 0; i < n; ++i)
            kickSubEnv *= decay;
        return;
    }

    const auto& c = block.controls;
    const float target = juce::jlimit (0.0f, 1.0f, c.adaptCurve * c.hit.kickMatch);
    const float scale = 0.06f * std::min (1.0f, 0.65f * c.subAmt + 0.35f);
    const double step = 314.15927 / block.sampleRate; // 50 Hz
    const int channels = stereoChannels (buffer);
    float* const out[2] = { buffer.getWritePointer (0), buffer.getWritePointer (channels - 1) };

    for (int i = 0; i < n; ++i)
    {
        kickSubEnv = std::max (kickSubEnv * decay, target);
        kickSubPhase += step;
        if (kickSubPhase > twoPi)
            kickSubPhase -= twoPi;
        const auto o = static_cast<float> (std::sin (kickSubPhase)) * kickSubEnv * scale;
        for (int ch = 0; ch < channels; ++ch)
            out[ch][i] += o;
    }
}

//==============================================================================
void QuorinProcessor::runAirExciter (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float deEsserEnvelope)
{
    airExciter.process (buffer, block, deEsserEnvelope);
}

void QuorinProcessor::applyBodyMakeup (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    buffer.applyGain (bodyMakeupGain (block)); // leaves a block marked silent alone
}

void QuorinProcessor::runSubHarmonics (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    subHarmonics.process (buffer, block);
}

void QuorinProcessor::runKickSub (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    kickSub.process (buffer, block);
}
