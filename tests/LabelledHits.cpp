#include "LabelledHits.h"

#include "demo/DemoTake.h"

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <cstdint>
#include <iomanip>
#include <map>
#include <sstream>

namespace labelled
{
namespace
{
const char* const kitDirectory = "/usr/share/hydrogen/data/drumkits/GMRockKit";
const char* const instrumentNames[] = { "Kick", "Snare", "HatClosed" };
const char* const layerNames[] = { "Softest", "Soft", "Med", "Hard", "Hardest" };

constexpr double recordingSeconds = 0.3;
constexpr double fadeSeconds = 0.03;
constexpr double leadInSeconds = 0.5;

struct Recording
{
    juce::AudioBuffer<float> audio;
    double sampleRate;
};

Recording readMono (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
    {
        ADD_FAILURE() << "cannot read " << file.getFullPathName()
                      << " (scripts/install-deps.sh installs hydrogen-data)";
        return { {}, 44100.0 };
    }
    const auto length = static_cast<int> (reader->lengthInSamples);
    juce::AudioBuffer<float> both (static_cast<int> (reader->numChannels), length);
    reader->read (&both, 0, length, 0, true, true);
    juce::AudioBuffer<float> mono (1, length);
    mono.clear();
    for (int ch = 0; ch < both.getNumChannels(); ++ch)
        mono.addFrom (0, 0, both, ch, 0, length, 1.0f / static_cast<float> (both.getNumChannels()));
    return { mono, reader->sampleRate };
}

juce::AudioBuffer<float> resampled (const juce::AudioBuffer<float>& in, double fromRate, double toRate)
{
    if (fromRate == toRate || in.getNumSamples() == 0)
        return in;
    const double ratio = fromRate / toRate;
    const int padding = 512; // the interpolator reads ahead of the sample it produces
    std::vector<float> padded (static_cast<size_t> (in.getNumSamples() + padding), 0.0f);
    std::copy (in.getReadPointer (0), in.getReadPointer (0) + in.getNumSamples(), padded.begin());
    const auto length = static_cast<int> (in.getNumSamples() / ratio);
    juce::AudioBuffer<float> out (1, length);
    juce::WindowedSincInterpolator interpolator;
    interpolator.process (ratio, padded.data(), out.getWritePointer (0), length);
    return out;
}

const juce::AudioBuffer<float>& recording (int hitClass, int layer, double sampleRate)
{
    static std::map<std::tuple<int, int, int>, juce::AudioBuffer<float>> cache;
    const auto key = std::make_tuple (hitClass, layer, juce::roundToInt (sampleRate));
    if (auto found = cache.find (key); found != cache.end())
        return found->second;

    const auto file =
        juce::File (kitDirectory)
            .getChildFile (juce::String (instrumentNames[hitClass - 1]) + "-" + layerNames[layer] + ".wav");
    const auto read = readMono (file);
    return cache[key] = resampled (read.audio, read.sampleRate, sampleRate);
}

/** The first sample at a tenth of the peak: where the attack starts. */
int attackStart (const juce::AudioBuffer<float>& b, float peak)
{
    for (int i = 0; i < b.getNumSamples(); ++i)
        if (std::abs (b.getSample (0, i)) >= 0.1f * peak)
            return i;
    return 0;
}

/** xorshift32: the same noise on every machine. */
class Noise
{
public:
    float next() noexcept
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float> (state) / 2147483648.0f - 1.0f;
    }

private:
    std::uint32_t state = 0x2545f491u;
};

void addRoomNoise (juce::AudioBuffer<float>& b, double sampleRate)
{
    Noise noise;
    const auto k = static_cast<float> (1.0 - std::exp (-2.0 * 3.141592653589793 * 400.0 / sampleRate));
    std::vector<float> rumble (static_cast<size_t> (b.getNumSamples()));
    float state = 0.0f;
    double energy = 0.0;
    for (auto& v : rumble)
    {
        state += (noise.next() - state) * k;
        v = state;
        energy += double (v) * v;
    }
    const auto gain = static_cast<float> (std::pow (10.0, -60.0 / 20.0) / std::sqrt (energy / double (rumble.size())));
    for (int i = 0; i < b.getNumSamples(); ++i)
        b.addSample (0, i, gain * rumble[static_cast<size_t> (i)]);
}

int dominantClass (const std::vector<int>& reported, int from, int to)
{
    std::array<int, 5> samples {};
    for (int i = std::max (0, from); i < std::min (static_cast<int> (reported.size()), to); ++i)
        ++samples[static_cast<size_t> (reported[static_cast<size_t> (i)])];
    int best = 0, longest = 0; // nothing, unless some class is shown
    for (int c = 1; c < 5; ++c)
        if (samples[size_t (c)] > longest)
        {
            best = c;
            longest = samples[size_t (c)];
        }
    return best;
}
} // namespace

