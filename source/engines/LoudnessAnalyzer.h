#pragma once

#include "processor/PluginProcessor.h"

/** Gated loudness (LUFS) of the output over a sliding window. */
class QuorinProcessor::LoudnessAnalyzer
{
public:
};
