#pragma once

// Labelled hit sequences for the adaptive hit engine: real drum recordings (the kick, snare and
// closed hi-hat layers of the GMRockKit that the hydrogen-data package ships) placed at known onsets
// over silence or room noise, and the scoring of what the engine reports against those onsets.

#include "engines/AdaptiveHitEngine.h"

#include <array>
#include <string>
#include <vector>

namespace labelled
{
struct Hit
{
    int start;    // first sample of the attack
    int hitClass; // 1 kick, 2 snare, 3 hi-hat, 4 inward K
};

struct Sequence
{
    juce::AudioBuffer<float> audio; // mono
    std::vector<Hit> hits;          // in time order
    double sampleRate = 48000.0;
};

enum class Background
{
    silence,
    roomNoise // low-passed noise at -60 dBFS RMS, as a quiet room through a stage microphone
};

/** One placed recording: class 1..3, velocity layer 0 (softest) .. 4 (hardest), peak in dBFS. */
struct Placement
{
    int hitClass;
    int layer;
    float peakDb;
};

constexpr double hitSpacingSeconds = 0.4;

/** The recordings placed one every 0.4 s after a 0.5 s lead-in, each cut to 0.3 s with a short fade. */
Sequence arrange (double sampleRate, const std::vector<Placement>& placements, Background background);

/** All fifteen kick, snare and hi-hat recordings three times, at peaks from -30 to -6 dBFS. */
Sequence kitSequence (double sampleRate, Background background);

/** The demo take with its generator's onsets. */
Sequence demoSequence (double sampleRate, double seconds);

/** The class the engine reports for every sample, running the sequence through it in host blocks
    of the given size (the block's result stands for all its samples, as the hit lamp shows it). */
std::vector<int> reportedClasses (AdaptiveHitEngine& engine, const Sequence& sequence, int blockSize);

struct Score
{
    std::array<std::array<int, 5>, 5> confusion {}; // [true class][reported class], 0 = nothing
    std::vector<int> perHit;                        // reported class of each hit
    int falseHits = 0;                              // hits that start away from every onset

    int hitsOf (int hitClass) const;
    int detectedOf (int hitClass) const;
    int detected() const;
    int rightOf (int hitClass) const { return confusion[size_t (hitClass)][size_t (hitClass)]; }
    int right() const;
    std::string table() const;
};

/** A hit counts as detected when some class is reported within 60 ms of its onset, and its reported
    class is the one shown longest in that window. A reported hit that starts more than 25 ms before
    or 80 ms after every onset is a false hit. */
Score score (const Sequence& sequence, const std::vector<int>& reported);

/** The share of hits that every one of the scores reports as the same class. */
double agreement (const std::vector<Score>& scores);
} // namespace labelled
