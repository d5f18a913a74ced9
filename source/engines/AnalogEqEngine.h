#pragma once

#include "processor/PluginProcessor.h"

/** Minimum-phase tone engine: a bank of gliding, softly saturating biquads. */
class QuorinProcessor::AnalogEqEngine
{
public:
};
