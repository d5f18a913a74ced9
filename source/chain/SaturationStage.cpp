#include "chain/StageHelpers.h"
#include "processor/PluginProcessor.h"

namespace
{
using Oversampler = juce::dsp::Oversampling<float>;
using Filters = std::array<juce::dsp::IIR::Filter<float>, 2>;

std::unique_ptr<Oversampler> makeBeastOversampler (int blockSize)
{
    // 4× (two half-band stages), polyphase IIR, maximum quality, fractional latency.
    auto oversampler = std::make_unique<Oversampler> (2, 2, Oversampler::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing (static_cast<size_t> (blockSize));
    oversampler->reset();
    return oversampler;
}

juce::dsp::AudioBlock<float> stereoPart (juce::dsp::AudioBlock<float> block) noexcept
{
    return block.getSubsetChannelBlock (0, std::min (block.getNumChannels(), size_t (2)));
}

/** Runs fn on consecutive pieces of the block no longer than the oversamplers were prepared for, so
    that a block beyond the prepared size still fits them. */
template <typename Fn>
void forEachChunk (juce::dsp::AudioBlock<float> block, int chunkSize, Fn&& fn)
{
    const auto total = block.getNumSamples();
    const auto step = static_cast<size_t> (chunkSize);
    for (size_t start = 0; start < total; start += step)
        fn (block.getSubBlock (start, std::min (step, total - start)));
}

void saturateLowBand (juce::AudioBuffer<float>& buffer, Filters& bandFilters, const BlockControls& c, float m) noexcept
{
    const float k = m * juce::jlimit (0.0f, 1.0f, 0.15f * c.subAmt + 0.095f + 0.07f * c.beastAmt + 0.055f * c.loudAmt);
    if (k <= 0.0008f)
        return;

    const float drive = 0.52f * c.subAmt + 1.38f + 0.28f * c.beastAmt + 0.18f * c.loudAmt;
    for (int ch = 0; ch < stereoChannels (buffer); ++ch)
    {
        auto& lowPass = bandFilters[size_t (ch)];
        float* samples = buffer.getWritePointer (ch);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float lp = lowPass.processSample (samples[i]);
            samples[i] += (std::tanh (drive * lp) - 0.935f * lp) * k;
        }
    }
}

/** D of the Beast curve; beastMode 1 is "Small Beast", 2 "Total Beast". */
float beastDrive (const BlockControls& c, int beastMode) noexcept
{
    const bool total = beastMode == 2;
    return 1.0f + c.beastAmt * (total ? 2.05f : 1.22f) + c.subAmt * (total ? 1.18f : 0.78f)
           + c.punchDrive * (total ? 2.08f : 1.22f);
}

float shapeBeast (float v, float drive) noexcept
{
    const float saturated = std::tanh (drive * v);
    return drive > 3.0f ? 0.1f * v + 0.9f * saturated : 0.82f * saturated + 0.18f * v;
}
} // namespace

//==============================================================================
void QuorinProcessor::prepareSaturationStage (const juce::dsp::ProcessSpec& spec)
{
    *saturationBandFilters[0].coefficients
        = juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (spec.sampleRate, 415.0f, 0.72f);
    saturationBandFilters[1].coefficients = saturationBandFilters[0].coefficients;
    for (auto& filter : saturationBandFilters)
        filter.reset();

    beastChunkSize = static_cast<int> (spec.maximumBlockSize);
    beastOversampler = makeBeastOversampler (beastChunkSize);
    beastDryOversampler = makeBeastOversampler (beastChunkSize);
    beastDryScratch.setSize (2, beastChunkSize);
}

void QuorinProcessor::releaseSaturationStage()
{
    for (auto& filter : saturationBandFilters)
        filter.reset();
    for (auto* oversampler : { beastOversampler.get(), beastDryOversampler.get() })
        if (oversampler != nullptr)
            oversampler->reset();
}

void QuorinProcessor::runSaturationStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    if (beastOversampler == nullptr)
        return;

    captureDry (buffer);
    const float amount = saturationFade * block.params.proportion (Param::satpct);
    saturateLowBand (buffer, saturationBandFilters, block.controls, amount);

    const int beastMode = block.params.index (Param::mixmode);
    if (block.flags.isLive && beastMode > 0)
    {
        runBeastDrive (buffer, beastDrive (block.controls, beastMode));
        // A dry that skipped the oversampling filters would blend out of phase; while the module fades,
        // the dry leans back to the untouched input, which the chain carries once the stage stops.
        matchBeastDryPhase (drySnapshotOf (buffer), saturationFade);
    }

    if (amount < 0.999f)
        blendWithDry (buffer, amount);
}

void QuorinProcessor::runBeastDrive (juce::AudioBuffer<float>& buffer, float drive) noexcept
{
    forEachChunk (stereoPart (juce::dsp::AudioBlock<float> (buffer)), beastChunkSize,
                  [this, drive] (juce::dsp::AudioBlock<float> chunk)
                  {
                      auto up = beastOversampler->processSamplesUp (chunk).getSubsetChannelBlock (
                          0, chunk.getNumChannels());
                      for (size_t ch = 0; ch < up.getNumChannels(); ++ch)
                      {
                          float* samples = up.getChannelPointer (ch);
                          for (size_t i = 0; i < up.getNumSamples(); ++i)
                              samples[i] = shapeBeast (samples[i], drive);
                      }
                      beastOversampler->processSamplesDown (chunk);
                  });
}

void QuorinProcessor::matchBeastDryPhase (juce::dsp::AudioBlock<float> dry, float amount) noexcept
{
    forEachChunk (stereoPart (dry), beastChunkSize,
                  [this, amount] (juce::dsp::AudioBlock<float> chunk)
                  {
                      auto plain = juce::dsp::AudioBlock<float> (beastDryScratch)
                                       .getSubsetChannelBlock (0, chunk.getNumChannels())
                                       .getSubBlock (0, chunk.getNumSamples());
                      plain.copyFrom (chunk);
                      beastDryOversampler->processSamplesUp (chunk);
                      beastDryOversampler->processSamplesDown (chunk);
                      chunk.multiplyBy (amount).addProductOf (plain, 1.0f - amount);
                  });
}
