#include "processor/PluginProcessor.h"

void QuorinProcessor::runInputCaptures (const juce::AudioBuffer<float>&) {}

