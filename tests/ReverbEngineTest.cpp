// The reverb engine: decay against its setting on both buses, frozen tail, pre-delay, high cut, mono.
#include "TestSupport.h"
#include "engines/ModernReverb.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
using Reverb = QuorinProcessor::ModernReverb;

struct Bus
{
    const char* name;
    float sizeScale;
    Reverb::Voicing voicing;
};

const Bus liveBus { "Live", 0.84f, Reverb::liveVoicing() };
const Bus flavourBus { "Flavour", 1.56f, Reverb::flavourVoicing() };

struct Settings
{
    float decaySeconds = 1.6f, preDelayMs = 0.0f, dampingHz = 18000.0f, lowCutHz = 20.0f, highCutHz = 20000.0f;
};

std::unique_ptr<Reverb> makeReverb (const Bus& bus)
{
    auto reverb = std::make_unique<Reverb> (bus.sizeScale);
    reverb->prepare ({ rate, static_cast<juce::uint32> (blockSize), 2 });
    reverb->setVoicing (bus.voicing);
    reverb->reset();
    return reverb;
}

/** Runs the reverb over the signal in place, block by block, as the chain does. */
void run (Reverb& reverb, juce::AudioBuffer<float>& signal, const Settings& s, float wet = 1.0f, float width = 1.0f)
{
    juce::ScopedNoDenormals noDenormals; // the chain holds one for the block too
    for (int start = 0; start < signal.getNumSamples(); start += blockSize)
    {
        const auto n = static_cast<size_t> (juce::jmin (blockSize, signal.getNumSamples() - start));
        auto block = juce::dsp::AudioBlock<float> (signal).getSubBlock (static_cast<size_t> (start), n);
        reverb.setParameters ({ s.decaySeconds, s.preDelayMs, s.dampingHz, s.lowCutHz, s.highCutHz });
        reverb.process (block, wet, width);
    }
}

juce::AudioBuffer<float> silence (int numChannels, int numSamples)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    b.clear();
    return b;
}

juce::AudioBuffer<float> noise (int numChannels, int numSamples)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    juce::Random random (77);
    for (int ch = 0; ch < numChannels; ++ch)
        for (int i = 0; i < numSamples; ++i)
            b.setSample (ch, i, random.nextFloat() * 0.5f - 0.25f);
    return b;
}

/** A reverb that has run for a second on silence, so that wet, width and every control have
    reached their targets. */
std::unique_ptr<Reverb> settledReverb (const Bus& bus, const Settings& s)
{
    auto reverb = makeReverb (bus);
    auto warmUp = silence (2, static_cast<int> (rate));
    run (*reverb, warmUp, s);
    return reverb;
}

/** Reverberation time from the Schroeder backward integral of an impulse response: the time from
    -5 dB to -35 dB, doubled. */
double decayTimeSeconds (const Bus& bus, float decaySeconds, double responseSeconds)
{
    const Settings s { decaySeconds };
    auto reverb = settledReverb (bus, s);
    auto response = silence (2, static_cast<int> (responseSeconds * rate));
    response.setSample (0, 0, 1.0f);
    response.setSample (1, 0, 1.0f);
    run (*reverb, response, s);
    response.setSample (0, 0, 0.0f); // keep only what the reverb added
    response.setSample (1, 0, 0.0f);

    std::vector<double> remaining (static_cast<size_t> (response.getNumSamples()) + 1, 0.0);
    for (int i = response.getNumSamples() - 1; i >= 0; --i)
    {
        const double l = response.getSample (0, i), r = response.getSample (1, i);
        remaining[static_cast<size_t> (i)] = remaining[static_cast<size_t> (i) + 1] + l * l + r * r;
    }

    const auto timeAt = [&] (double db)
    {
        const double level = remaining[0] * std::pow (10.0, db / 10.0);
        size_t i = 0;
        while (i + 1 < remaining.size() && remaining[i] > level)
            ++i;
        return static_cast<double> (i) / rate;
    };
    return 2.0 * (timeAt (-35.0) - timeAt (-5.0));
}

