#pragma once

#include "engines/FloatLanes.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** A second-order section on the framework's coefficient sets, with the arithmetic of the
    framework filter's processSample written inline, so that it gives the same samples bit for bit:
    in per-sample loops that filter's out-of-line call and order check cost more than the section.
    Its coefficients must stay second order (a passthrough until designed); they may be shared
    between channels and redesigned in place. */
class InlineBiquad
{
public:
    juce::dsp::IIR::Coefficients<float>::Ptr coefficients { new juce::dsp::IIR::Coefficients<float> (
        1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f) };

    void reset() noexcept { s1 = s2 = 0.0f; }

    float processSample (float x) noexcept
    {
        const float* c = coefficients->getRawCoefficients(); // b0, b1, b2, a1, a2
        const float y = c[0] * x + s1;
        s1 = c[1] * x - c[3] * y + s2;
        s2 = c[2] * x - c[4] * y;
        return y;
    }

    /** A left and a right section side by side in vector lanes (lane c is channel c), each with
        its own coefficients and states, copied out for a loop over samples so that the states stay
        in registers; hand them back with finishLanes. */
    struct Lanes
    {
        FloatLanes b0, b1, b2, a1, a2, s1, s2;

        FloatLanes process (FloatLanes x) noexcept
        {
            const FloatLanes y = b0 * x + s1;
            s1 = b1 * x - a1 * y + s2;
            s2 = b2 * x - a2 * y;
            return y;
        }
    };

    static Lanes startLanes (const std::array<InlineBiquad, 2>& pair) noexcept
    {
        const float* l = pair[0].coefficients->getRawCoefficients();
        const float* r = pair[1].coefficients->getRawCoefficients();
        const auto lanes = [] (float left, float right) { return FloatLanes { left, right, 0.0f, 0.0f }; };
        return { lanes (l[0], r[0]),
                 lanes (l[1], r[1]),
                 lanes (l[2], r[2]),
                 lanes (l[3], r[3]),
                 lanes (l[4], r[4]),
                 lanes (pair[0].s1, pair[1].s1),
                 lanes (pair[0].s2, pair[1].s2) };
    }

    static void finishLanes (const Lanes& lanes, std::array<InlineBiquad, 2>& pair) noexcept
    {
        for (size_t c = 0; c < 2; ++c)
        {
            pair[c].s1 = lanes.s1[c];
            pair[c].s2 = lanes.s2[c];
        }
    }

private:
    float s1 = 0.0f, s2 = 0.0f;
};
