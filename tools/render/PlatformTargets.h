#pragma once

#include "render/Measurement.h"

#include <vector>

/** What a platform does with a delivered file's level. */
enum class PlatformRule
{
    normalises,    // turns loud files down and quiet ones up
    turnsDownOnly, // turns loud files down, leaves quiet ones as they are
    compliance     // applies nothing; a file inside the tolerance passes, any other is rejected
};

/** One delivery target, with the figures the platform publishes (see the notes where a figure is a
    third party's reading). */
struct PlatformTarget
{
    const char* name;  // as --target takes it
    const char* title; // as people know it
    double lufs;
    double toleranceLu; // how far from lufs a file may be before the platform turns it down or rejects it
    double truePeakLimitDbtp;
    double loudTruePeakLimitDbtp; // the limit for a file louder than lufs (Spotify asks for more room)
    PlatformRule rule;
    bool raisesOnlyWithinHeadroom; // raises a quiet file only as far as its true-peak limit allows
    const char* note;
};

/** The platforms in the order the report lists them. */
const std::vector<PlatformTarget>& platformTargets();

/** The platform of that name, or null. */
const PlatformTarget* findPlatformTarget (const juce::String& name);

/** The known names, for an error message. */
juce::String platformTargetNames();

/** A loudness to render to: a platform's figures or a number of LUFS. */
struct LoudnessTarget
{
    juce::String name; // the platform's name, or empty for a number
    double lufs = -14.0;
    double truePeakLimitDbtp = -1.0;
};

/** Reads --target (a platform's name or a number of LUFS) and --true-peak (empty for the target's
    own limit, -1 dBTP for a number). On failure says why in error: an unknown name lists the known. */
LoudnessTarget parseLoudnessTarget (const juce::String& target, const juce::String& truePeak, juce::String& error);

/** What a platform would do with a measured file. */
struct PlatformVerdict
{
    double gainDb = 0.0;            // the gain the platform applies
    double truePeakAfterDbtp = 0.0; // the file's true peak after that gain
    double truePeakLimitDbtp = 0.0; // the limit that applies to this file
    bool passes = false;
    juce::String reason; // why it fails, or "pass"
};

PlatformVerdict judge (const PlatformTarget& platform, const LoudnessReading& file);
