#pragma once

#include "render/OfflineRender.h"

/** The render report: a table for people, or one JSON object with --json. */
juce::String renderReport (const RenderOptions& options, const RenderResult& result, bool json);

/** The report of --measure. */
juce::String measureReport (const juce::File& file, const RenderResult& result, bool json);
