#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <cmath>

/** The framework compressor (peak ballistics, then its gain law) for two channels, with its
    parameters turned into coefficients by the same formulas and its per-sample arithmetic written
    inline, so that it gives the same samples bit for bit: in per-sample loops the framework's two
    out-of-line calls per sample cost more than the arithmetic. */
class InlineCompressor
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        expFactor = -2.0 * juce::MathConstants<double>::pi * 1000.0 / spec.sampleRate;
        setAttack (attackMs);
        setRelease (releaseMs);
        reset();
    }

    void reset() noexcept { envelope = {}; }

    void setThreshold (float decibels) noexcept
    {
        threshold = juce::Decibels::decibelsToGain (decibels, -200.0f);
        thresholdInverse = 1.0f / threshold;
    }
    void setRatio (float ratio) noexcept { ratioInverse = 1.0f / ratio; }
    void setAttack (float ms) noexcept { attackCoefficient = ballisticsCoefficient (attackMs = ms); }
    void setRelease (float ms) noexcept { releaseCoefficient = ballisticsCoefficient (releaseMs = ms); }

    float processSample (int channel, float x) noexcept
    {
        auto& previous = envelope[static_cast<size_t> (channel)];
        const float level = std::abs (x);
        const float coefficient = level > previous ? attackCoefficient : releaseCoefficient;
        const float env = level + coefficient * (previous - level);
        previous = env;
        const float gain = env < threshold ? 1.0f : std::pow (env * thresholdInverse, ratioInverse - 1.0f);
        return gain * x;
    }

private:
    float ballisticsCoefficient (float ms) const noexcept
    {
        return ms < 1.0e-3f ? 0.0f : static_cast<float> (std::exp (expFactor / ms));
    }

    double expFactor = -2.0 * juce::MathConstants<double>::pi * 1000.0 / 44100.0;
    float attackMs = 1.0f, releaseMs = 100.0f;
    float threshold = 1.0f, thresholdInverse = 1.0f, ratioInverse = 1.0f;
    float attackCoefficient = 0.0f, releaseCoefficient = 0.0f;
    std::array<float, 2> envelope {};
};
