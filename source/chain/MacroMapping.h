#pragma once

#include "chain/BlockControls.h"

/** Turns the macro knobs, their switches, the response profile and the chain mode into the block's
    controls, with the morph offsets already moved for this block. The hit result is stored as given. */
BlockControls shapeMacroControls (const ParameterSnapshot& params, bool isLive, const HitResult& hit,
                                  const MorphOffsets& offsets) noexcept;

/** Moves the five offsets one block toward the detected hit's targets (when morphing), or lets them
    decay toward 0. */
MorphOffsets advanceMorphOffsets (const MorphOffsets& offsets, bool morphing, const HitResult& hit,
                                  float adaptCurve) noexcept;
