#pragma once

#include "chain/BlockControls.h"

#include <array>

/** What the tone stage passes to the analog EQ engine's live tone curve for one block. */
struct LiveToneCurve
{
    float hpfHz = 0.0f;
    float lowGainDb = 0.0f;    // 96 Hz bell
    float lowMidGainDb = 0.0f; // 400 Hz bell
    float presenceHz = 0.0f;
    float presenceGainDb = 0.0f;
    float airHz = 0.0f;
    float airGainDb = 0.0f;
};

/** What the tone stage passes to the feedback notches for one block. */
struct FeedbackNotches
{
    std::array<float, 3> frequenciesHz {}; // 0 for "Off"
    float q = 0.0f;
    float gainDb = 0.0f;
    bool enabled = false;
};

/** The live tone curve from the microphone, the chain mode, voice mode, pop filter, venue and macros. */
LiveToneCurve liveToneCurveFor (const ParameterSnapshot& params, const BlockFlags& flags,
                                const BlockControls& controls) noexcept;

FeedbackNotches feedbackNotchesFor (const ParameterSnapshot& params, const BlockFlags& flags) noexcept;

/** The centre frequency of a "fbfreq" choice, 0 for "Off"; the index is clamped to the list. */
float feedbackFrequencyHz (int choiceIndex) noexcept;
