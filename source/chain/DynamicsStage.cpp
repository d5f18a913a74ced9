#include "chain/DynamicsStage.h"

#include "chain/StageHelpers.h"
#include "engines/MultibandDynamics.h"
#include "processor/PluginProcessor.h"

namespace
{
void setGlueBallistics (InlineCompressor& glue) noexcept
{
    glue.setAttack (28.0f);
    glue.setRelease (148.0f);
}
} // namespace

void DynamicsStage::prepare (const juce::dsp::ProcessSpec& spec)
{
    glueCompressor.prepare (spec);
    setGlueBallistics (glueCompressor);
    glueCompressor.setRatio (1.65f);
    glueCompressor.setThreshold (-18.0f);
    dry.prepare (2, static_cast<int> (spec.maximumBlockSize));
}

void DynamicsStage::reset() noexcept { glueCompressor.reset(); }

void DynamicsStage::release()
{
    reset();
    dry.release();
}

void DynamicsStage::design (const ChainBlock& block) noexcept
{
    const auto& c = block.controls;
    setGlueBallistics (glueCompressor);
    glueCompressor.setRatio (block.flags.isLive ? 0.62f * c.loudAmt + 1.26f + 0.17f * c.smartEff
                                                : 0.28f * c.loudAmt + 1.12f);
    glueCompressor.setThreshold (3.7f * c.loudAmt - 20.5f);
}

void DynamicsStage::runMultiband (juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                                  MultibandDynamics& multibandDynamics)
{
    const auto& c = block.controls;
    const auto& flags = block.flags;

    dry.capture (buffer);
    multibandDynamics.setParameters ({ c.loudAmt, c.smartEff, c.beastAmt, c.subAmt, c.detailAmt, c.smackAmt, c.airAmt,
                                       flags.voiceMode, flags.stageLive,
                                       juce::jlimit (0, 2, block.params.index (Param::lookahead)), ! flags.isLive });
    multibandDynamics.process (buffer);

    // The band sum is an all-pass; a dry that skipped it would cancel against it near the splits. While
    // the module fades, the dry leans back to the untouched input, which the chain carries once the
    // stage stops.
    multibandDynamics.matchDryPhase (dry.capturedFor (buffer), block.fades.dynamics);

    const float amount = block.fades.dynamics * block.params.proportion (Param::dynpct);
    if (amount < 0.999f)
        dry.blendInto (buffer, amount);
}

void DynamicsStage::runGlue (juce::AudioBuffer<float>& buffer, const ChainBlock& block, bool multibandRan)
{
    dry.capture (buffer);
    forEachSampleOfBothChannels (buffer,
                                 [this] (int ch, float& x) noexcept { x = glueCompressor.processSample (ch, x); });

    const float amount = (multibandRan ? 0.35f : 1.0f) * block.fades.dynamics * block.params.proportion (Param::dynpct);
    if (amount < 0.999f)
        dry.blendInto (buffer, amount);
}

//==============================================================================
void QuorinProcessor::designGlueCompressor (const ChainBlock& block) { dynamics.design (block); }

void QuorinProcessor::runMultibandDynamics (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    dynamics.runMultiband (buffer, block, *multibandDynamics);
}

void QuorinProcessor::runGlueCompressor (juce::AudioBuffer<float>& buffer, const ChainBlock& block, bool multibandRan)
{
    dynamics.runGlue (buffer, block, multibandRan);
}
