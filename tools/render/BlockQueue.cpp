#include "render/BlockQueue.h"

BlockQueue::BlockQueue (int maxChannels, int maxSamples, int numSlots, Consumer c)
    : consumer (std::move (c)), slots (static_cast<size_t> (juce::jmax (1, numSlots)))
{
    for (auto& slot : slots)
        slot.samples.setSize (maxChannels, maxSamples);
    thread = std::thread ([this] { consumeUntilStopped(); });
}

BlockQueue::~BlockQueue()
{
    {
        const std::scoped_lock guard (lock);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void BlockQueue::push (int tag, const juce::AudioBuffer<float>& source, int numChannels, int start, int numSamples)
{
    std::unique_lock guard (lock);
    changed.wait (guard, [this] { return count < slots.size(); });
    auto& slot = slots[(first + count) % slots.size()];
    guard.unlock();

    // The slot is not queued yet, so the consumer does not touch it while it is filled.
    slot.tag = tag;
    slot.samples.setSize (numChannels, numSamples, false, false, true);
    for (int ch = 0; ch < numChannels; ++ch)
        slot.samples.copyFrom (ch, 0, source, ch, start, numSamples);

    guard.lock();
    ++count;
    guard.unlock();
    changed.notify_all();
}

void BlockQueue::drain()
{
    std::unique_lock guard (lock);
    changed.wait (guard, [this] { return count == 0 && ! busy; });
}

void BlockQueue::consumeUntilStopped()
{
    std::unique_lock guard (lock);
    for (;;)
    {
        changed.wait (guard, [this] { return count > 0 || stopping; });
        if (count == 0)
            return;

        busy = true;
        auto& slot = slots[first];
        guard.unlock();
        consumer (slot.tag, slot.samples);
        guard.lock();
        busy = false;
        first = (first + 1) % slots.size();
        --count;
        changed.notify_all();
    }
}
