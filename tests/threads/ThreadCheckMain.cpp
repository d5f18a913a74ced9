// vantora-thread-check: a host's two threads at once, for the thread sanitizer (`make tsan`). An
// audio thread runs processBlock without pause while this thread, the message thread, automates
// random parameters (among them those that move the latency), reads the latency and the meters,
// saves and restores the state and loads presets. Prints what it ran.
#include "processor/PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <iostream>
#include <thread>

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI framework;
    const double seconds = argc > 1 ? std::atof (argv[1]) : 20.0;

    QuorinProcessor processor;
    processor.setPlayConfigDetails (2, 2, 48000.0, 256);
    processor.prepareToPlay (48000.0, 256);

    std::atomic<bool> running { true };
    std::atomic<long> blocks { 0 };
    std::thread audio (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 256);
            juce::MidiBuffer midi;
            juce::Random random (1);
            while (running.load())
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < buffer.getNumSamples(); ++i)
                        buffer.setSample (ch, i, 0.8f * (random.nextFloat() - 0.5f));
                processor.processBlock (buffer, midi);
                ++blocks;
            }
        });

    juce::Random random (2);
    const auto& parameters = processor.getParameters();
    long changes = 0, restores = 0, presets = 0, latencyReads = 0;
    juce::MemoryBlock state;
    const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    while (juce::Time::getMillisecondCounterHiRes() < end)
    {
        parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());
        ++changes;
        latencyReads += processor.getLatencySamples() >= 0 ? 1 : 0;
        juce::ignoreUnused (processor.truePeakDb.load(), processor.loudnessLufs.load());
        if (random.nextInt (40) == 0)
        {
            processor.getStateInformation (state);
            processor.setStateInformation (state.getData(), static_cast<int> (state.getSize()));
            ++restores;
        }
        if (random.nextInt (400) == 0)
        {
            processor.loadMixCleanPreset();
            ++presets;
        }
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    running.store (false);
    audio.join();
    std::cout << blocks.load() << " blocks, " << changes << " parameter changes, " << latencyReads << " latency reads, "
              << restores << " state saves and restores, " << presets << " presets\n";
    return 0;
}
