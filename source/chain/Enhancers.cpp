#include "processor/PluginProcessor.h"

void QuorinProcessor::runAirExciter (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::applyBodyMakeup (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runSubHarmonics (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runKickSub (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareEnhancers (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseEnhancers() {}
