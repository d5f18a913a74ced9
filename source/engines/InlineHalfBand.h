#pragma once

#include "engines/FloatLanes.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The left and right channels of a half-band stage's direct path, then of its delayed path. */
using HalfBandLanes = FloatLanes;

/** One of the framework's polyphase half-band stages (its all-pass cascade design), run for both
    channels and both paths at once. Each lane does the framework's arithmetic in the framework's
    order, so the samples are the same bit for bit; the framework runs each channel and path as its
    own loop over states kept in memory, which costs several times more. Direct and Delayed are the
    numbers of first-order sections the design gives each path for the settings used. */
template <int Direct, int Delayed>
class InlineHalfBand
{
    static_assert (Delayed == Direct || Delayed == Direct - 1, "the design alternates its sections");

public:
    /** The cascade with its states, copied into a loop's locals so that the states stay in
        registers; hand it back with finish. */
    struct Cascade
    {
        std::array<HalfBandLanes, Direct> alpha {}, state {};

        HalfBandLanes operator() (HalfBandLanes x) noexcept
        {
            for (int k = 0; k < Direct; ++k)
            {
                HalfBandLanes y = alpha[k] * x + state[k];
                state[k] = x - alpha[k] * y;
                if (k >= Delayed) // the delayed path has one section fewer: its lanes pass
                {
                    y[2] = x[2];
                    y[3] = x[3];
                }
                x = y;
            }
            return x;
        }
    };

    /** The framework's design for this transition width and stop-band level (allocates). */
    void design (float transitionWidth, float stopbandDb)
    {
        const auto structure = juce::dsp::FilterDesign<float>::designIIRLowpassHalfBandPolyphaseAllpassMethod (
            transitionWidth, stopbandDb);
        // The delayed path's first entry is its pure one-sample delay, which the stage itself provides.
        jassert (structure.directPath.size() == Direct && structure.delayedPath.size() == Delayed + 1);
        for (int k = 0; k < Direct; ++k)
        {
            const float direct = structure.directPath.getObjectPointer (k)->coefficients[0];
            const float delayed = k < Delayed ? structure.delayedPath.getObjectPointer (k + 1)->coefficients[0] : 0.0f;
            cascade.alpha[static_cast<size_t> (k)] = HalfBandLanes { direct, direct, delayed, delayed };
        }
        reset();
    }

    void reset() noexcept { cascade.state = {}; }

    Cascade start() const noexcept { return cascade; }

    /** Takes the states back after a pass and snaps tiny ones to zero, as the framework does after
        each pass. */
    void finish (const Cascade& ran) noexcept
    {
        cascade.state = ran.state;
        for (auto& lanes : cascade.state)
            for (int lane = 0; lane < 4; ++lane)
            {
                float value = lanes[lane];
                juce::dsp::util::snapToZero (value);
                lanes[lane] = value;
            }
    }

private:
    Cascade cascade;
};
