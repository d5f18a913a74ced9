#include "chain/OversampledPath.h"
#include "engines/VectorClones.h"

namespace
{
/** A down-sampling step's output: half the sum of the direct path's output and the delayed path's
    output of the step before. */
HalfBandLanes combinePaths (HalfBandLanes paths, HalfBandLanes& delayed) noexcept
{
    const auto out = (delayed + paths) * 0.5f;
    delayed = HalfBandLanes { paths[2], paths[3], 0.0f, 0.0f };
    return out;
}
} // namespace

void OversampledPath::prepare (int maxBlockSize)
{
    chunkSize = static_cast<size_t> (juce::jmax (1, maxBlockSize));
    // The framework's maximum-quality settings: the first stage's transition bands are half as wide.
    upFirst.design (0.10f * 0.5f, -90.0f);
    downFirst.design (0.12f * 0.5f, -75.0f);
    upSecond.design (0.10f, -80.0f);
    downSecond.design (0.12f, -65.0f);
    twiceRate.assign (chunkSize, HalfBandLanes {});
    fourTimesRate.setSize (2, static_cast<int> (4 * chunkSize));
    reset();
}

void OversampledPath::reset() noexcept
{
    upFirst.reset();
    upSecond.reset();
    downSecond.reset();
    downFirst.reset();
    downSecondDelay = downFirstDelay = HalfBandLanes {};
    fourTimesRate.clear();
}

VANTORA_VECTOR_CLONES juce::dsp::AudioBlock<float>
    OversampledPath::upsample (const juce::dsp::AudioBlock<float>& chunk) noexcept
{
    const auto n = chunk.getNumSamples();
    const float* left = chunk.getChannelPointer (0);
    const float* right = chunk.getChannelPointer (chunk.getNumChannels() - 1);

    // Each input sample gives two at 2×: the direct path's and the delayed path's.
    auto first = upFirst.start();
    for (size_t i = 0; i < n; ++i)
        twiceRate[i] = first (HalfBandLanes { left[i], right[i], left[i], right[i] });
    upFirst.finish (first);

    float* upLeft = fourTimesRate.getWritePointer (0);
    float* upRight = fourTimesRate.getWritePointer (1);
    auto second = upSecond.start();
    for (size_t i = 0; i < n; ++i)
    {
        const auto pair = twiceRate[i];
        const auto a = second (HalfBandLanes { pair[0], pair[1], pair[0], pair[1] });
        const auto b = second (HalfBandLanes { pair[2], pair[3], pair[2], pair[3] });
        upLeft[4 * i] = a[0];
        upLeft[4 * i + 1] = a[2];
        upLeft[4 * i + 2] = b[0];
        upLeft[4 * i + 3] = b[2];
        upRight[4 * i] = a[1];
        upRight[4 * i + 1] = a[3];
        upRight[4 * i + 2] = b[1];
        upRight[4 * i + 3] = b[3];
    }
    upSecond.finish (second);

    return juce::dsp::AudioBlock<float> (fourTimesRate)
        .getSubsetChannelBlock (0, chunk.getNumChannels())
        .getSubBlock (0, 4 * n);
}

VANTORA_VECTOR_CLONES void OversampledPath::downsample (juce::dsp::AudioBlock<float>& chunk) noexcept
{
    const auto n = chunk.getNumSamples();
    const float* upLeft = fourTimesRate.getReadPointer (0);
    const float* upRight = fourTimesRate.getReadPointer (1);

    // Each pair of samples gives one.
    auto second = downSecond.start();
    auto secondDelay = downSecondDelay;
    for (size_t i = 0; i < n; ++i)
    {
        const float* l = upLeft + 4 * i;
        const float* r = upRight + 4 * i;
        const auto a = combinePaths (second (HalfBandLanes { l[0], r[0], l[1], r[1] }), secondDelay);
        const auto b = combinePaths (second (HalfBandLanes { l[2], r[2], l[3], r[3] }), secondDelay);
        twiceRate[i] = HalfBandLanes { a[0], a[1], b[0], b[1] };
    }
    downSecond.finish (second);
    downSecondDelay = secondDelay;

    float* left = chunk.getChannelPointer (0);
    float* right = chunk.getNumChannels() > 1 ? chunk.getChannelPointer (1) : nullptr;
    auto first = downFirst.start();
    auto firstDelay = downFirstDelay;
    for (size_t i = 0; i < n; ++i)
    {
        const auto out = combinePaths (first (twiceRate[i]), firstDelay);
        left[i] = out[0];
        if (right != nullptr)
            right[i] = out[1];
    }
    downFirst.finish (first);
    downFirstDelay = firstDelay;
}
