#pragma once

#include "chain/BlockControls.h"
#include "chain/DrySnapshot.h"
#include "chain/OversampledPath.h"
#include "engines/InlineBiquad.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The saturation stage: the low band's soft saturation and, in "Live Performance" with a Beast
    mode, the oversampled Beast drive, blended with the stage's input by satpct and the module fade. */
class SaturationStage
{
public:
    SaturationStage() = default;

    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release();

    /** May grow the dry copy when a host exceeds the prepared block size. */
    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

private:
    void runBeastDrive (juce::AudioBuffer<float>& buffer, float drive) noexcept;
    void matchBeastDryPhase (juce::dsp::AudioBlock<float> dryBlock, float amount) noexcept;

    std::array<InlineBiquad, 2> saturationBandFilters;
    OversampledPath beastPath;
    // The same round trip without the drive, so that the dry blends in phase with the driven signal.
    OversampledPath beastDryPath;
    juce::AudioBuffer<float> beastDryScratch; // one chunk of the dry as it was before the round trip
    DrySnapshot dry;

    JUCE_DECLARE_NON_COPYABLE (SaturationStage)
};
