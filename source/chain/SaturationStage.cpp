#include "chain/SaturationStage.h"

#include "chain/StageHelpers.h"
#include "engines/RationalTanh.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

namespace
{
using Filters = std::array<InlineBiquad, 2>;

void saturateLowBand (juce::AudioBuffer<float>& buffer, Filters& bandFilters, const BlockControls& c, float m) noexcept
{
    const float k = m * juce::jlimit (0.0f, 1.0f, 0.15f * c.subAmt + 0.095f + 0.07f * c.beastAmt + 0.055f * c.loudAmt);
    if (k <= 0.0008f)
        return;

    const float drive = 0.52f * c.subAmt + 1.38f + 0.28f * c.beastAmt + 0.18f * c.loudAmt;
    auto lowPass = InlineBiquad::startLanes (bandFilters);
    forEachSampleInLanes (buffer,
                          [&lowPass, drive, k] (FloatLanes& x) noexcept
                          {
                              const auto band = lowPass.process (x);
                              x += (rationalTanh (drive * band) - 0.935f * band) * k;
                          });
    InlineBiquad::finishLanes (lowPass, bandFilters);
}

/** D of the Beast curve; beastMode 1 is "Small Beast", 2 "Total Beast". */
float beastDrive (const BlockControls& c, int beastMode) noexcept
{
    const bool total = beastMode == 2;
    return 1.0f + c.beastAmt * (total ? 2.05f : 1.22f) + c.subAmt * (total ? 1.18f : 0.78f)
           + c.punchDrive * (total ? 2.08f : 1.22f);
}

/** The Beast curve for a drive D: the saturated share 0.9 above D = 3, else 0.82, the rest clean. */
struct BeastCurve
{
    float drive, cleanShare, saturatedShare;

    explicit BeastCurve (float d) noexcept
        : drive (d), cleanShare (d > 3.0f ? 0.1f : 0.18f), saturatedShare (d > 3.0f ? 0.9f : 0.82f)
    {
    }

    float operator() (float v) const noexcept { return cleanShare * v + saturatedShare * rationalTanh (drive * v); }
};
} // namespace

//==============================================================================
void SaturationStage::prepare (const juce::dsp::ProcessSpec& spec)
{
    *saturationBandFilters[0].coefficients =
        juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (spec.sampleRate, 415.0f, 0.72f);
    saturationBandFilters[1].coefficients = saturationBandFilters[0].coefficients;
    for (auto& filter : saturationBandFilters)
        filter.reset();

    const auto maxBlock = static_cast<int> (spec.maximumBlockSize);
    beastPath.prepare (maxBlock);
    beastDryPath.prepare (maxBlock);
    beastDryScratch.setSize (2, maxBlock);
    dry.prepare (2, maxBlock);
}

void SaturationStage::reset() noexcept
{
    for (auto& filter : saturationBandFilters)
        filter.reset();
    beastPath.reset();
    beastDryPath.reset();
}

void SaturationStage::release()
{
    reset();
    beastDryScratch.setSize (0, 0);
    dry.release();
}

VANTORA_VECTOR_CLONES void SaturationStage::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    dry.capture (buffer);
    const float amount = block.fades.saturation * block.params.proportion (Param::satpct);
    saturateLowBand (buffer, saturationBandFilters, block.controls, amount);

    if (block.flags.beastActive)
    {
        runBeastDrive (buffer, beastDrive (block.controls, block.params.index (Param::mixmode)));
        // A dry that skipped the oversampling filters would blend out of phase; while the module fades,
        // the dry leans back to the untouched input, which the chain carries once the stage stops.
        matchBeastDryPhase (dry.capturedFor (buffer), block.fades.saturation);
    }

    if (amount < 0.999f)
        dry.blendInto (buffer, amount);
}

VANTORA_VECTOR_CLONES void SaturationStage::runBeastDrive (juce::AudioBuffer<float>& buffer, float drive) noexcept
{
    beastPath.process (juce::dsp::AudioBlock<float> (buffer),
                       [curve = BeastCurve (drive)] (juce::dsp::AudioBlock<float>& up) noexcept
                       {
                           for (size_t ch = 0; ch < up.getNumChannels(); ++ch)
                           {
                               float* samples = up.getChannelPointer (ch);
                               for (size_t i = 0; i < up.getNumSamples(); ++i)
                                   samples[i] = curve (samples[i]);
                           }
                       });
}

void SaturationStage::matchBeastDryPhase (juce::dsp::AudioBlock<float> dryBlock, float amount) noexcept
{
    // Blocks beyond the prepared size go through in pieces that fit the scratch copy.
    const auto piece = static_cast<size_t> (beastDryScratch.getNumSamples());
    for (size_t start = 0; start < dryBlock.getNumSamples(); start += piece)
    {
        auto chunk = dryBlock.getSubsetChannelBlock (0, std::min (dryBlock.getNumChannels(), size_t (2)))
                         .getSubBlock (start, std::min (piece, dryBlock.getNumSamples() - start));
        auto plain = juce::dsp::AudioBlock<float> (beastDryScratch)
                         .getSubsetChannelBlock (0, chunk.getNumChannels())
                         .getSubBlock (0, chunk.getNumSamples());
        plain.copyFrom (chunk);
        beastDryPath.roundTrip (chunk);
        chunk.multiplyBy (amount).addProductOf (plain, 1.0f - amount);
    }
}

//==============================================================================
void QuorinProcessor::runSaturationStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    saturation.process (buffer, block);
}
