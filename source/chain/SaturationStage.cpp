#include "processor/PluginProcessor.h"

void QuorinProcessor::runSaturationStage (juce::AudioBuffer<float>&, const ChainBlock&) {}

void QuorinProcessor::prepareSaturationStage (const juce::dsp::ProcessSpec&) {}

void QuorinProcessor::releaseSaturationStage() {}
