#include "processor/PluginProcessor.h"

void QuorinProcessor::runTransientShaper (juce::AudioBuffer<float>&, const ChainBlock&) {}

