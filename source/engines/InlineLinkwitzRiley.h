#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <cmath>

/** The framework's Linkwitz-Riley filter for up to two channels, with its coefficient formulas and
    per-sample arithmetic written inline, so that it gives the same samples bit for bit: in
    per-sample loops the framework's out-of-line call costs more than the filter. */
class InlineLinkwitzRiley
{
public:
    using Type = juce::dsp::LinkwitzRileyFilterType;

    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        jassert (spec.numChannels <= 2);
        sampleRate = spec.sampleRate;
        update();
        reset();
    }

    void reset() noexcept { s1 = s2 = s3 = s4 = {}; }
    void setType (Type newType) noexcept { type = newType; }

    void setCutoffFrequency (float hz) noexcept
    {
        jassert (juce::isPositiveAndBelow (hz, static_cast<float> (sampleRate * 0.5)));
        cutoff = hz;
        update();
    }

    /** The low-pass, high-pass or all-pass output, as set by setType. */
    float processSample (int channel, float x) noexcept
    {
        const auto c = static_cast<size_t> (channel);
        float yH = 0.0f, yB = 0.0f, yL = 0.0f;
        section (x, s1[c], s2[c], yH, yB, yL);
        if (type == Type::allpass)
            return yL - R2 * yB + yH;

        float yH2 = 0.0f, yB2 = 0.0f, yL2 = 0.0f;
        section (type == Type::lowpass ? yL : yH, s3[c], s4[c], yH2, yB2, yL2);
        return type == Type::lowpass ? yL2 : yH2;
    }

    /** Both outputs of the crossover at once. */
    void processSample (int channel, float x, float& low, float& high) noexcept
    {
        const auto c = static_cast<size_t> (channel);
        float yH = 0.0f, yB = 0.0f, yL = 0.0f;
        section (x, s1[c], s2[c], yH, yB, yL);
        float yH2 = 0.0f, yB2 = 0.0f, yL2 = 0.0f;
        section (yL, s3[c], s4[c], yH2, yB2, yL2);
        low = yL2;
        high = yL - R2 * yB + yH - yL2;
    }

private:
    void update() noexcept
    {
        g = static_cast<float> (std::tan (juce::MathConstants<double>::pi * cutoff / sampleRate));
        R2 = static_cast<float> (std::sqrt (2.0));
        h = static_cast<float> (1.0 / (1.0 + R2 * g + g * g));
    }

    /** One of the two state-variable sections, on its two states. */
    void section (float x, float& sa, float& sb, float& yH, float& yB, float& yL) const noexcept
    {
        yH = (x - (R2 + g) * sa - sb) * h;
        yB = g * yH + sa;
        sa = g * yH + yB;
        yL = g * yB + sb;
        sb = g * yB + yL;
    }

    double sampleRate = 44100.0;
    float cutoff = 2000.0f;
    Type type = Type::lowpass;
    float g = 0.0f, R2 = 0.0f, h = 0.0f;
    std::array<float, 2> s1 {}, s2 {}, s3 {}, s4 {};
};
