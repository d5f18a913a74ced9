#pragma once

#include "chain/BlockControls.h"
#include "chain/DrySnapshot.h"
#include "engines/InlineCompressor.h"

#include <juce_dsp/juce_dsp.h>

class MultibandDynamics;

/** The dynamics stage: the multiband dynamics (the processor's engine, passed in) and the glue
    compressor, each blended with its own input by dynpct and the module fade. */
class DynamicsStage
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release();

    /** Sets the glue compressor for the block. */
    void design (const ChainBlock& block) noexcept;

    // Both may grow the dry copy when a host exceeds the prepared block size.
    void runMultiband (juce::AudioBuffer<float>& buffer, const ChainBlock& block, MultibandDynamics& multiband);
    /** `multibandRan`: the multiband ran this block, so the glue only finishes its work. */
    void runGlue (juce::AudioBuffer<float>& buffer, const ChainBlock& block, bool multibandRan);

private:
    InlineCompressor glueCompressor;
    DrySnapshot dry;
};
