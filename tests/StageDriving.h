#pragma once

#include "TestSupport.h"

#include <complex>
#include <functional>

namespace test
{
/** One chain step on a block, with the block's record. */
using Step = std::function<void (juce::AudioBuffer<float>&, const ChainBlock&)>;
/** Changes the block record before a step sees it (controls the parameters do not reach). */
using BlockEdit = std::function<void (ChainBlock&)>;

/** Runs one step over a long signal in place, block by block, with the record the processor's
    current parameters give (no hit, no morph offsets). */
inline void driveStage (const QuorinProcessor& p, juce::AudioBuffer<float>& signal, int blockSize, const Step& step,
                        const BlockEdit& edit = {})
{
    processInBlocks (signal, blockSize,
                     [&] (juce::AudioBuffer<float>& view)
                     {
                         auto block = p.restingBlock (view.getNumSamples());
                         if (edit)
                             edit (block);
                         step (view, block);
                     });
}

/** A stage prepared for stereo at the rate and the largest block size. */
template <typename Stage>
struct PreparedStage : Stage
{
    explicit PreparedStage (double rate = 48000.0, int maxBlockSize = 512)
    {
        Stage::prepare ({ rate, static_cast<juce::uint32> (maxBlockSize), 2 });
    }
};

/** A processor whose parameters give the block records, and one stage they drive. */
template <typename Stage>
struct StageRig
{
    std::unique_ptr<QuorinProcessor> processor;
    std::unique_ptr<PreparedStage<Stage>> stage;

    QuorinProcessor& operator*() const { return *processor; }
    QuorinProcessor* operator->() const { return processor.get(); }
};

template <typename Stage>
StageRig<Stage> rigFor (std::unique_ptr<QuorinProcessor> processor, double rate = 48000.0, int maxBlockSize = 512)
{
    return { std::move (processor), std::make_unique<PreparedStage<Stage>> (rate, maxBlockSize) };
}

/** Runs a freshly prepared stage over the signal in place, block by block, with the records the
    processor's parameters give. */
template <typename Stage>
void runFreshStage (const QuorinProcessor& p, juce::AudioBuffer<float>& signal, int blockSize, double rate = 48000.0)
{
    PreparedStage<Stage> stage { rate, blockSize };
    driveStage (p, signal, blockSize,
                [&stage] (juce::AudioBuffer<float>& b, const ChainBlock& block) { stage.process (b, block); });
}

/** A processor prepared after the settings are written, so that its fades start where they point. */
inline std::unique_ptr<QuorinProcessor> preparedWith (const std::vector<std::pair<Param, float>>& settings,
                                                      int inputs = 2, double rate = 48000.0, int blockSize = 512)
{
    auto p = makeProcessor (rate, blockSize, inputs, 2);
    for (const auto& [param, value] : settings)
        set (*p, param, value);
    p->prepareToPlay (rate, blockSize);
    return p;
}

/** Gain in dB of channel `channel` for a steady sine: the second half of a one-second tone, whose
    first half lets the filters settle. */
inline double toneGainDb (const std::function<void (juce::AudioBuffer<float>&)>& process, double frequency,
                          int numChannels = 2, int channel = 0, double rate = 48000.0)
{
    const int length = static_cast<int> (rate);
    auto signal = sine (numChannels, length, frequency, rate, 0.1f);
    const auto input = signal;
    process (signal);
    return toDb (rms (signal, channel, length / 2) / rms (input, channel, length / 2));
}

/** Frequency response of the bilinear (prewarped) first-order low-pass at cutoff fc, at f. */
inline std::complex<double> firstOrderLowPass (double f, double fc, double rate)
{
    const double g = std::tan (pi * fc / rate);
    const auto zInv = std::polar (1.0, -2.0 * pi * f / rate);
    return g * (1.0 + zInv) / ((1.0 + g) + (g - 1.0) * zInv);
}

/** The matching first-order all-pass: 2·low-pass − 1. */
inline std::complex<double> firstOrderAllPass (double f, double fc, double rate)
{
    return 2.0 * firstOrderLowPass (f, fc, rate) - 1.0;
}
} // namespace test
