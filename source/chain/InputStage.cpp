#include "chain/InputStage.h"

#include "chain/StageHelpers.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

void InputStage::prepare (const juce::dsp::ProcessSpec& stereo)
{
    antiPopFilter.prepare (stereo);
    antiPopFilter.setType (InlineStateVariableTpt::Type::highpass);
    antiPopFilter.setCutoffFrequency (35.0f);
    antiPopFilter.reset();

    inputGate.prepare (stereo);
    inputGate.setAttack (1.0f);
    inputGate.setRelease (55.0f);
    inputGate.setRatio (8.0f);

    dry.prepare (static_cast<int> (stereo.numChannels), static_cast<int> (stereo.maximumBlockSize));
}

void InputStage::reset() noexcept
{
    antiPopFilter.reset();
    inputGate.reset();
}

void InputStage::release()
{
    reset();
    dry.release();
}

VANTORA_VECTOR_CLONES void InputStage::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    const auto& params = block.params;
    const bool isLive = block.flags.isLive;
    const int numSamples = buffer.getNumSamples();
    const auto perSample = [&buffer] (auto& processor)
    {
        forEachSampleOfBothChannels (buffer,
                                     [&processor] (int ch, float& x) noexcept { x = processor.processSample (ch, x); });
    };

    // Pops and rumble: a higher corner with the pop filter, higher still on a stage.
    const bool stage = params.index (Param::venue) == 0;
    antiPopFilter.setCutoffFrequency ((params.on (Param::popfilter) ? 70.0f : 35.0f) + (stage ? 20.0f : 0.0f));
    if (isLive)
    {
        const float strength = params.proportion (Param::antipoppct);
        const bool blend = strength < 0.999f;
        if (blend)
            dry.capture (buffer);
        perSample (antiPopFilter);
        antiPopFilter.snapToZero();
        if (blend)
            dry.blendInto (buffer, strength);
    }

    if (const float gateAmt = block.controls.gateAmt; gateAmt > 0.01f)
    {
        inputGate.setThreshold (isLive ? 54.0f * gateAmt - 80.0f : 28.0f * gateAmt - 72.0f);
        perSample (inputGate);
    }

    const float gain = juce::Decibels::decibelsToGain (params[Param::inputgain]);
    if (std::abs (gain - 1.0f) > 1.0e-5f && ! buffer.hasBeenCleared())
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            juce::FloatVectorOperations::multiply (buffer.getWritePointer (ch), gain, numSamples);
}

float InputStage::followCuppedMic (const ChainBlock& block) noexcept
{
    // A small step per block (about 0.002 at 48 kHz): the correction fades in and out over seconds.
    const float target = block.params.on (Param::cupped) ? 1.0f : 0.0f;
    cuppedAmount += (target - cuppedAmount) * onePoleCoefficient (0.01, block.sampleRate);
    return cuppedAmount;
}

//==============================================================================
void QuorinProcessor::runInputStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    input.process (buffer, block);
}
