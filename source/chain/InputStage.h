#pragma once

#include "chain/BlockControls.h"
#include "chain/DrySnapshot.h"
#include "engines/InlineCompressor.h"
#include "engines/InlineTptFilters.h"

#include <juce_dsp/juce_dsp.h>

/** The input stage: the anti-pop high-pass (blended with its input in "Live Performance"), the input
    gate and the input gain; and the cupped-mic amount, which follows its switch every block. */
class InputStage
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release();

    /** May grow the dry copy when a host exceeds the prepared block size. */
    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    /** Moves the smoothed cupped-mic correction one block toward its switch; returns it (0..1). */
    float followCuppedMic (const ChainBlock& block) noexcept;

    float antiPopCutoffHz() const noexcept { return antiPopFilter.getCutoffFrequency(); }

private:
    InlineStateVariableTpt antiPopFilter;
    InlineNoiseGate inputGate;
    DrySnapshot dry;
    float cuppedAmount = 0.0f;
};
