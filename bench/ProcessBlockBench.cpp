// processBlock throughput on the demo take, stereo, as a multiple of real time.
#include "demo/DemoTake.h"
#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

namespace
{
void processBlockBenchmark (benchmark::State& state)
{
    const double sampleRate = static_cast<double> (state.range (0));
    const int blockSize = static_cast<int> (state.range (1));

    const auto take = demo::makeDemoTake (sampleRate, 4.0);
    QuorinProcessor processor;
    processor.setNonRealtime (false);
    processor.prepareToPlay (sampleRate, blockSize);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    int position = 0;
    std::int64_t samples = 0;

    for (auto _ : state)
    {
        if (position + blockSize > take.getNumSamples())
            position = 0;
        for (int ch = 0; ch < 2; ++ch)
            buffer.copyFrom (ch, 0, take, 0, position, blockSize);
        processor.processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        position += blockSize;
        samples += blockSize;
    }

    // Seconds of audio processed per second of CPU time.
    state.counters["x_realtime"] = benchmark::Counter (static_cast<double> (samples) / sampleRate,
                                                       benchmark::Counter::kIsRate);
}
} // namespace

BENCHMARK (processBlockBenchmark)
    ->ArgNames ({ "rate", "block" })
    ->ArgsProduct ({ { 44100, 48000 }, { 64, 512, 2048 } })
    ->Unit (benchmark::kMicrosecond);

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
