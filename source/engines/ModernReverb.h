#pragma once

#include <juce_dsp/juce_dsp.h>

#include "engines/FloatLanes.h"

#include <array>
#include <vector>

/** Algorithmic reverb: pre-delay, diffusers and an eight-line feedback delay network. The block's
    own signal, summed to mono, drives the network; the decoded stereo tail is added in place. */
class ModernReverb
{
public:
    /** The constants that make one bus sound different from the other. */
    struct Voicing
    {
        float maxDecaySeconds = 8.0f;
        float maxFeedback = 0.93f;
        float dampingScale = 1.0f;
        float decayScale = 1.0f;
        float feedbackTrim = 0.962f;
        float brightnessOffsetHz = 0.0f;
        float monoWeight = 0.7f;
        float sideWeight = 0.3f;
        float widthBoost = 0.0f;
    };

    static Voicing liveVoicing() noexcept { return {}; }
    static Voicing flavourVoicing() noexcept
    {
        return { 45.0f, 0.972f, 1.14f, 1.28f, 0.974f, 7000.0f, 0.58f, 0.42f, 0.15f };
    }

    /** Sizes every buffer for the rate, block size and size scale; the only place that allocates. */
    /** sizeScale stretches every delay line and diffuser (a larger or smaller room). */
    explicit ModernReverb (float roomScale = 1.0f) : sizeScale (roomScale) {}

    void prepare (const juce::dsp::ProcessSpec& spec);
    void setVoicing (const Voicing& newVoicing) noexcept { voicing = newVoicing; }
    /** Silences the tail and every filter; the smoothed controls keep their values except wet,
        width and the high cut. */
    void reset() noexcept;

    /** Sets the targets that the controls glide to while the next blocks run. */
    struct Params
    {
        float decaySeconds, preDelayMs, dampingHz, lowCutHz, highCutHz;
    };
    void setParameters (const Params& params) noexcept;

    /** Adds the reverb of the block's own signal to it. Channel 0 and, when present, channel 1. */
    void process (juce::dsp::AudioBlock<float>& block, float wet, float width) noexcept;

private:
    struct Smoothed
    {
        float current = 0.0f;
        float target = 0.0f;

        void load (float value) noexcept { current = target = value; }
        float glide (float k) noexcept { return current += (target - current) * k; }
    };

    /** Schroeder all-pass section. */
    struct Diffuser
    {
        std::vector<float> buffer;
        int position = 0;
        float gain = 0.5f;

        /** In place, over count samples. */
        void process (float* samples, int count) noexcept;
    };

    struct FdnLine
    {
        std::vector<float> buffer;
        int writePosition = 0;
        float dampingState = 0.0f;
    };

    /** The output filter chain after the decode, both channels side by side in lanes. */
    struct OutputFilters
    {
        FloatLanes lowCut {}, post {}, brightness {}, highCut {}, final {};
    };

    /** The controls as glided for one sample. */
    struct SampleControls
    {
        float preDelay, feedback, damping, lowCut, brightness, highCut, highCutEnabled, wet, width;
    };

    static constexpr int numLines = 8;

    float onePoleCoefficient (float cornerHz) const noexcept;
    /** The controls glided sample by sample, into chunkControls, for the chunk's samples. */
    void glideControls (int count) noexcept;
    /** The mono sum through the pre-delay and its smoothing, into chunkInput, for the chunk's samples. */
    void readPreDelay (const float* left, const float* right, int count) noexcept;
    void diffuseChunkInput (int count) noexcept;
    void processChunk (float* left, float* right, int count) noexcept;
    /** Each line's damped output for the chunk's samples, into lineOutputs. */
    void readLines (int count) noexcept;
    /** The mixed outputs plus the network input back into the lines, for the chunk's samples. */
    void writeLines (int count) noexcept;
    /** The lines' outputs summed to mono and to the two sides, into the decoded arrays. */
    void decodeLines (int count) noexcept;
    static FloatLanes filterOutput (OutputFilters& f, FloatLanes x, const SampleControls& c) noexcept;

    Voicing voicing;
    double sampleRate = 44100.0;
    float sizeScale = 1.0f;

    std::vector<float> preDelayRing;
    int preDelayWrite = 0;
    float preDelayState = 0.0f;

    std::array<Diffuser, 6> diffusers;
    std::array<FdnLine, numLines> lines;
    OutputFilters outputFilters;

    // The network runs a chunk at a time, never longer than its shortest line allows.
    static constexpr int maxChunk = 64;
    int chunkLength = maxChunk;
    std::array<SampleControls, maxChunk> chunkControls {};
    std::array<float, maxChunk> chunkInput {}, chunkFeedback {};
    std::array<std::array<float, maxChunk>, numLines> lineOutputs {}, mixedOutputs {};
    std::array<float, maxChunk> decodedSum {}, decodedSideLeft {}, decodedSideRight {};

    struct GlidingControls
    {
        Smoothed preDelaySamples, feedback, dampingCoeff, lowCutCoeff, brightnessCoeff, highCutCoeff, highCutEnabled;
        Smoothed wet, width;
    };
    GlidingControls gliding;
    bool highCutActive = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ModernReverb)
};
