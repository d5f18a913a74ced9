// The render's hand-over to its second thread: every block arrives once, in order, as it was when
// pushed, however few slots there are and however slow the consumer is, whether the render drains
// the queue or only lets it go.
#include "render/BlockQueue.h"

#include <gtest/gtest.h>

TEST (BlockQueue, DeliversEveryBlockInOrderAsItWasWhenPushed)
{
    for (const auto& [slots, drains] : { std::pair (1, true), { 2, true }, { 64, true }, { 64, false } })
    {
        std::vector<std::pair<int, float>> received;
        {
            BlockQueue queue (
                2, 16, slots,
                [&received] (int tag, const juce::AudioBuffer<float>& samples)
                {
                    if (tag % 7 == 0)
                        std::this_thread::sleep_for (std::chrono::microseconds (200)); // a consumer that falls behind
                    EXPECT_EQ (samples.getNumSamples(), 1 + tag % 16);
                    EXPECT_EQ (samples.getNumChannels(), 1 + tag % 2);
                    received.emplace_back (
                        tag, samples.getSample (samples.getNumChannels() - 1, samples.getNumSamples() - 1));
                });

            juce::AudioBuffer<float> source (2, 32);
            for (int tag = 0; tag < 500; ++tag)
            {
                for (int ch = 0; ch < 2; ++ch)
                    juce::FloatVectorOperations::fill (source.getWritePointer (ch), static_cast<float> (tag * 10 + ch),
                                                       32);
                queue.push (tag, source, 1 + tag % 2, 3, 1 + tag % 16);
                source.clear(); // the queue holds its own copy
            }
            if (drains)
            {
                queue.drain();
                EXPECT_EQ (received.size(), 500u) << slots;
            }
        }
        EXPECT_EQ (received.size(), 500u) << slots;

        for (int tag = 0; tag < static_cast<int> (received.size()); ++tag)
        {
            ASSERT_EQ (received[size_t (tag)].first, tag) << slots;
            EXPECT_EQ (received[size_t (tag)].second, static_cast<float> (tag * 10 + tag % 2)) << slots;
        }
    }
}
