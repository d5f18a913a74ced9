#include "render/BlockQueue.h"

BlockQueue::BlockQueue (int maxChannels, int maxSamples, int numSlots, Consumer c)
    : consumer (std::move (c)), slots (static_cast<size_t> (juce::jmax (1, numSlots))), batch ((slots.size() + 1) / 2)
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
    if (queued.load() == slots.size())
    {
        std::unique_lock guard (lock);
        changed.wait (guard, [this] { return queued.load() < slots.size(); });
    }

    // The slot is not queued yet, so the consumer does not touch it while it is filled.
    auto& slot = slots[nextToFill];
    nextToFill = (nextToFill + 1) % slots.size();
    slot.tag = tag;
    slot.samples.setSize (numChannels, numSamples, false, false, true);
    for (int ch = 0; ch < numChannels; ++ch)
        slot.samples.copyFrom (ch, 0, source, ch, start, numSamples);

    if (queued.fetch_add (1) + 1 == batch)
        wake();
}

void BlockQueue::drain()
{
    std::unique_lock guard (lock);
    flushing = true;
    changed.notify_all();
    changed.wait (guard, [this] { return queued.load() == 0; });
    flushing = false;
}

void BlockQueue::wake()
{
    // Taking the lock orders this wake-up after a sleeper's last look at the count, so none is lost.
    {
        const std::scoped_lock guard (lock);
    }
    changed.notify_all();
}

void BlockQueue::consumeUntilStopped()
{
    for (;;)
    {
        {
            // Waking for every block would cost the pushing thread a system call per block, so an idle
            // consumer sleeps until a batch has queued up, or until everything queued is asked for.
            std::unique_lock guard (lock);
            changed.wait (guard,
                          [this] { return queued.load() >= batch || (queued.load() > 0 && flushing) || stopping; });
            if (queued.load() == 0)
                return;
        }

        while (queued.load() > 0)
        {
            const auto& slot = slots[nextToConsume];
            consumer (slot.tag, slot.samples);
            nextToConsume = (nextToConsume + 1) % slots.size();
            const auto before = queued.fetch_sub (1);
            if (before == slots.size() || before == 1) // a pusher may wait for a slot, or drain() for the end
                wake();
        }
    }
}
