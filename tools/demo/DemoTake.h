#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace demo
{
constexpr double takeSampleRate = 48000.0;
constexpr double takeSeconds = 20.0;

/** The sounds of the take, numbered as the hit classes are. */
enum class HitKind
{
    kick = 1,
    snare = 2,
    hiHat = 3,
    inwardK = 4
};

/** Where one sound of the take starts (its first sample) and what it is. */
struct Onset
{
    int sample;
    HitKind kind;
};

/** The take together with the onsets of every sound in it, in time order. */
struct LabelledTake
{
    juce::AudioBuffer<float> audio;
    std::vector<Onset> onsets;
};

/** A synthetic beatbox take: kick, snare, hi-hat and inward K over a little room noise, mono.
    Fully deterministic: the same call gives the same samples on every run and machine. */
juce::AudioBuffer<float> makeDemoTake (double sampleRate = takeSampleRate, double seconds = takeSeconds);

/** The same take (the same samples) with its onsets. */
LabelledTake makeLabelledDemoTake (double sampleRate = takeSampleRate, double seconds = takeSeconds);
} // namespace demo
