#include "processor/PluginProcessor.h"

void QuorinProcessor::designGlueCompressor (const ChainBlock&) {}

void QuorinProcessor::runMultibandDynamics (juce::AudioBuffer<float>&, ChainBlock&) {}

void QuorinProcessor::runGlueCompressor (juce::AudioBuffer<float>&, const ChainBlock&) {}

