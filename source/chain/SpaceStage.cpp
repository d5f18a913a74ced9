#include "processor/PluginProcessor.h"

void QuorinProcessor::measureDuckingLevel (const juce::AudioBuffer<float>&, ChainBlock&) const noexcept {}

void QuorinProcessor::runSpaceStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareSpaceStage (const juce::dsp::ProcessSpec&) {}
