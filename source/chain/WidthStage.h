#pragma once

#include "chain/BlockControls.h"
#include "engines/InlineTptFilters.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The width stage: the side above 540 Hz widened, with decorrelating all-passes, a correlation
    guard in "Mix / Master", and a dry share that is the crossover's own band sum. */
class WidthStage
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    /** Where the module fade starts from at the next block (the fade's value at preparation). */
    void restartFadeAt (float fade) noexcept { widthFadeApplied = fade; }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

private:
    std::array<InlineLinkwitzRiley, 2> widthCrossover; // left, right at 540 Hz
    std::array<InlineFirstOrderTpt, 2> widthAllpass;   // 2920 Hz, 6550 Hz
    float sideLowPass = 0.0f;
    float sideLowPassCoef = 0.0f;
    float widthGuardGain = 1.0f;   // the correlation guard's factor, as the last block left it
    float widthFadeApplied = 1.0f; // the module fade, as the last block left it
};