/** The decay setting from which the feedback reaches the bus's ceiling: 10^(-3 · 0.047 / T) = maxFeedback. */
float cappedSetting (const Bus& bus)
{
    return -3.0f * 0.047f / std::log10 (bus.voicing.maxFeedback) / bus.voicing.decayScale;
}

struct DecayCase
{
    const Bus* bus;
    std::vector<float> settings;
    double responseSeconds;
};

class ReverbDecay : public testing::TestWithParam<DecayCase>
{
};
} // namespace

TEST_P (ReverbDecay, LongerSettingGivesLongerDecayUpToTheFeedbackCeiling)
{
    const auto& c = GetParam();
    const float cap = cappedSetting (*c.bus);
    testing::Message table;
    double previous = 0.0, atCap = 0.0;

    for (const float setting : c.settings)
    {
        const double measured = decayTimeSeconds (*c.bus, setting, c.responseSeconds);
        table << setting << " s -> " << measured << " s\n";
        if (setting <= cap)
        {
            EXPECT_GT (measured, previous * 1.05) << "setting " << setting << "\n" << table;
            previous = measured;
        }
        else if (atCap == 0.0)
            atCap = measured;
        else
            EXPECT_NEAR (measured, atCap, 0.01 * atCap) << "beyond the cap, setting " << setting << "\n" << table;
    }
    EXPECT_NEAR (atCap, previous, 0.1 * previous) << "the first setting beyond the cap\n" << table;
}

INSTANTIATE_TEST_SUITE_P (
    Buses, ReverbDecay,
    testing::Values (DecayCase { &liveBus, { 0.3f, 0.6f, 1.0f, 1.6f, 2.5f, 3.5f, 4.4f, 6.0f, 8.0f }, 6.0 },
                     DecayCase { &flavourBus, { 0.3f, 1.0f, 2.0f, 4.0f, 6.0f, 8.5f, 12.0f, 45.0f }, 20.0 }),
    [] (const auto& c) { return std::string (c.param.bus->name); });

TEST (ReverbEngine, SilentBusFreezesItsTailAndResumesWhereItStopped)
{
    const Settings s;
    const auto tailThenFadeOut = [&]
    {
        auto reverb = settledReverb (liveBus, s);
        auto burst = noise (2, 4800);
        run (*reverb, burst, s);
        auto fade = silence (2, 8 * blockSize); // wet glides to 0 at 0.0028 per sample
        run (*reverb, fade, s, 0.0f);
        return reverb;
    };

    auto paused = tailThenFadeOut();
    auto pause = silence (2, static_cast<int> (5 * rate));
    run (*paused, pause, s, 0.0f);
    EXPECT_EQ (pause.getMagnitude (0, pause.getNumSamples()), 0.0f);

    auto direct = tailThenFadeOut();
    auto resumedAfterPause = silence (2, 9600), resumedAtOnce = silence (2, 9600);
    run (*paused, resumedAfterPause, s);
    run (*direct, resumedAtOnce, s);

    EXPECT_GT (resumedAtOnce.getMagnitude (0, 9600), 1.0e-4f) << "the tail should still be sounding";
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 9600; ++i)
            ASSERT_EQ (resumedAfterPause.getSample (ch, i), resumedAtOnce.getSample (ch, i)) << ch << ":" << i;
}

