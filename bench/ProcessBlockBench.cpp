// processBlock on the demo take, stereo: throughput as a multiple of real time for the default
// Mix Clean and for a heavy live setting, and the worst blocks while a macro moves every block.
#include "demo/DemoTake.h"
#include "engines/LinearPhaseEqEngine.h"
#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace
{
enum Setting
{
    mixClean = 0,   // what a new instance starts with
    liveTotalBeast, // "Live Performance" with "Total Beast" and both reverbs
};

void setReal (QuorinProcessor& processor, Param param, float value)
{
    auto* parameter = processor.parameters.getParameter (parameterId (param));
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

void applySetting (QuorinProcessor& processor, Setting setting)
{
    if (setting != liveTotalBeast)
        return;
    for (const auto& [param, value] : { std::pair { Param::chainmode, 1.0f },
                                        { Param::mixmode, 2.0f },
                                        { Param::saturationon, 1.0f },
                                        { Param::beastknobon, 1.0f },
                                        { Param::beast, 0.6f },
                                        { Param::reverbon, 1.0f },
                                        { Param::liveknobon, 1.0f },
                                        { Param::live, 0.5f },
                                        { Param::flavourknobon, 1.0f },
                                        { Param::flavour, 0.5f } })
        setReal (processor, param, value);
}

/** A processor prepared as a real-time host prepares it, and the demo take to feed it. */
struct Rig
{
    Rig (double rate, int samplesPerBlock, Setting setting)
        : take (demo::makeDemoTake (rate, 4.0)), buffer (2, samplesPerBlock), blockSize (samplesPerBlock)
    {
        processor.setNonRealtime (false);
        applySetting (processor, setting);
        processor.prepareToPlay (rate, blockSize);
    }

    void processNextBlock()
    {
        if (position + blockSize > take.getNumSamples())
            position = 0;
        for (int ch = 0; ch < 2; ++ch)
            buffer.copyFrom (ch, 0, take, 0, position, blockSize);
        processor.processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        position += blockSize;
    }

    QuorinProcessor processor;
    juce::AudioBuffer<float> take, buffer;
    juce::MidiBuffer midi;
    int blockSize = 0, position = 0;
};

void processBlockBenchmark (benchmark::State& state)
{
    const double sampleRate = static_cast<double> (state.range (0));
    Rig rig (sampleRate, static_cast<int> (state.range (1)), static_cast<Setting> (state.range (2)));
    std::int64_t samples = 0;

    for (auto _ : state)
    {
        rig.processNextBlock();
        samples += rig.blockSize;
    }

    // Seconds of audio processed per second of CPU time.
    state.counters["x_realtime"] =
        benchmark::Counter (static_cast<double> (samples) / sampleRate, benchmark::Counter::kIsRate);
}

/** The calling thread's CPU time in microseconds: what a block costs the audio thread, without the
    time the scheduler gives to other processes on a shared machine. */
double threadCpuMicros() noexcept
{
    timespec now {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return 1.0e6 * static_cast<double> (now.tv_sec) + 1.0e-3 * static_cast<double> (now.tv_nsec);
}

/** "Mix / Master" at 48 kHz with the detail macro sweeping every block, so that every block
    designs the tone curve and asks for a new linear-phase kernel: the 99.9th percentile and the
    worst block, in wall time and in the audio thread's own CPU time, against the block's real-time
    budget. */
void movingMacroWorstBlock (benchmark::State& state)
{
    constexpr double sampleRate = 48000.0;
    const int blockSize = static_cast<int> (state.range (0));
    Rig rig (sampleRate, blockSize, mixClean);
    auto* detail = rig.processor.parameters.getParameter (parameterId (Param::detail));

    std::vector<double> wall, cpu;
    wall.reserve (1 << 20);
    cpu.reserve (1 << 20);
    int n = 0;
    for (auto _ : state)
    {
        detail->setValue (0.5f + 0.45f * std::sin (0.05f * static_cast<float> (n++)));
        const auto start = std::chrono::steady_clock::now();
        const auto cpuStart = threadCpuMicros();
        rig.processNextBlock();
        const auto cpuEnd = threadCpuMicros();
        const auto end = std::chrono::steady_clock::now();
        if (wall.size() < wall.capacity())
        {
            wall.push_back (std::chrono::duration<double, std::micro> (end - start).count());
            cpu.push_back (cpuEnd - cpuStart);
        }
    }

    const auto report = [&state] (std::vector<double>& micros, const std::string& name)
    {
        std::sort (micros.begin(), micros.end());
        state.counters[name + "_p999_us"] =
            micros[static_cast<size_t> (0.999 * static_cast<double> (micros.size() - 1))];
        state.counters[name + "_worst_us"] = micros.back();
    };
    // Where the slowest block fell and how many blocks passed half the budget: a block that the
    // code makes slow comes back at the same place in every run, a pause of the machine does not.
    const double budget = 1.0e6 * blockSize / sampleRate;
    state.counters["cpu_worst_block"] = static_cast<double> (std::max_element (cpu.begin(), cpu.end()) - cpu.begin());
    state.counters["cpu_blocks_over_half_budget"] =
        static_cast<double> (std::count_if (cpu.begin(), cpu.end(), [budget] (double t) { return t > budget / 2; }));
    report (wall, "wall");
    report (cpu, "cpu");
    state.counters["budget_us"] = budget;
}
/** The linear-phase kernel's design (user EQ kernel and tone-curve merge): the work that moved from
    the audio thread to the background designer. */
void linearPhaseKernelDesign (benchmark::State& state)
{
    LinearPhaseEqEngine engine;
    engine.prepare ({ 48000.0, 512, 2 });
    float high = 0.0f;
    for (auto _ : state)
    {
        high = high > 6.0f ? -6.0f : high + 0.5f;
        auto kernel = engine.buildUserShelfImpulse (-2.0f, 1.0f, high);
        engine.mergeLiveToneCurveLinearPhase (kernel, { 40.0f, 1.0f, -1.0f, 3000.0f, 2.0f, 10000.0f, 3.0f }, 0.78f);
        benchmark::DoNotOptimize (kernel.data());
    }
}
} // namespace

BENCHMARK (processBlockBenchmark)
    ->ArgNames ({ "rate", "block", "setting" })
    ->ArgsProduct ({ { 44100, 48000, 96000 }, { 64, 512 }, { mixClean, liveTotalBeast } })
    ->Unit (benchmark::kMicrosecond);

BENCHMARK (linearPhaseKernelDesign)->Unit (benchmark::kMicrosecond);

BENCHMARK (movingMacroWorstBlock)->ArgName ("block")->Arg (64)->Unit (benchmark::kMicrosecond)->MinTime (3.0);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