Sequence arrange (double sampleRate, const std::vector<Placement>& placements, Background background)
{
    const auto step = static_cast<int> (hitSpacingSeconds * sampleRate);
    const auto leadIn = static_cast<int> (leadInSeconds * sampleRate);
    const auto total = leadIn + step * static_cast<int> (placements.size()) + leadIn;

    Sequence s { juce::AudioBuffer<float> (1, total), {}, sampleRate };
    s.audio.clear();
    const auto cut = static_cast<int> (recordingSeconds * sampleRate);
    const auto fade = static_cast<int> (fadeSeconds * sampleRate);

    for (size_t n = 0; n < placements.size(); ++n)
    {
        const auto& p = placements[n];
        const auto& r = recording (p.hitClass, p.layer, sampleRate);
        const float peak = r.getMagnitude (0, 0, r.getNumSamples());
        if (peak <= 0.0f)
            continue;
        const float gain = juce::Decibels::decibelsToGain (p.peakDb) / peak;
        const int start = leadIn + step * static_cast<int> (n);
        const int length = std::min (cut, r.getNumSamples());
        for (int i = 0; i < length; ++i)
        {
            const float envelope = std::min (1.0f, static_cast<float> (length - i) / static_cast<float> (fade));
            s.audio.addSample (0, start + i, gain * envelope * r.getSample (0, i));
        }
        s.hits.push_back ({ start + attackStart (r, peak), p.hitClass });
    }

    if (background == Background::roomNoise)
        addRoomNoise (s.audio, sampleRate);
    return s;
}

Sequence kitSequence (double sampleRate, Background background)
{
    const float peaks[] = { -30.0f, -24.0f, -18.0f, -12.0f, -6.0f };
    std::vector<Placement> placements;
    for (int round = 0; round < 3; ++round)
        for (int n = 0; n < 15; ++n)
        {
            const int pick = (n * 7 + round * 5) % 15; // kicks, snares and hats interleaved
            placements.push_back ({ pick / 5 + 1, pick % 5, peaks[(n + round * 2) % 5] });
        }
    return arrange (sampleRate, placements, background);
}

Sequence demoSequence (double sampleRate, double seconds)
{
    auto take = demo::makeLabelledDemoTake (sampleRate, seconds);
    Sequence s { std::move (take.audio), {}, sampleRate };
    for (const auto& onset : take.onsets)
        s.hits.push_back ({ onset.sample, static_cast<int> (onset.kind) });
    return s;
}

std::vector<int> reportedClasses (AdaptiveHitEngine& engine, const Sequence& sequence, int blockSize)
{
    const auto& audio = sequence.audio;
    std::vector<int> reported (static_cast<size_t> (audio.getNumSamples()), 0);
    for (int start = 0; start < audio.getNumSamples(); start += blockSize)
    {
        const int n = std::min (blockSize, audio.getNumSamples() - start);
        juce::AudioBuffer<float> view (const_cast<float* const*> (audio.getArrayOfReadPointers()), 1, start, n);
        const int hitClass = engine.process (view).hitClass;
        std::fill_n (reported.begin() + start, n, hitClass);
    }
    return reported;
}

Score score (const Sequence& sequence, const std::vector<int>& reported)
{
    const auto ms = [&] (double m) { return static_cast<int> (m * 0.001 * sequence.sampleRate); };
    Score result;
    std::vector<bool> nearOnset (reported.size(), false);
    for (const auto& hit : sequence.hits)
    {
        const int shown = dominantClass (reported, hit.start - ms (5), hit.start + ms (60));
        ++result.confusion[size_t (hit.hitClass)][size_t (shown)];
        result.perHit.push_back (shown);
        for (int i = std::max (0, hit.start - ms (25)); i < std::min (int (reported.size()), hit.start + ms (80)); ++i)
            nearOnset[size_t (i)] = true;
    }
    for (size_t i = 1; i < reported.size(); ++i)
        if (reported[i] != 0 && reported[i] != reported[i - 1] && ! nearOnset[i])
            ++result.falseHits;
    return result;
}

int Score::hitsOf (int hitClass) const
{
    int n = 0;
    for (int shown : confusion[size_t (hitClass)])
        n += shown;
    return n;
}

int Score::detectedOf (int hitClass) const { return hitsOf (hitClass) - confusion[size_t (hitClass)][0]; }

int Score::detected() const
{
    int n = 0;
    for (int c = 1; c < 5; ++c)
        n += detectedOf (c);
    return n;
}

int Score::right() const
{
    int n = 0;
    for (int c = 1; c < 5; ++c)
        n += rightOf (c);
    return n;
}

std::string Score::table() const
{
    const char* const names[] = { "none", "kick", "snare", "hat", "inK" };
    std::ostringstream out;
    out << "  true\\shown  none  kick snare   hat   inK\n";
    for (int c = 1; c < 5; ++c)
    {
        if (hitsOf (c) == 0)
            continue;
        out << "  " << std::setw (10) << std::left << names[c] << std::right;
        for (int shown : confusion[size_t (c)])
            out << std::setw (6) << shown;
        out << "\n";
    }
    out << "  detected " << detected() << " of " << static_cast<int> (perHit.size()) << ", class right " << right()
        << " of " << detected() << ", false hits " << falseHits << "\n";
    return out.str();
}

double agreement (const std::vector<Score>& scores)
{
    if (scores.empty() || scores.front().perHit.empty())
        return 0.0;
    int same = 0;
    const auto& first = scores.front().perHit;
    for (size_t h = 0; h < first.size(); ++h)
    {
        bool all = true;
        for (const auto& s : scores)
            all = all && s.perHit[h] == first[h];
        same += all ? 1 : 0;
    }
    return double (same) / double (first.size());
}
} // namespace labelled
