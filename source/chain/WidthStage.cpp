#include "processor/PluginProcessor.h"

void QuorinProcessor::runWidthStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

