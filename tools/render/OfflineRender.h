#pragma once

#include "render/Measurement.h"
#include "render/PlatformTargets.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>

struct RenderOptions
{
    juce::File input, output;
    juce::String preset;             // a factory preset, applied first
    juce::File state;                // a saved state, applied next
    juce::StringArray settings;      // "id=value", applied next, in order
    bool analyze = false;            // an ANALYZE capture over the input's first 5 s, applied next
    juce::StringArray finalSettings; // "id=value" that the loudness target sets, applied last
    juce::File saveState;            // where to write the state the render used
    int blockSize = 512;
    double tailSeconds = 0.0;
    bool asFloat = false;
    int outputChannels = 2;
};

/** A parameter that a step of the render changed (real values before and after). */
struct ParameterChange
{
    juce::String id, fromText, toText;
    float from = 0.0f, to = 0.0f;
};

/** What an ANALYZE capture measured and the parameters it changed. */
struct AnalysisReport
{
    bool ran = false;
    float rmsDb = 0.0f, peakDb = 0.0f, lufsEstimate = 0.0f, ceilingDb = 0.0f, attack = 0.0f, sustain = 0.0f;
    std::vector<ParameterChange> changes;
};

/** How a render to a loudness target went. */
struct TargetReport
{
    bool ran = false;
    LoudnessTarget target;
    int passes = 0;
    double outputGainDb = 0.0;
    double limitingDb = 0.0;              // loudness the ceiling took off in the kept pass
    std::vector<ParameterChange> changes; // what the tool set over the configured chain
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
    VantoraReading vantora;      // of the output, or of the measured file
    double realtimeFactor = 0.0; // the input's duration over the time all passes took
    AnalysisReport analysis;
    TargetReport target;
    bool unreachable = false; // the error says why the target cannot be reached
};

/** Renders a file through the processor in non-realtime mode at the file's own rate, with the output
    lined up sample for sample with the input (the reported latency is compensated). Stops early,
    leaving nothing behind, when cancel becomes true; the state file is written only after a render
    that succeeded. */
RenderResult renderFile (const RenderOptions& options, const std::function<void (double)>& progress,
                         const std::atomic<bool>& cancel);

/** Renders as renderFile does, again and again, adjusting the output gain until the output's
    integrated loudness (libebur128) lands within 0.1 LU of the target with its true peak at or under
    the limit. The tool owns the final level: it sets "outputtarget" to "Custom" (so the loudness
    assist stays out of the way), "limiteron" on and "limiterceiling" to the limit, and reports those
    changes. When the target cannot be reached the result says why and nothing is written. */
RenderResult renderToTarget (const RenderOptions& options, const LoudnessTarget& target,
                             const std::function<void (double)>& progress, const std::atomic<bool>& cancel);

/** Measures a file as it is, with the reference meter and with Vantora's own meters. */
RenderResult measureFile (const juce::File& file);
