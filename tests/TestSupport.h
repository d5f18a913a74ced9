#pragma once

#include "chain/MacroMapping.h"
#include "engines/AdaptiveHitEngine.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>

/** Reaches the processor's chain state for tests. */
struct QuorinProcessorProbe
{
    static int reportedLatency (const QuorinProcessor& p) { return p.reportedLatency; }
    static const juce::AudioBuffer<float>& dryBuffer (const QuorinProcessor& p) { return p.drySnapshot.samples(); }
    static const MorphOffsets& morphOffsets (const QuorinProcessor& p) { return p.morphOffsets; }
    static float cuppedAmount (const QuorinProcessor& p) { return p.cuppedAmount; }
    static float antiPopCutoff (const QuorinProcessor& p) { return p.antiPopFilter.getCutoffFrequency(); }
    static QuorinProcessor::AnalogEqEngine& analogEq (QuorinProcessor& p) { return *p.analogEq; }
    static QuorinProcessor::LinearPhaseEqEngine& linearPhaseEq (QuorinProcessor& p) { return *p.linearPhaseEq; }

    static void runInputStage (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runInputStage (b, block);
    }
    static void updateCuppedAmount (QuorinProcessor& p, const ChainBlock& block) { p.updateCuppedAmount (block); }

    /** The tone stage as the frame runs it: design, EQ pass, and the linear-phase pass when active. */
    static double runToneStage (QuorinProcessor& p, juce::AudioBuffer<float>& b, ChainBlock& block)
    {
        p.designEq (block);
        const auto inputEnergy = p.runEqPass (b, block);
        if (block.flags.linearPhaseActive)
            p.runLinearPhaseEq (b, block);
        else
            p.linearPhaseRingPrimed = false;
        return inputEnergy;
    }

    // Width, space and output steps, driven one at a time.
    static void runWidthStage (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runWidthStage (b, block); }
    static DuckingLevels measureDuckingLevel (const QuorinProcessor& p, const juce::AudioBuffer<float>& b, const ChainBlock& block) { return p.measureDuckingLevel (b, block); }
    static void runSpaceStage (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block, float duckLevel) { p.runSpaceStage (b, block, duckLevel); }
    static void runAutoGain (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block, double inputEnergy, double outputEnergy) { p.runAutoGain (b, block, inputEnergy, outputEnergy); }
    static void runMeteringAndAssist (QuorinProcessor& p, const juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runMeteringAndAssist (b, block); }
    static void applyOutputGains (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block) { p.applyOutputGains (b, block); }
    static void runListeningSimulator (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runListeningSimulator (b, block); }
    static void runCeiling (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runCeiling (b, block); }
    static void runOutputMeters (QuorinProcessor& p, const juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runOutputMeters (b, block); }
    static void runTruePeakGuard (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block) { p.runTruePeakGuard (b, block); }
    /** Puts the assist's own loudness reading and its short-term level where a test wants them. */
    static void setAssistReadings (QuorinProcessor& p, float lufs, float blockLufs)
    {
        p.assistLoudnessLufs.store (lufs);
        p.assistBlockLoudness.reset (blockLufs);
    }
    static float assistLoudnessLufs (const QuorinProcessor& p) { return p.assistLoudnessLufs.load(); }
    static float autoGain (const QuorinProcessor& p) { return p.autoGain; }
    static float loudnessAssistDb (const QuorinProcessor& p) { return p.loudnessAssistDb; }

    // Colour and dynamics stages, driven directly with a block record.
    static void runSaturationStage (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runSaturationStage (b, block);
    }
    static void runTransientShaper (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runTransientShaper (b, block);
    }
    static void runMultibandDynamics (QuorinProcessor& p, juce::AudioBuffer<float>& b, ChainBlock& block)
    {
        p.runMultibandDynamics (b, block);
    }
    static void runGlueCompressor (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block, bool multibandRan)
    {
        p.designGlueCompressor (block);
        p.runGlueCompressor (b, block, multibandRan);
    }
    static void runAirExciter (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runAirExciter (b, block);
    }
    static void applyBodyMakeup (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.applyBodyMakeup (b, block);
    }
    static void runSubHarmonics (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runSubHarmonics (b, block);
    }
    static void runKickSub (QuorinProcessor& p, juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        p.runKickSub (b, block);
    }
    static float& kickSubEnvelope (QuorinProcessor& p) { return p.kickSubEnv; }
    static void setDynamicsFade (QuorinProcessor& p, float fade) { p.moduleFades.dynamics = fade; }
    static void setSaturationFade (QuorinProcessor& p, float fade) { p.moduleFades.saturation = fade; }

    // Adaptive hit engine: the processor's instance, and its per-block steps driven one at a time.
    using HitEngine = QuorinProcessor::AdaptiveHitEngine;
    /** The features of a whole buffer measured as one frame, from the engine's running state. */
    static HitEngine::Features measure (HitEngine& e, const juce::AudioBuffer<float>& b)
    {
        const bool stereo = b.getNumChannels() > 1;
        for (int i = 0; i < b.getNumSamples(); ++i)
            e.accumulate (stereo ? b.getSample (0, i) * 0.5f + b.getSample (1, i) * 0.5f : b.getSample (0, i));
        e.frameFill = b.getNumSamples();
        return e.takeFrame().features;
    }
    static HitResult decide (HitEngine& e, const HitEngine::Features& f, bool gateOpen, int n)
    {
        return e.decide (f, gateOpen, n);
    }
    static int frameLength (const HitEngine& e) { return e.frameLength; }

    // Input captures and user profiles.
    static ChainBlock blockFor (const QuorinProcessor& p, int numSamples) { return p.restingBlock (numSamples); }
};

namespace test
{
constexpr double pi = 3.141592653589793;

inline juce::AudioChannelSet channels (int n)
{
    return n == 1 ? juce::AudioChannelSet::mono()
                  : (n == 0 ? juce::AudioChannelSet::disabled() : juce::AudioChannelSet::stereo());
}

/** A processor with the given bus widths, prepared for the rate and block size. */
inline std::unique_ptr<QuorinProcessor> makeProcessor (double sampleRate = 48000.0, int blockSize = 512,
                                                      int inputs = 2, int outputs = 2)
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
            b.setSample (ch, i, amplitude * static_cast<float> (std::sin (2.0 * pi * frequency * i / sampleRate + phase)));
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
