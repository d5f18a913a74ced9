#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/** Hands blocks of samples to a second thread, in the order they are pushed, through a fixed number
    of preallocated slots: the pushing thread copies and goes on, and waits only while every slot is
    still in use. The render uses it to measure and write on one core while the chain runs on the
    other; what the consumer sees, and in which order, does not depend on the timing. */
class BlockQueue
{
public:
    /** Called on the second thread with the block's tag and a copy of its samples. */
    using Consumer = std::function<void (int tag, const juce::AudioBuffer<float>& samples)>;

    BlockQueue (int maxChannels, int maxSamples, int numSlots, Consumer consumer);
    ~BlockQueue(); // consumes what is still queued, then stops the thread

    /** Queues channels [0, numChannels) of source's samples [start, start + numSamples). */
    void push (int tag, const juce::AudioBuffer<float>& source, int numChannels, int start, int numSamples);

    /** Returns once every block pushed so far has been consumed. */
    void drain();

private:
    struct Slot
    {
        int tag = 0;
        juce::AudioBuffer<float> samples;
    };

    void consumeUntilStopped();
    void wake();

    Consumer consumer;
    std::vector<Slot> slots;
    const size_t batch;               // how many queued slots wake an idle consumer
    size_t nextToFill = 0;            // the pushing thread's own
    size_t nextToConsume = 0;         // the consumer's own
    std::atomic<size_t> queued { 0 }; // filled and not yet consumed; hands the slots over
    bool flushing = false;            // drain() waits for everything queued (guarded by lock)
    bool stopping = false;            // guarded by lock
    std::mutex lock;                  // only for sleeping and waking
    std::condition_variable changed;
    std::thread thread;
};
