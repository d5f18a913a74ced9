#include "processor/PluginProcessor.h"

void QuorinProcessor::runTransientShaper (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareTransientShaper (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseTransientShaper() {}
