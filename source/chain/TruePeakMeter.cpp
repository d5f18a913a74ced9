#include "chain/TruePeakMeter.h"

void TruePeakMeter::prepare (int maxBlockSize)
{
    path.prepare (maxBlockSize);
    scratch.setSize (2, juce::jmax (1, maxBlockSize));
    scratch.clear();
}

void TruePeakMeter::reset() noexcept { path.reset(); }

void TruePeakMeter::release()
{
    reset();
    scratch.setSize (0, 0);
}

float TruePeakMeter::measure (const juce::AudioBuffer<float>& buffer) noexcept
{
    if (! path.isPrepared() || buffer.getNumChannels() < 1)
        return 0.0f;

    // The scratch copy holds one prepared block: longer blocks are measured in pieces.
    float peak = 0.0f;
    const int piece = scratch.getNumSamples();
    for (int start = 0; start < buffer.getNumSamples(); start += piece)
        peak = juce::jmax (peak, measureChunk (buffer, start, juce::jmin (piece, buffer.getNumSamples() - start)));
    return peak;
}

float TruePeakMeter::measureChunk (const juce::AudioBuffer<float>& buffer, int start, int count) noexcept
{
    const int lastChannel = buffer.getNumChannels() - 1;
    for (int ch = 0; ch < 2; ++ch)
        scratch.copyFrom (ch, 0, buffer, juce::jmin (ch, lastChannel), start, count);

    // Down-sampled afterwards only to keep the filter states running with the signal.
    float peak = 0.0f;
    path.process (juce::dsp::AudioBlock<float> (scratch).getSubBlock (0, static_cast<size_t> (count)),
                  [&peak] (juce::dsp::AudioBlock<float>& up) noexcept
                  {
                      for (size_t ch = 0; ch < up.getNumChannels(); ++ch)
                      {
                          const auto range = juce::FloatVectorOperations::findMinAndMax (
                              up.getChannelPointer (ch), static_cast<int> (up.getNumSamples()));
                          peak = juce::jmax (peak, -range.getStart(), range.getEnd());
                      }
                  });
    return peak;
}

float TruePeakMeter::toDbtp (float peak) noexcept
{
    if (peak < 1.0e-6f)
        return -100.0f;
    return juce::jmax (-100.0f, 20.0f * std::log10 (peak));
}
