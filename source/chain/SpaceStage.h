#pragma once

#include "chain/BlockControls.h"

#include <juce_dsp/juce_dsp.h>

class ModernReverb;

/** The space stage: the Live and Flavour reverbs (the processor's two reverb engines, passed in),
    ducked under the dry signal by a level measured where the stage begins. It holds no state of its
    own; the reverbs' tails live in the engines. */
namespace space
{
// The rooms: every delay line and diffuser of the Live reverb at 0.84 of the engine's, the Flavour's at 1.56.
constexpr float liveRoomScale = 0.84f, flavourRoomScale = 1.56f;

/** Voices and prepares the two reverb engines for the stage. */
void prepareReverbs (ModernReverb& live, ModernReverb& flavour, const juce::dsp::ProcessSpec& spec);

/** The ducking level of the signal entering the stage, and its energy for the auto-gain. */
DuckingLevels measureDucking (const juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

/** Adds the reverbs the block's controls ask for. */
void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float duckLevel, ModernReverb& live,
              ModernReverb& flavour) noexcept;
} // namespace space
