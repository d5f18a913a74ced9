#include "processor/PluginProcessor.h"

void QuorinProcessor::runInputCaptures (const juce::AudioBuffer<float>&) {}

void QuorinProcessor::prepareInputCaptures() {}

void QuorinProcessor::releaseInputCaptures() {}
