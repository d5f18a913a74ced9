#pragma once

#include "chain/BlockControls.h"
#include "engines/AnalogEqEngine.h"
#include "engines/ToneCurve.h"

/** The live tone curve from the microphone, the chain mode, voice mode, pop filter, venue and macros. */
ToneCurve liveToneCurveFor (const ParameterSnapshot& params, const BlockFlags& flags,
                            const BlockControls& controls) noexcept;

AnalogEqEngine::FeedbackNotches feedbackNotchesFor (const ParameterSnapshot& params, const BlockFlags& flags) noexcept;

/** The centre frequency of a "fbfreq" choice, 0 for "Off"; the index is clamped to the list. */
float feedbackFrequencyHz (int choiceIndex) noexcept;
