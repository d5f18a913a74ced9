#pragma once

#include "chain/BlockControls.h"
#include "engines/InlineBiquad.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The air exciter: harmonics of the band above 9.8 kHz, scaled by its smoothed level and ducked
    under the de-esser. */
class AirExciter
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float deEsserEnvelope) noexcept;

private:
    std::array<InlineBiquad, 2> airHighPass;
    std::array<float, 2> airPower {}; // smoothed power of the air band
};

/** The sub harmonics: a saturated one-pole low band added back. */
class SubHarmonics
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept { subLowPass = {}; }
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

private:
    std::array<float, 2> subLowPass {}; // one-pole states
    float subLowPassCoef = 0.0f;
};

/** The kick sub: a 50 Hz sine under detected kicks, with a decaying envelope. */
class KickSub
{
public:
    void prepare (const juce::dsp::ProcessSpec&) { reset(); }
    void reset() noexcept;
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

    float envelope() const noexcept { return kickSubEnv; }

private:
    double kickSubPhase = 0.0; // radians
    float kickSubEnv = 0.0f;
};

/** The body makeup gain, the same for every sample of the block. */
float bodyMakeupGain (const ChainBlock& block) noexcept;
