#include "chain/DelayRing.h"

void DelayRing::prepare (int numChannels, int length)
{
    ring.setSize (numChannels, length);
    clear();
}

void DelayRing::release()
{
    ring.setSize (0, 0);
    written = stretchStart = 0;
}

void DelayRing::clear() noexcept
{
    ring.clear();
    written = stretchStart = 0;
}

void DelayRing::write (const juce::AudioBuffer<float>& source, int numSamples) noexcept
{
    write (source, numSamples, 0, [] (int, int) {});
}

void DelayRing::delayInPlace (juce::AudioBuffer<float>& buffer, int numSamples, int delay) noexcept
{
    write (buffer, numSamples, delay,
           [&] (int start, int count) noexcept
           {
               if (delay == 0)
                   return;
               for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                   copyDelayedStretch (ch, delay, buffer.getWritePointer (ch, start), count);
           });
}

void DelayRing::copyDelayedStretch (int channel, int delay, float* destination, int count) const noexcept
{
    // A stretch is never longer than the ring less the delay, so its samples wrap at most once.
    const auto* from = ring.getReadPointer (juce::jmin (channel, ring.getNumChannels() - 1));
    const int first = indexOf (stretchStart - delay);
    const int beforeWrap = juce::jmin (count, ring.getNumSamples() - first);
    juce::FloatVectorOperations::copy (destination, from + first, beforeWrap);
    juce::FloatVectorOperations::copy (destination + beforeWrap, from, count - beforeWrap);
}

float DelayRing::delayed (int channel, int offset, int delay) const noexcept
{
    return ring.getSample (juce::jmin (channel, ring.getNumChannels() - 1), indexOf (stretchStart + offset - delay));
}

juce::AudioBuffer<float> DelayRing::latest (int numSamples) const
{
    juce::AudioBuffer<float> copy (ring.getNumChannels(), numSamples);
    copy.clear();
    const auto available = static_cast<int> (juce::jmin<juce::int64> (written, numSamples, ring.getNumSamples()));
    for (int ch = 0; ch < ring.getNumChannels(); ++ch)
        for (int i = numSamples - available; i < numSamples; ++i)
            copy.setSample (ch, i, ring.getSample (ch, indexOf (written - numSamples + i)));
    return copy;
}

void DelayRing::push (const juce::AudioBuffer<float>& source, int start, int count) noexcept
{
    stretchStart = written;
    const int length = ring.getNumSamples();
    if (length == 0 || source.getNumChannels() == 0)
        return;

    const int position = indexOf (written);
    const int beforeWrap = juce::jmin (count, length - position);
    for (int ch = 0; ch < ring.getNumChannels(); ++ch)
    {
        const auto* from = source.getReadPointer (juce::jmin (ch, source.getNumChannels() - 1), start);
        auto* to = ring.getWritePointer (ch);
        juce::FloatVectorOperations::copy (to + position, from, beforeWrap);
        juce::FloatVectorOperations::copy (to, from + beforeWrap, count - beforeWrap);
    }
    written += count;
}

int DelayRing::indexOf (juce::int64 position) const noexcept
{
    const auto length = static_cast<juce::int64> (ring.getNumSamples());
    return static_cast<int> (((position % length) + length) % length);
}
