#pragma once

#include "chain/BlockControls.h"
#include "engines/InlineBiquad.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The transient shaper: fast and slow envelopes of the low band lift attacks and trim settled
    tails, per channel, with a smoothed gain. */
class TransientShaper
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release() { reset(); }

    void process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;

private:
    std::array<InlineBiquad, 2> transientBandFilters;
    std::array<float, 2> transientFast {}, transientSlow {}, transientGainDb {};
    float transientBandHz = -1000.0f; // band of the current design; -1000 forces a redesign
};
