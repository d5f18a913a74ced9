#include "chain/OversampledPath.h"

void OversampledPath::prepare (int maxBlockSize)
{
    chunkSize = static_cast<size_t> (juce::jmax (1, maxBlockSize));
    oversampler = std::make_unique<juce::dsp::Oversampling<float>> (
        2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    oversampler->initProcessing (chunkSize);
    oversampler->reset();
}

void OversampledPath::reset() noexcept
{
    if (oversampler != nullptr)
        oversampler->reset();
}
