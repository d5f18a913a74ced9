// What the open editor costs: process CPU time over a stretch of real-time audio, with the window
// closed and open, while the output is quiet (nothing on screen changes) and loud (meters and
// visualizer move). Run on an X server (make bench-editor uses a headless one).
//   vantora-editor-bench [seconds per run]

#include "editor/PluginEditor.h"
#include "processor/PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

void createWindowManagerAtoms();

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

double processCpuSeconds()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    const auto seconds = [] (const timeval& t)
    { return static_cast<double> (t.tv_sec) + static_cast<double> (t.tv_usec) * 1.0e-6; };
    return seconds (usage.ru_utime) + seconds (usage.ru_stime);
}

/** Feeds the processor blocks at the pace a sound card would ask for them. */
class PacedAudio
{
public:
    PacedAudio (QuorinProcessor& p, float level) : processor (p), inputLevel (level)
    {
        thread = std::thread ([this] { run(); });
    }
    ~PacedAudio()
    {
        running = false;
        thread.join();
    }

private:
    void run()
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        juce::Random random (1);
        const auto period = std::chrono::microseconds (static_cast<long> (1.0e6 * blockSize / sampleRate));
        auto next = std::chrono::steady_clock::now();
        while (running.load())
        {
            for (int ch = 0; ch < 2; ++ch)
                for (int n = 0; n < blockSize; ++n)
                    buffer.setSample (ch, n, inputLevel * (random.nextFloat() * 2.0f - 1.0f));
            processor.processBlock (buffer, midi);
            next += period;
            std::this_thread::sleep_until (next);
        }
    }

    QuorinProcessor& processor;
    float inputLevel;
    std::atomic<bool> running { true };
    std::thread thread;
};

void runMessageLoopFor (double seconds)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    while (juce::Time::getMillisecondCounterHiRes() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (2);
}

/** Percent of one core the whole process used over the run. */
double measure (bool editorOpen, float inputLevel, double seconds)
{
    QuorinProcessor processor;
    processor.prepareToPlay (sampleRate, blockSize);
    std::unique_ptr<juce::AudioProcessorEditor> editor;
    if (editorOpen)
    {
        editor.reset (processor.createEditorIfNeeded());
        editor->addToDesktop (juce::ComponentPeer::windowAppearsOnTaskbar);
        editor->setVisible (true);
    }
    PacedAudio audio (processor, inputLevel);
    runMessageLoopFor (1.0); // settle: window mapped, meters filled

    const auto cpuBefore = processCpuSeconds();
    const auto wallBefore = juce::Time::getMillisecondCounterHiRes();
    runMessageLoopFor (seconds);
    const auto percent =
        100.0 * (processCpuSeconds() - cpuBefore) / ((juce::Time::getMillisecondCounterHiRes() - wallBefore) / 1000.0);
    if (editor != nullptr)
    {
        processor.editorBeingDeleted (editor.get());
        editor.reset();
    }
    return percent;
}
} // namespace

int main (int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof (argv[1]) : 20.0;
    createWindowManagerAtoms(); // a headless server has no window manager
    const juce::ScopedJuceInitialiser_GUI juceInitialiser;

    constexpr float quiet = 0.0f, loud = 0.5f;
    const auto closedQuiet = measure (false, quiet, seconds);
    const auto openQuiet = measure (true, quiet, seconds);
    const auto closedLoud = measure (false, loud, seconds);
    const auto openLoud = measure (true, loud, seconds);

    std::printf ("process CPU, %% of one core, %.0f s each\n", seconds);
    std::printf ("  quiet: closed %5.1f  open %5.1f  editor costs %5.1f (budget 10)\n", closedQuiet, openQuiet,
                 openQuiet - closedQuiet);
    std::printf ("  loud:  closed %5.1f  open %5.1f  editor costs %5.1f (budget 25)\n", closedLoud, openLoud,
                 openLoud - closedLoud);
    return 0;
}
