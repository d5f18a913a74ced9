#pragma once

#include "chain/MacroMapping.h"
#include "engines/AdaptiveHitEngine.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>

namespace test
{
constexpr double pi = 3.141592653589793;

inline juce::AudioChannelSet channels (int n)
{
    return n == 1 ? juce::AudioChannelSet::mono()
                  : (n == 0 ? juce::AudioChannelSet::disabled() : juce::AudioChannelSet::stereo());
}

/** A processor with the given bus widths, prepared for the rate and block size. */
inline std::unique_ptr<QuorinProcessor> makeProcessor (double sampleRate = 48000.0, int blockSize = 512, int inputs = 2,
                                                       int outputs = 2)
{
    auto p = std::make_unique<QuorinProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (channels (inputs));
    layout.outputBuses.add (channels (outputs));
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->setNonRealtime (true); // as the render tool runs it: offline results are deterministic
    p->prepareToPlay (sampleRate, blockSize);
    return p;
}

/** Writes a real value through the host path, as automation would. */
inline void set (QuorinProcessor& p, Param param, float realValue)
{
    auto* parameter = p.parameters.getParameter (parameterId (param));
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (realValue));
}

inline float get (QuorinProcessor& p, Param param)
{
    return p.parameters.getRawParameterValue (parameterId (param))->load();
}

/** Runs `step` on consecutive views of at most blockSize samples of the signal, in place. */
template <typename Step>
void processInBlocks (juce::AudioBuffer<float>& signal, int blockSize, Step&& step)
{
    for (int start = 0; start < signal.getNumSamples(); start += blockSize)
    {
        const int n = juce::jmin (blockSize, signal.getNumSamples() - start);
        juce::AudioBuffer<float> view (signal.getArrayOfWritePointers(), signal.getNumChannels(), start, n);
        step (view);
    }
}

/** Runs a long signal through the processor in place, block by block. */
inline void process (QuorinProcessor& p, juce::AudioBuffer<float>& signal, int blockSize)
{
    juce::MidiBuffer midi;
    processInBlocks (signal, blockSize, [&] (juce::AudioBuffer<float>& view) { p.processBlock (view, midi); });
}

/** The complex amplitude of one whole-hertz frequency over one second of a channel, from `start`. */
inline std::complex<double> componentAt (const juce::AudioBuffer<float>& b, int channel, int start, int frequency,
                                         int sampleRate)
{
    std::complex<double> sum;
    const double w = 2.0 * pi * frequency / sampleRate;
    for (int i = 0; i < sampleRate; ++i)
        sum += static_cast<double> (b.getSample (channel, start + i)) * std::polar (1.0, -w * (start + i));
    return sum;
}

/** Uniform white noise in [-amplitude, amplitude], independent per channel, from a fixed seed. */
inline juce::AudioBuffer<float> whiteNoise (int numChannels, int numSamples, float amplitude, juce::int64 seed)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    juce::Random random (seed);
    for (int ch = 0; ch < numChannels; ++ch)
        for (int i = 0; i < numSamples; ++i)
            b.setSample (ch, i, (random.nextFloat() * 2.0f - 1.0f) * amplitude);
    return b;
}

inline juce::AudioBuffer<float> sine (int numChannels, int numSamples, double frequency, double sampleRate,
                                      float amplitude, double phase = 0.0)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    for (int ch = 0; ch < numChannels; ++ch)
        for (int i = 0; i < numSamples; ++i)
            b.setSample (ch, i,
                         amplitude * static_cast<float> (std::sin (2.0 * pi * frequency * i / sampleRate + phase)));
    return b;
}

inline double rms (const juce::AudioBuffer<float>& b, int channel, int start = 0, int count = -1)
{
    if (count < 0)
        count = b.getNumSamples() - start;
    double sum = 0.0;
    for (int i = start; i < start + count; ++i)
        sum += static_cast<double> (b.getSample (channel, i)) * b.getSample (channel, i);
    return std::sqrt (sum / juce::jmax (1, count));
}

inline double toDb (double gain) { return 20.0 * std::log10 (gain); }
} // namespace test
