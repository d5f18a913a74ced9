#include "processor/PluginProcessor.h"

void QuorinProcessor::runWidthStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareWidthStage (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseWidthStage() {}
