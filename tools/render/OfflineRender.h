#pragma once

#include "render/Measurement.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>

struct RenderOptions
{
    juce::File input, output;
    juce::StringArray settings; // "id=value", applied in order
    int blockSize = 512;
    double tailSeconds = 0.0;
    bool asFloat = false;
    int outputChannels = 2;
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
};

/** Renders a file through the processor in non-realtime mode at the file's own rate, with the output
    lined up sample for sample with the input (the reported latency is compensated). Stops early,
    leaving nothing behind, when cancel becomes true. */
RenderResult renderFile (const RenderOptions& options, const std::function<void (double)>& progress,
                         const std::atomic<bool>& cancel);

/** Measures a file as it is, with the reference meter and with Vantora's own meters. */
RenderResult measureFile (const juce::File& file);
