#pragma once

#include "engines/FloatLanes.h"

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

    struct LaneSections;

    /** Both channels side by side in vector lanes (lane c is channel c): the states and
        coefficients copied out for a loop over samples, so that they stay in registers. Several
        filters can run in one loop, so that their chains overlap; hand the states back with
        finishLanes. */
    LaneSections startLanes() const noexcept;
    void finishLanes (const LaneSections& lanes) noexcept;

    /** Two filters' sections in one vector: `a`'s two channels in lanes 0–1, `b`'s in lanes 2–3,
        each lane with its own filter's coefficients. Lanes 2–3 hand back only the first section's
        states, all that an all-pass uses. */
    static LaneSections startPairedLanes (const InlineLinkwitzRiley& a, const InlineLinkwitzRiley& b) noexcept;
    static void finishPairedLanes (const LaneSections& lanes, InlineLinkwitzRiley& a, InlineLinkwitzRiley& b) noexcept;

private:
    friend class InlineTptSettings; // calls update
    void update() noexcept
    {
        g = prewarpedGain();
        R2 = static_cast<float> (std::sqrt (2.0));
        h = static_cast<float> (1.0 / (1.0 + R2 * g + g * g));
    }

    /** One of the two state-variable sections, on its two states, for a float or for lanes. */
    template <typename T>
    static void section (T x, T& sa, T& sb, T& yH, T& yB, T& yL, T gain, T twiceDamping, T norm) noexcept
    {
        yH = (x - (twiceDamping + gain) * sa - sb) * norm;
        yB = gain * yH + sa;
        sa = gain * yH + yB;
        yL = gain * yB + sb;
        sb = gain * yB + yL;
    }

    void section (float x, float& sa, float& sb, float& yH, float& yB, float& yL) const noexcept
    {
        section (x, sa, sb, yH, yB, yL, g, R2, h);
    }

    float g = 0.0f, R2 = 0.0f, h = 0.0f;
    std::array<float, 2> s1 {}, s2 {}, s3 {}, s4 {};
};

struct InlineLinkwitzRiley::LaneSections
{
    using T = FloatLanes;
    std::array<T, 4> state;
    T gain, twiceDamping, norm;

    void crossover (T x, T& low, T& high) noexcept
    {
        T yH {}, yB {}, yL {}, yH2 {}, yB2 {}, yL2 {};
        section (x, state[0], state[1], yH, yB, yL, gain, twiceDamping, norm);
        section (yL, state[2], state[3], yH2, yB2, yL2, gain, twiceDamping, norm);
        low = yL2;
        high = yL - twiceDamping * yB + yH - yL2;
    }

    T allPass (T x) noexcept
    {
        T yH {}, yB {}, yL {};
        section (x, state[0], state[1], yH, yB, yL, gain, twiceDamping, norm);
        return yL - twiceDamping * yB + yH;
    }

    /** Paired lanes: the crossover on lanes 0–1 and the all-pass on lanes 2–3 in one pass, since the
        all-pass is what the crossover's first section gives anyway. `low` holds the crossover's low
        output in lanes 0–1; `highAndAllPassed` its high output in lanes 0–1, the all-pass in 2–3. */
    void crossoverAndAllPass (T x, T& low, T& highAndAllPassed) noexcept
    {
        T yH {}, yB {}, yL {}, yH2 {}, yB2 {}, yL2 {};
        section (x, state[0], state[1], yH, yB, yL, gain, twiceDamping, norm);
        const T allPassed = yL - twiceDamping * yB + yH;
        section (yL, state[2], state[3], yH2, yB2, yL2, gain, twiceDamping, norm);
        low = yL2;
        highAndAllPassed = LaneMask { -1, -1, 0, 0 } ? allPassed - yL2 : allPassed;
    }
};

inline InlineLinkwitzRiley::LaneSections InlineLinkwitzRiley::startLanes() const noexcept
{
    const auto lanes = [] (const std::array<float, 2>& s) { return FloatLanes { s[0], s[1], 0.0f, 0.0f }; };
    const auto broadcast = [] (float v) { return FloatLanes { v, v, v, v }; };
    return { { lanes (s1), lanes (s2), lanes (s3), lanes (s4) }, broadcast (g), broadcast (R2), broadcast (h) };
}

inline void InlineLinkwitzRiley::finishLanes (const LaneSections& s) noexcept
{
    for (auto [states, lanes] : { std::pair (&s1, s.state[0]), std::pair (&s2, s.state[1]), std::pair (&s3, s.state[2]),
                                  std::pair (&s4, s.state[3]) })
        *states = { lanes[0], lanes[1] };
}

inline InlineLinkwitzRiley::LaneSections InlineLinkwitzRiley::startPairedLanes (const InlineLinkwitzRiley& a,
                                                                                const InlineLinkwitzRiley& b) noexcept
{
    const auto lanes = [] (const std::array<float, 2>& x, const std::array<float, 2>& y) {
        return FloatLanes { x[0], x[1], y[0], y[1] };
    };
    const auto pair = [] (float x, float y) { return FloatLanes { x, x, y, y }; };
    return { { lanes (a.s1, b.s1), lanes (a.s2, b.s2), lanes (a.s3, {}), lanes (a.s4, {}) },
             pair (a.g, b.g),
             pair (a.R2, b.R2),
             pair (a.h, b.h) };
}

inline void InlineLinkwitzRiley::finishPairedLanes (const LaneSections& lanes, InlineLinkwitzRiley& a,
                                                    InlineLinkwitzRiley& b) noexcept
{
    a.finishLanes (lanes);
    b.s1 = { lanes.state[0][2], lanes.state[0][3] };
    b.s2 = { lanes.state[1][2], lanes.state[1][3] };
}

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

    /** The low-passes of a left and a right filter side by side in vector lanes (lane c is
        channel c), each on its channel-0 state, copied out for a loop over samples so that the
        states stay in registers; hand them back with finishLanes. */
    struct LowPassLanes
    {
        FloatLanes G, state;

        FloatLanes process (FloatLanes x) noexcept
        {
            const FloatLanes v = G * (x - state);
            const FloatLanes y = v + state;
            state = y + v;
            return y;
        }
    };

    static LowPassLanes startLowPassLanes (const std::array<InlineFirstOrderTpt, 2>& pair) noexcept
    {
        jassert (pair[0].type == Type::lowpass && pair[1].type == Type::lowpass);
        return { FloatLanes { pair[0].G, pair[1].G, 0.0f, 0.0f },
                 FloatLanes { pair[0].state[0], pair[1].state[0], 0.0f, 0.0f } };
    }

    static void finishLanes (const LowPassLanes& lanes, std::array<InlineFirstOrderTpt, 2>& pair) noexcept
    {
        pair[0].state[0] = lanes.state[0];
        pair[1].state[0] = lanes.state[1];
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
