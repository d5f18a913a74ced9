#include "render/Measurement.h"

#include <ebur128.h>

#include <cmath>
#include <limits>

namespace
{
double decibels (double gain)
{
    return gain > 0.0 ? 20.0 * std::log10 (gain) : -std::numeric_limits<double>::infinity();
}

// BS.1770's loudness of a mean channel-weighted energy, and back.
double loudnessOf (double energy)
{
    return energy > 0.0 ? 10.0 * std::log10 (energy) - 0.691 : -std::numeric_limits<double>::infinity();
}

double energyOf (double loudness) { return std::pow (10.0, (loudness + 0.691) / 10.0); }
} // namespace

void ReferenceMeter::StateDeleter::operator() (ebur128_state* s) const { ebur128_destroy (&s); }

ReferenceMeter::ReferenceMeter (int numChannels, double sampleRate)
    : state (ebur128_init (static_cast<unsigned int> (numChannels), static_cast<unsigned long> (sampleRate),
                           EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK
                               | EBUR128_MODE_SAMPLE_PEAK)),
      channels (numChannels), rate (sampleRate), framesPerReading ((static_cast<long long> (sampleRate) + 5) / 10),
      readingsTileWindows (static_cast<long long> (sampleRate) * 100 / 1000 == framesPerReading),
      maxMomentary (-std::numeric_limits<double>::infinity()), maxShortTerm (-std::numeric_limits<double>::infinity())
{
}

ReferenceMeter::~ReferenceMeter() = default;

void ReferenceMeter::add (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    // The momentary and short-term windows are read at every 100 ms boundary, as EBU Tech 3341 asks.
    while (numSamples > 0)
    {
        const auto toBoundary = framesPerReading - frames % framesPerReading;
        const int count = static_cast<int> (std::min<long long> (numSamples, toBoundary));
        addFrames (buffer, startSample, count);
        startSample += count;
        numSamples -= count;
        if (frames % framesPerReading == 0)
            readWindows();
    }
}

void ReferenceMeter::readWindows()
{
    if (! readingsTileWindows)
    {
        double momentary = 0.0, shortTerm = 0.0;
        if (ebur128_loudness_momentary (state.get(), &momentary) == EBUR128_SUCCESS)
            maxMomentary = std::max (maxMomentary, momentary);
        if (ebur128_loudness_shortterm (state.get(), &shortTerm) == EBUR128_SUCCESS)
            maxShortTerm = std::max (maxShortTerm, shortTerm);
        return;
    }

    // The meter sums every sample of a window it is asked for, so reading the 3 s window ten times a
    // second cost most of a render's measuring. Each reading period's own 100 ms energy is read once
    // instead, and the 400 ms and 3 s windows are the means of the last 4 and 30 of them.
    double latest = 0.0;
    if (ebur128_loudness_window (state.get(), 100, &latest) != EBUR128_SUCCESS)
        return;
    recentEnergies[nextEnergy] = energyOf (latest);
    nextEnergy = (nextEnergy + 1) % recentEnergies.size();
    maxMomentary = std::max (maxMomentary, loudnessOf (meanOfLatestEnergies (4)));
    maxShortTerm = std::max (maxShortTerm, loudnessOf (meanOfLatestEnergies (recentEnergies.size())));
}

double ReferenceMeter::meanOfLatestEnergies (size_t count) const
{
    double sum = 0.0;
    for (size_t back = 1; back <= count; ++back)
        sum += recentEnergies[(nextEnergy + recentEnergies.size() - back) % recentEnergies.size()];
    return sum / static_cast<double> (count);
}

void ReferenceMeter::addFrames (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    interleaved.resize (static_cast<size_t> (numSamples * channels));
    for (int ch = 0; ch < channels; ++ch)
    {
        const auto* in = buffer.getReadPointer (juce::jmin (ch, buffer.getNumChannels() - 1), startSample);
        for (int i = 0; i < numSamples; ++i)
            interleaved[static_cast<size_t> (i * channels + ch)] = in[i];
    }
    ebur128_add_frames_float (state.get(), interleaved.data(), static_cast<size_t> (numSamples));
    frames += numSamples;
}

LoudnessReading ReferenceMeter::reading() const
{
    LoudnessReading r;
    ebur128_loudness_global (state.get(), &r.integratedLufs);
    ebur128_loudness_range (state.get(), &r.loudnessRangeLu);
    r.maxMomentaryLufs = maxMomentary;
    r.maxShortTermLufs = maxShortTerm;

    double truePeak = 0.0, samplePeak = 0.0;
    for (unsigned int ch = 0; ch < static_cast<unsigned int> (channels); ++ch)
    {
        double value = 0.0;
        ebur128_true_peak (state.get(), ch, &value);
        truePeak = std::max (truePeak, value);
        ebur128_sample_peak (state.get(), ch, &value);
        samplePeak = std::max (samplePeak, value);
    }
    r.truePeakDbtp = decibels (truePeak);
    r.samplePeakDbfs = decibels (samplePeak);
    r.durationSeconds = static_cast<double> (frames) / rate;
    r.sampleRate = rate;
    r.channels = channels;
    return r;
}
