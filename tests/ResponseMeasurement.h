#pragma once

#include "TestSupport.h"

#include <cmath>
#include <complex>
#include <functional>
#include <vector>

namespace test
{
/** Whole-hertz frequencies about a third of an octave apart, from low to high (both included). */
inline std::vector<int> thirdOctaveFrequencies (int low, int high)
{
    std::vector<int> frequencies;
    for (double f = low; f < high; f *= std::pow (2.0, 1.0 / 3.0))
        frequencies.push_back (static_cast<int> (std::lround (f)));
    frequencies.push_back (high);
    return frequencies;
}

/** The magnitude response in dB, on channel 0, of a process that is linear at the level used. The
    probe is a sum of equal sines at whole-hertz frequencies; after `settleSeconds` the next second
    is analysed at each frequency, over whole cycles so that the sines do not leak into each other. */
inline std::vector<double> measureResponseDb (const std::function<void (juce::AudioBuffer<float>&)>& process,
                                              int sampleRate, const std::vector<int>& frequencies, float amplitude,
                                              int blockSize = 512, double settleSeconds = 0.25)
{
    const int settle = static_cast<int> (settleSeconds * sampleRate);
    const int total = settle + sampleRate;
    const double count = static_cast<double> (frequencies.size());

    juce::AudioBuffer<float> input (2, total);
    for (int i = 0; i < total; ++i)
    {
        double v = 0.0;
        for (size_t k = 0; k < frequencies.size(); ++k) // quadratic phases keep the crest factor low
            v += std::sin (2.0 * juce::MathConstants<double>::pi * frequencies[k] * i / sampleRate
                           + juce::MathConstants<double>::pi * double (k * k) / count);
        input.setSample (0, i, amplitude * static_cast<float> (v));
        input.setSample (1, i, amplitude * static_cast<float> (v));
    }

    auto output = input;
    processInBlocks (output, blockSize, process);

    std::vector<double> responseDb;
    for (int f : frequencies)
        responseDb.push_back (20.0
                              * std::log10 (std::abs (componentAt (output, 0, settle, f, sampleRate)
                                                      / componentAt (input, 0, settle, f, sampleRate))));
    return responseDb;
}

inline double average (const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0.0 : sum / static_cast<double> (values.size());
}
} // namespace test
