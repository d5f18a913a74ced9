#pragma once

#include "engines/AdaptiveHitEngine.h"
#include "processor/ParameterLayout.h"

#include <array>

/** The raw parameter values of one block, read once before any stage runs. Choices are already
    rounded to their index and clamped to their list. */
struct ParameterSnapshot
{
    std::array<float, numParameters> values {};

    float operator[] (Param p) const noexcept { return values[static_cast<size_t> (p)]; }
    bool on (Param p) const noexcept { return (*this)[p] > 0.5f; }
    int index (Param p) const noexcept { return static_cast<int> ((*this)[p]); }
    float proportion (Param p) const noexcept { return juce::jlimit (0.0f, 1.0f, (*this)[p]); }
};

/** Block flags that decide which steps run. */
struct BlockFlags
{
    bool isLive = false;
    bool rawMode = false;
    bool voiceMode = false;
    bool linearPhaseActive = false;
    bool stageLive = false; // "Live Performance" with venue "Stage"
    bool notchesOn = false; // "antifeedback" in "Live Performance"
    bool dynamicsActive = false;
    bool saturationActive = false;
    bool reverbActive = false;
    bool widthActive = false;
    bool beastActive = false; // the Beast drive runs ("Live Performance", a Beast mode, saturation on)
};

/** Shaped macro values and derived controls that every stage reads. */
struct BlockControls
{
    float gateAmt = 0.0f;
    float smackAmt = 0.0f;
    bool punchOn = false;
    float attack = 0.0f;
    float sustain = 1.0f;
    float punchCurve = 0.0f;
    float punchDrive = 0.0f;
    float beastAmt = 0.0f;
    float subAmt = 0.0f;
    float detailAmt = 0.0f;
    float loudAmt = 0.0f;
    float widthAmt = 0.0f;
    float airAmt = 0.0f;
    float airShelfHz = 7950.0f;
    float smartAmt = 0.0f;
    float smartEff = 0.0f;
    float liveAmt = 0.0f;
    float flavourAmt = 0.0f;
    float flavourRaw = 0.0f;
    float adaptCurve = 0.0f;
    HitResult hit;
    float revDecayScale = 1.0f;
    float revDampingScale = 1.0f;
    float revLowCutScale = 1.0f;
    float liveWidthShaped = 0.0f;
    float flavourWidthShaped = 0.0f;
};

/** The space stage's ducking measurement of the signal entering it, which the auto-gain also reads. */
struct DuckingLevels
{
    float duckLevel = 0.0f;    // how far the reverbs duck under the dry signal
    double outputEnergy = 0.0; // Σ 0.5·(L² + R²), the auto-gain's measure of the chain's output
};

/** The morph offsets that a detected hit pulls five macros by, in this order. */
struct MorphOffsets
{
    float sub = 0.0f, detail = 0.0f, smack = 0.0f, air = 0.0f, loud = 0.0f;
};

/** The click-free module fades (0..1), as they stand for the current block. */
struct ModuleFades
{
    float dynamics = 1.0f;
    float saturation = 1.0f;
    float reverb = 1.0f;
    float width = 1.0f;
};

/** What is fixed for a block once its controls are mapped: every step reads it and none changes it.
    What one step measures for a later one is passed on by name in processBlock instead. */
struct ChainBlock
{
    ParameterSnapshot params;
    BlockFlags flags;
    ModuleFades fades;
    BlockControls controls;
    int numSamples = 0;
    double sampleRate = 44100.0;
};

// Macro curves, shared by the mapping and by the transient shaper's attack scale.
namespace macro
{
/** log10(1 + 9·clamp(v, 0, 1)): 0 at v ≤ 0, 1 at v ≥ 1. */
float logCurve (float v) noexcept;
/** The common knob curve without its on switch: clamp(1.16 × logCurve(v)^0.82, 0, 1). */
float knob (float v) noexcept;
/** The knob curve with its on switch: 0 when the switch is off. */
float knob (float v, bool on) noexcept;
} // namespace macro
