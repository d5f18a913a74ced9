#pragma once

#include "render/Batch.h"

/** The render report: a table for people, or one JSON object with --json. With compliance, the
    output's loudness report and every platform's verdict follow. */
juce::String renderReport (const RenderOptions& options, const RenderResult& result, bool json, bool compliance);

/** The report of --measure. */
juce::String measureReport (const juce::File& file, const RenderResult& result, bool json, bool compliance);

/** The table at the end of a batch: one row per file, failures with their reason. */
juce::String batchSummary (const std::vector<BatchItem>& items, double seconds, bool json);

/** The one line a batch prints as a file finishes. */
juce::String batchProgressLine (const BatchItem& item, int finished, int count);
