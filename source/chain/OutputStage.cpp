#include "processor/PluginProcessor.h"

void QuorinProcessor::runAutoGain (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runMeteringAndAssist (const juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::applyOutputGains (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runListeningSimulator (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runFinalLowPass (juce::AudioBuffer<float>&) {}

void QuorinProcessor::runCeiling (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::runTruePeakMeter (const juce::AudioBuffer<float>&) {}

void QuorinProcessor::prepareOutputStage (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseOutputStage() {}
