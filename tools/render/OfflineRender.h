#pragma once

#include "render/Measurement.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>

struct RenderOptions
{
    juce::File input, output;
    juce::String preset;        // a factory preset, applied first
    juce::File state;           // a saved state, applied next
    juce::StringArray settings; // "id=value", applied next, in order
    bool analyze = false;       // an ANALYZE capture over the input's first 5 s, applied last
    juce::File saveState;       // where to write the state the render used
    int blockSize = 512;
    double tailSeconds = 0.0;
    bool asFloat = false;
    int outputChannels = 2;
};

/** What an ANALYZE capture measured and the parameters it changed (real values before and after). */
struct AnalysisReport
{
    struct Change
    {
        juce::String id, fromText, toText;
        float from = 0.0f, to = 0.0f;
    };

    bool ran = false;
    float rmsDb = 0.0f, peakDb = 0.0f, lufsEstimate = 0.0f, ceilingDb = 0.0f, attack = 0.0f, sustain = 0.0f;
    std::vector<Change> changes;
};

/** Vantora's own meters: the loudness analyzer's integrated LUFS and the output stage's true peak. */
struct VantoraReading
{
    double lufs = -70.0;
    double truePeakDbtp = -100.0;
};

struct RenderResult
{
    juce::String error; // empty on success
    LoudnessReading input, output;
    VantoraReading vantora; // of the output, or of the measured file
    double realtimeFactor = 0.0;
    AnalysisReport analysis;
};

/** Renders a file through the processor in non-realtime mode at the file's own rate, with the output
    lined up sample for sample with the input (the reported latency is compensated). Stops early,
    leaving nothing behind, when cancel becomes true; the state file is written only after a render
    that succeeded. */
RenderResult renderFile (const RenderOptions& options, const std::function<void (double)>& progress,
                         const std::atomic<bool>& cancel);

/** Measures a file as it is, with the reference meter and with Vantora's own meters. */
RenderResult measureFile (const juce::File& file);
