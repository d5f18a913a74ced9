#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace demo
{
constexpr double takeSampleRate = 48000.0;
constexpr double takeSeconds = 20.0;

/** A synthetic beatbox take: kick, snare, hi-hat and inward K over a little room noise, mono.
    Fully deterministic: the same call gives the same samples on every run and machine. */
juce::AudioBuffer<float> makeDemoTake (double sampleRate = takeSampleRate, double seconds = takeSeconds);
} // namespace demo
