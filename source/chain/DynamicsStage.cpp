#include "processor/PluginProcessor.h"

void QuorinProcessor::designGlueCompressor (const ChainBlock&) {}

void QuorinProcessor::runMultibandDynamics (juce::AudioBuffer<float>&, ChainBlock&) {}

void QuorinProcessor::runGlueCompressor (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareDynamicsStage (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseDynamicsStage() {}
