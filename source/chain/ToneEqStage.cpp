#include "processor/PluginProcessor.h"

void QuorinProcessor::designEq (const ChainBlock&) {}

void QuorinProcessor::runEqPass (juce::AudioBuffer<float>&, ChainBlock&) {}

void QuorinProcessor::runLinearPhaseEq (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareToneStage (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseToneStage() {}
