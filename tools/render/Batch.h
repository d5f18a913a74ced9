#pragma once

#include "render/OfflineRender.h"

#include <optional>

/** One file of a batch and how its render went. */
struct BatchItem
{
    juce::File input, output;
    RenderResult result;
};

/** Renders every input into the folder under its own name (a name that is not .wav or .flac becomes
    .wav), two files at a time, one per worker. A file that fails leaves nothing behind and does not
    stop the others; done is called (from a worker, one call at a time) as each file finishes. */
std::vector<BatchItem> renderBatch (const RenderOptions& options, const std::optional<LoudnessTarget>& target,
                                    const juce::Array<juce::File>& inputs, const juce::File& folder,
                                    const std::function<void (const BatchItem&)>& done,
                                    const std::atomic<bool>& cancel);
