#pragma once

#include "processor/PluginProcessor.h"

/** Three-band compressor with band limiters. */
class QuorinProcessor::MultibandDynamics
{
public:
};
