#pragma once

#include "processor/PluginProcessor.h"

/** Algorithmic reverb: pre-delay, diffusers and an eight-line feedback delay network. */
class QuorinProcessor::ModernReverb
{
public:
};
