#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <cmath>

/** What the framework's topology-preserving filters share, for inline copies of them: the rate, the
    type, and the cutoff with its range check and its prewarped gain tan(π·fc/fs), from which each
    filter derives its coefficients with the framework's own formulas. The copies run up to two
    channels and give the framework's samples bit for bit; in per-sample loops the framework's
    out-of-line calls cost more than the filters. */
template <typename Filter, typename TypeEnum>
class InlineTptSettings
{
public:
    using Type = TypeEnum;

    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        jassert (spec.numChannels <= 2);
        sampleRate = spec.sampleRate;
        self().update();
        self().reset();
    }

    void setType (Type newType) noexcept { type = newType; }

    void setCutoffFrequency (float hz) noexcept
    {
        jassert (juce::isPositiveAndBelow (hz, static_cast<float> (sampleRate * 0.5)));
        cutoff = hz;
        self().update();
    }

    float getCutoffFrequency() const noexcept { return cutoff; }

protected:
    InlineTptSettings (Type initialType, float initialCutoff) noexcept : type (initialType), cutoff (initialCutoff) {}

    float prewarpedGain() const noexcept
    {
        return static_cast<float> (std::tan (juce::MathConstants<double>::pi * cutoff / sampleRate));
    }

    Type type;

private:
    Filter& self() noexcept { return static_cast<Filter&> (*this); }

    double sampleRate = 44100.0;
    float cutoff;
};

/** The framework's Linkwitz-Riley filter. */
class InlineLinkwitzRiley : public InlineTptSettings<InlineLinkwitzRiley, juce::dsp::LinkwitzRileyFilterType>
{
public:
    InlineLinkwitzRiley() noexcept : InlineTptSettings (Type::lowpass, 2000.0f) {}

    void reset() noexcept { s1 = s2 = s3 = s4 = {}; }

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
    friend class InlineTptSettings; // calls update
    void update() noexcept
    {
        g = prewarpedGain();
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

    float g = 0.0f, R2 = 0.0f, h = 0.0f;
    std::array<float, 2> s1 {}, s2 {}, s3 {}, s4 {};
};

/** The framework's first-order TPT filter. */
class InlineFirstOrderTpt : public InlineTptSettings<InlineFirstOrderTpt, juce::dsp::FirstOrderTPTFilterType>
{
public:
    InlineFirstOrderTpt() noexcept : InlineTptSettings (Type::lowpass, 1000.0f) {}

    void reset() noexcept { state = {}; }

    float processSample (int channel, float x) noexcept
    {
        auto& s = state[static_cast<size_t> (channel)];
        const float v = G * (x - s);
        const float y = v + s;
        s = y + v;
        switch (type)
        {
            case Type::highpass:
                return x - y;
            case Type::allpass:
                return 2 * y - x;
            case Type::lowpass:
            default:
                return y;
        }
    }

private:
    friend class InlineTptSettings; // calls update
    void update() noexcept
    {
        const auto g = prewarpedGain();
        G = g / (1 + g);
    }

    float G = 0.0f;
    std::array<float, 2> state {};
};

/** The framework's state-variable TPT filter, at its default resonance. */
class InlineStateVariableTpt : public InlineTptSettings<InlineStateVariableTpt, juce::dsp::StateVariableTPTFilterType>
{
public:
    InlineStateVariableTpt() noexcept : InlineTptSettings (Type::lowpass, 1000.0f) {}

    void reset() noexcept { s1 = s2 = {}; }

    /** Snaps tiny states to zero, as the framework's block processing does after each block. */
    void snapToZero() noexcept
    {
        for (auto* states : { &s1, &s2 })
            for (auto& state : *states)
                juce::dsp::util::snapToZero (state);
    }

    float processSample (int channel, float x) noexcept
    {
        auto& a = s1[static_cast<size_t> (channel)];
        auto& b = s2[static_cast<size_t> (channel)];
        const float yHP = h * (x - a * (g + R2) - b);
        const float yBP = yHP * g + a;
        a = yHP * g + yBP;
        const float yLP = yBP * g + b;
        b = yBP * g + yLP;
        switch (type)
        {
            case Type::bandpass:
                return yBP;
            case Type::highpass:
                return yHP;
            case Type::lowpass:
            default:
                return yLP;
        }
    }

private:
    friend class InlineTptSettings; // calls update
    void update() noexcept
    {
        // The framework keeps its default resonance 1/√2 as a float and inverts that.
        const auto resonance = static_cast<float> (1.0 / std::sqrt (2.0));
        g = prewarpedGain();
        R2 = static_cast<float> (1.0 / resonance);
        h = static_cast<float> (1.0 / (1.0 + R2 * g + g * g));
    }

    float g = 0.0f, R2 = 0.0f, h = 0.0f;
    std::array<float, 2> s1 {}, s2 {};
};
