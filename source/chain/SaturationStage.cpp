#include "processor/PluginProcessor.h"

void QuorinProcessor::runSaturationStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

