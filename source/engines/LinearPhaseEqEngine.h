#pragma once

#include "processor/PluginProcessor.h"

/** The tone EQ as one 257-tap linear-phase FIR. */
class QuorinProcessor::LinearPhaseEqEngine
{
public:
};
