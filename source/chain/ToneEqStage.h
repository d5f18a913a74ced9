#pragma once

#include "chain/BlockControls.h"
#include "chain/DelayRing.h"
#include "chain/DrySnapshot.h"
#include "engines/InlineBiquad.h"
#include "engines/LinearPhaseEqEngine.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

class AnalogEqEngine;

/** What the EQ pass leaves for later steps. */
struct EqPassResult
{
    double inputEnergy = 0.0;     // Σ 0.5·(L² + R²) of its input: the auto-gain's reference
    float deEsserEnvelope = 0.0f; // as the block left it; the air exciter ducks under it
};

/** The tone and EQ stage: the design of the block's tone curve and notches, the EQ pass (analog EQ
    rows, de-esser, raw tone filters, minimum-phase user EQ) and the linear-phase pass with its
    delayed dry. The analog and linear-phase engines are the processor's, passed in. */
class ToneEqStage
{
public:
    ToneEqStage();

    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;
    void release();

    /** Designs the engine's tone curve and notches and the raw and user tone filters in place. */
    void design (const ChainBlock& block, AnalogEqEngine& analogEq) noexcept;

    EqPassResult runEqPass (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float cuppedAmount,
                            AnalogEqEngine& analogEq) noexcept;

    /** The FIR pass; `rebuildAtOnce` (offline) takes a changed kernel in this block instead of
        from the background designer. May grow the dry copy when a host exceeds the prepared size. */
    void runLinearPhase (juce::AudioBuffer<float>& buffer, const ChainBlock& block, LinearPhaseEqEngine& engine,
                         bool rebuildAtOnce);

    /** The linear-phase pass did not run this block: its delayed dry starts clean when it returns. */
    void linearPhaseStopped() noexcept { linearPhaseRingPrimed = false; }

    /** The kernel the linear-phase engine needs for a block. */
    static LinearPhaseEqEngine::Design linearPhaseDesignFor (const ChainBlock& block) noexcept;

private:
    // Raw high-pass, raw presence, raw air shelf, user low shelf, user mid bell, user high shelf; each
    // left then right, the two channels sharing one coefficient set that is redesigned in place.
    std::array<InlineBiquad, 12> toneFilters;
    float deEsserEnvelope = 0.0f;
    DrySnapshot dry;
    DelayRing linearPhaseDryRing; // the EQ pass output, delayed to line up with the linear-phase FIR
    bool linearPhaseRingPrimed = false;

    JUCE_DECLARE_NON_COPYABLE (ToneEqStage)
};
