#include "chain/DrySnapshot.h"

void DrySnapshot::prepare (int numChannels, int maxBlockSize)
{
    dry.setSize (numChannels, maxBlockSize);
    dry.clear();
}

void DrySnapshot::release() { dry.setSize (0, 0); }

void DrySnapshot::capture (const juce::AudioBuffer<float>& block)
{
    const int numChannels = block.getNumChannels();
    const int numSamples = block.getNumSamples();

    if (dry.getNumChannels() < numChannels || dry.getNumSamples() < numSamples)
        dry.setSize (numChannels, numSamples, false, false, true);

    for (int ch = 0; ch < numChannels; ++ch)
    {
        if (block.hasBeenCleared())
            juce::FloatVectorOperations::clear (dry.getWritePointer (ch), numSamples);
        else
            juce::FloatVectorOperations::copy (dry.getWritePointer (ch), block.getReadPointer (ch), numSamples);
    }
}

void DrySnapshot::blendInto (juce::AudioBuffer<float>& block, float amount) const noexcept
{
    const int lastDryChannel = dry.getNumChannels() - 1;
    for (int ch = 0; ch < block.getNumChannels(); ++ch)
    {
        auto* out = block.getWritePointer (ch);
        const auto* samples = dry.getReadPointer (juce::jmin (ch, lastDryChannel));
        for (int i = 0; i < block.getNumSamples(); ++i)
            out[i] = out[i] * amount + samples[i] * (1.0f - amount);
    }
}

juce::dsp::AudioBlock<float> DrySnapshot::capturedFor (const juce::AudioBuffer<float>& block) noexcept
{
    return juce::dsp::AudioBlock<float> (dry)
        .getSubsetChannelBlock (0, static_cast<size_t> (block.getNumChannels()))
        .getSubBlock (0, static_cast<size_t> (block.getNumSamples()));
}