TEST (ReverbEngine, PreDelayPostponesTheFirstReflectionUpToTheRingLength)
{
    // The shortest line (29 ms at size 0.84) is first read back L - 2 samples after it was written.
    const int shortestLine = juce::roundToInt (29.0 * rate * 0.001 * 0.84);
    const int ringLength = juce::roundToInt (0.2 * rate) + blockSize + 8;

    const auto response = [&] (float preDelayMs)
    {
        Settings s;
        s.preDelayMs = preDelayMs;
        auto reverb = settledReverb (liveBus, s);
        auto r = silence (2, ringLength + 2 * shortestLine);
        r.setSample (0, 0, 1.0f);
        run (*reverb, r, s);
        return r;
    };

    const auto undelayed = response (0.0f);
    int first = 1;
    while (undelayed.getSample (0, first) == 0.0f)
        ++first;
    ASSERT_EQ (first, shortestLine - 2);

    // The pre-delay glides to within a float step of its target, which lets a 1e-4 share of the
    // impulse through one sample early: find the arrival by the first reflection's own level.
    const float firstReflection = std::abs (undelayed.getSample (0, first));
    const struct
    {
        float preDelayMs;
        int delaySamples;
    } cases[] { { 50.0f, 2400 }, { 120.0f, 5760 }, { 500.0f, ringLength - 1 } };

    for (const auto& c : cases)
    {
        const auto delayed = response (c.preDelayMs);
        int arrival = 1;
        while (arrival < delayed.getNumSamples() && std::abs (delayed.getSample (0, arrival)) < 0.5f * firstReflection)
            ++arrival;
        EXPECT_EQ (arrival, c.delaySamples + shortestLine - 2) << c.preDelayMs << " ms";
    }
}

TEST (ReverbEngine, ControlLimitsBehaveLikeTheirEdges)
{
    const auto output = [] (const Settings& s)
    {
        auto reverb = settledReverb (liveBus, s);
        auto signal = noise (2, 24000);
        run (*reverb, signal, s);
        return signal;
    };
    const auto same = [] (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
    {
        for (int ch = 0; ch < 2; ++ch)
            if (std::memcmp (a.getReadPointer (ch), b.getReadPointer (ch), sizeof (float) * size_t (a.getNumSamples()))
                != 0)
                return false;
        return true;
    };

    const auto with = [] (auto field, float value)
    {
        Settings s;
        s.*field = value;
        return s;
    };
    const struct
    {
        const char* what;
        Settings a, b;
        bool identical;
    } cases[] {
        { "high cut 19700 Hz is off", with (&Settings::highCutHz, 19700.0f), with (&Settings::highCutHz, 20000.0f),
          true },
        { "high cut 19699 Hz is on", with (&Settings::highCutHz, 19699.0f), with (&Settings::highCutHz, 20000.0f),
          false },
        { "high cut 1000 Hz acts as 2600 Hz", with (&Settings::highCutHz, 1000.0f),
          with (&Settings::highCutHz, 2600.0f), true },
        { "damping 500 Hz acts as 1200 Hz", with (&Settings::dampingHz, 500.0f), with (&Settings::dampingHz, 1200.0f),
          true },
        { "damping 20 kHz acts as 18 kHz", with (&Settings::dampingHz, 20000.0f), with (&Settings::dampingHz, 18000.0f),
          true },
        { "damping 17 kHz differs", with (&Settings::dampingHz, 17000.0f), with (&Settings::dampingHz, 18000.0f),
          false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (same (output (c.a), output (c.b)), c.identical) << c.what;
}

TEST (ReverbEngine, OneChannelBlockGetsTheReverbOfItsOwnSignalOnChannelZero)
{
    const Settings s;
    auto monoReverb = settledReverb (liveBus, s);
    auto stereoReverb = settledReverb (liveBus, s);
    auto mono = noise (1, 24000);
    const auto input = mono;
    juce::AudioBuffer<float> stereo (2, mono.getNumSamples());
    stereo.copyFrom (0, 0, mono, 0, 0, mono.getNumSamples());
    stereo.copyFrom (1, 0, mono, 0, 0, mono.getNumSamples());

    run (*monoReverb, mono, s, 1.0f, 0.7f);
    run (*stereoReverb, stereo, s, 1.0f, 0.7f);

    EXPECT_GT (test::rms (mono, 0, 12000) / test::rms (input, 0, 12000), 1.01) << "the reverb was not added";
    for (int i = 0; i < mono.getNumSamples(); ++i)
        ASSERT_EQ (mono.getSample (0, i), stereo.getSample (0, i)) << i;
}
