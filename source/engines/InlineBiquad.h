#pragma once

#include <juce_dsp/juce_dsp.h>

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

private:
    float s1 = 0.0f, s2 = 0.0f;
};
