#include "processor/PluginProcessor.h"

void QuorinProcessor::runInputStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::updateCuppedAmount (const ChainBlock&) noexcept {}

void QuorinProcessor::prepareInputStage (const juce::dsp::ProcessSpec&) {}
