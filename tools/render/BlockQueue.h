#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

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

    Consumer consumer;
    std::vector<Slot> slots;
    size_t first = 0, count = 0; // the queued slots, oldest first (guarded by lock)
    bool busy = false;           // the consumer holds a slot
    bool stopping = false;
    std::mutex lock;
    std::condition_variable changed;
    std::thread thread;
};
