#pragma once

#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <array>
#include <cmath>

/** The framework's ballistics filters' coefficient for a time in milliseconds, from the factor
    −2π·1000/fs: exp (factor / ms), or 0 (follow at once) below a microsecond. */
inline float ballisticsCoefficient (double expFactor, float ms) noexcept
{
    return ms < 1.0e-3f ? 0.0f : static_cast<float> (std::exp (expFactor / ms));
}

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
    void setAttack (float ms) noexcept { attackCoefficient = ballisticsCoefficient (expFactor, attackMs = ms); }
    void setRelease (float ms) noexcept { releaseCoefficient = ballisticsCoefficient (expFactor, releaseMs = ms); }

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
    double expFactor = -2.0 * juce::MathConstants<double>::pi * 1000.0 / 44100.0;
    float attackMs = 1.0f, releaseMs = 100.0f;
    float threshold = 1.0f, thresholdInverse = 1.0f, ratioInverse = 1.0f;
    float attackCoefficient = 0.0f, releaseCoefficient = 0.0f;
    std::array<float, 2> envelope {};
};

/** The framework limiter (a 4:1 compressor into a 1000:1 one, a make-up gain that glides over
    1 ms, a clip at ±1) built on the inline compressor, with the framework's settings and order, so
    that it gives the same samples bit for bit. */
class InlineLimiter
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        sampleRate = spec.sampleRate;
        first.prepare (spec);
        second.prepare (spec);
        update();
        reset();
    }

    void reset() noexcept
    {
        first.reset();
        second.reset();
        outputVolume.reset (sampleRate, 0.001);
    }

    void setThreshold (float decibels) noexcept
    {
        thresholdDb = decibels;
        update();
    }

    void setRelease (float ms) noexcept
    {
        releaseMs = ms;
        update();
    }

    /** The first two channels of the block, in place. */
    void process (juce::dsp::AudioBlock<float> block) noexcept
    {
        const auto numChannels = std::min (block.getNumChannels(), size_t (2));
        for (size_t i = 0; i < block.getNumSamples(); ++i)
            for (size_t ch = 0; ch < numChannels; ++ch) // the channels' chains overlap
            {
                auto& x = block.getChannelPointer (ch)[i];
                x = compressSample (static_cast<int> (ch), x);
            }
        applyMakeUpAndClip (block);
    }

    /** The two compressors for one sample; a block is done once its samples have all been through
        here, in order, and then through applyMakeUpAndClip. */
    float compressSample (int channel, float x) noexcept
    {
        return second.processSample (channel, first.processSample (channel, x));
    }

    void applyMakeUpAndClip (juce::dsp::AudioBlock<float> block) noexcept
    {
        const auto numChannels = std::min (block.getNumChannels(), size_t (2));
        block.multiplyBy (outputVolume);
        for (size_t ch = 0; ch < numChannels; ++ch)
            juce::FloatVectorOperations::clip (block.getChannelPointer (ch), block.getChannelPointer (ch), -1.0f, 1.0f,
                                               static_cast<int> (block.getNumSamples()));
    }

private:
    void update() noexcept
    {
        first.setThreshold (-10.0f);
        first.setRatio (4.0f);
        first.setAttack (2.0f);
        first.setRelease (200.0f);
        second.setThreshold (thresholdDb);
        second.setRatio (1000.0f);
        second.setAttack (0.001f);
        second.setRelease (releaseMs);

        const auto ratioInverse = static_cast<float> (1.0 / 4.0);
        auto gain = static_cast<float> (std::pow (10.0, 10.0 * (1.0 - ratioInverse) / 40.0));
        gain *= juce::Decibels::decibelsToGain (-thresholdDb, -100.0f);
        outputVolume.setTargetValue (gain);
    }

    double sampleRate = 44100.0;
    float thresholdDb = -10.0f, releaseMs = 100.0f;
    InlineCompressor first, second;
    juce::SmoothedValue<float, juce::ValueSmoothingTypes::Linear> outputVolume;
};

/** The framework noise gate (RMS ballistics with no attack and a 50 ms release, then peak ballistics,
    then its gain law below the threshold), with the framework's formulas and order, so that it gives
    the same samples bit for bit. */
class InlineNoiseGate
{
public:
    void prepare (const juce::dsp::ProcessSpec& spec) noexcept
    {
        expFactor = -2.0 * juce::MathConstants<double>::pi * 1000.0 / spec.sampleRate;
        update();
        reset();
    }

    void reset() noexcept { meanSquare = envelope = {}; }

    void setThreshold (float decibels) noexcept
    {
        thresholdDb = decibels;
        update();
    }
    void setRatio (float newRatio) noexcept { ratio = newRatio; }
    void setAttack (float ms) noexcept
    {
        attackMs = ms;
        update();
    }
    void setRelease (float ms) noexcept
    {
        releaseMs = ms;
        update();
    }

    float processSample (int channel, float x) noexcept
    {
        const auto c = static_cast<size_t> (channel);
        const float squared = x * x;
        meanSquare[c] = squared + (squared > meanSquare[c] ? 0.0f : rmsRelease) * (meanSquare[c] - squared);
        const float level = std::abs (std::sqrt (meanSquare[c]));
        envelope[c] = level + (level > envelope[c] ? attackCoefficient : releaseCoefficient) * (envelope[c] - level);
        const float gain = envelope[c] > threshold ? 1.0f : std::pow (envelope[c] * thresholdInverse, ratio - 1.0f);
        return gain * x;
    }

private:
    void update() noexcept
    {
        threshold = juce::Decibels::decibelsToGain (thresholdDb, -200.0f);
        thresholdInverse = 1.0f / threshold;
        attackCoefficient = ballisticsCoefficient (expFactor, attackMs);
        releaseCoefficient = ballisticsCoefficient (expFactor, releaseMs);
        rmsRelease = ballisticsCoefficient (expFactor, 50.0f);
    }

    double expFactor = -2.0 * juce::MathConstants<double>::pi * 1000.0 / 44100.0;
    float thresholdDb = -100.0f, ratio = 10.0f, attackMs = 1.0f, releaseMs = 100.0f;
    float threshold = 0.0f, thresholdInverse = 0.0f, attackCoefficient = 0.0f, releaseCoefficient = 0.0f;
    float rmsRelease = 0.0f;
    std::array<float, 2> meanSquare {}, envelope {};
};
