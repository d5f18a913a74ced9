#pragma once

#include "TestSupport.h"

#include <complex>
#include <functional>

namespace test
{
/** One chain step, as the probe exposes it. */
using Step = std::function<void (QuorinProcessor&, juce::AudioBuffer<float>&, const ChainBlock&)>;
/** Changes the block record before a step sees it (controls the parameters do not reach). */
using BlockEdit = std::function<void (ChainBlock&)>;

/** Runs one step over a long signal in place, block by block, with the record the frame would build
    from the processor's current parameters. */
inline void driveStage (QuorinProcessor& p, juce::AudioBuffer<float>& signal, int blockSize, const Step& step,
                        const BlockEdit& edit = {})
{
    processInBlocks (signal, blockSize, [&] (juce::AudioBuffer<float>& view) {
        auto block = QuorinProcessorProbe::blockFor (p, view.getNumSamples());
        if (edit)
            edit (block);
        step (p, view, block);
    });
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
