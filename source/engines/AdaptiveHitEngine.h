#pragma once

#include "processor/PluginProcessor.h"

/** Classifies percussive hits per block and learns taught profiles. */
class QuorinProcessor::AdaptiveHitEngine
{
public:
};
