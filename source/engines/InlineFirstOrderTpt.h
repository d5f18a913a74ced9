#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <cmath>

/** The framework's first-order TPT filter for up to two channels, with its coefficient formula and
    per-sample arithmetic written inline, so that it gives the same samples bit for bit: in
    per-sample loops the framework's out-of-line call costs more than the filter. */
class InlineFirstOrderTpt
{
public:
    using Type = juce::dsp::FirstOrderTPTFilterType;

    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        jassert (spec.numChannels <= 2);
        sampleRate = spec.sampleRate;
        update();
        reset();
    }

    void reset() noexcept { state = {}; }
    void setType (Type newType) noexcept { type = newType; }

    void setCutoffFrequency (float hz) noexcept
    {
        jassert (juce::isPositiveAndBelow (hz, static_cast<float> (sampleRate * 0.5)));
        cutoff = hz;
        update();
    }

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
    void update() noexcept
    {
        const auto g = static_cast<float> (std::tan (juce::MathConstants<double>::pi * cutoff / sampleRate));
        G = g / (1 + g);
    }

    double sampleRate = 44100.0;
    float cutoff = 1000.0f;
    Type type = Type::lowpass;
    float G = 0.0f;
    std::array<float, 2> state {};
};
