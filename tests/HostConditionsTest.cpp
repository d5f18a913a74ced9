// Hard conditions a host can create: every sample rate from 8 kHz to 384 kHz, and the host contract
// mistakes (no prepare, after release, odd block sizes and channel counts) that must never crash,
// hang or write outside a buffer.
#include "TestSupport.h"

namespace
{
/** Drum-like noise bursts every 100 ms over a quiet 220 Hz tone: energy from the lows to Nyquist. */
juce::AudioBuffer<float> burstTake (double sampleRate, double seconds)
{
    const int n = int (seconds * sampleRate);
    juce::AudioBuffer<float> b (2, n);
    juce::Random random (7);
    const int period = int (0.1 * sampleRate);
    for (int i = 0; i < n; ++i)
    {
        const double sinceBurst = (i % period) / sampleRate;
        const float burst = 0.6f * float (std::exp (-sinceBurst / 0.03)) * (2.0f * random.nextFloat() - 1.0f);
        const float tone = 0.1f * float (std::sin (2.0 * test::pi * 220.0 * i / sampleRate));
        b.setSample (0, i, burst + tone);
        b.setSample (1, i, 0.8f * burst + tone);
    }
    return b;
}

/** The output ceiling in force: the lower of the target's nominal ceiling and the limiter's own. */
float ceilingGain (QuorinProcessor& p)
{
    constexpr float nominalDb[] { 0.0f, -0.8f, -1.0f, -1.2f, -2.0f }; // by output target
    const float db =
        std::min (nominalDb[int (test::get (p, Param::outputtarget))], test::get (p, Param::limiterceiling));
    return std::pow (10.0f, db / 20.0f);
}

enum class Setting
{
    mixClean,
    livePerformance
};

void apply (QuorinProcessor& p, Setting setting)
{
    if (setting == Setting::livePerformance)
    {
        p.loadBeatboxTightPreset();
        test::set (p, Param::speaker, 2.0f); // "Small Room"
        test::set (p, Param::air, 0.9f);
        test::set (p, Param::width, 0.8f);
    }
    test::set (p, Param::limpct, 1.0f);
}

struct RateCase
{
    double sampleRate;
    Setting setting;
};

void PrintTo (const RateCase& c, std::ostream* os)
{
    *os << c.sampleRate << (c.setting == Setting::mixClean ? " Mix Clean" : " Live Performance");
}

class EverySampleRate : public testing::TestWithParam<RateCase>
{
};

std::vector<RateCase> rateCases()
{
    std::vector<RateCase> cases;
    for (double rate : { 8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0,
                         192000.0, 384000.0 })
        for (auto setting : { Setting::mixClean, Setting::livePerformance })
            cases.push_back ({ rate, setting });
    return cases;
}
} // namespace

TEST_P (EverySampleRate, OutputIsFiniteMovingAndWithinTheCeiling)
{
    const auto& c = GetParam();
    auto processor = test::makeProcessor (c.sampleRate, 512);
    apply (*processor, c.setting);
    processor->prepareToPlay (c.sampleRate, 512);

    auto signal = burstTake (c.sampleRate, 0.6);
    test::process (*processor, signal, 512);

    const float ceiling = ceilingGain (*processor);
    const int half = signal.getNumSamples() / 2;
    for (int ch = 0; ch < 2; ++ch)
    {
        double variation = 0.0;
        for (int i = 0; i < signal.getNumSamples(); ++i)
        {
            const float x = signal.getSample (ch, i);
            ASSERT_TRUE (std::isfinite (x)) << "channel " << ch << " sample " << i;
            ASSERT_LE (std::abs (x), ceiling + 1.0e-6f) << "channel " << ch << " sample " << i;
            if (i > half)
                variation += std::abs (x - signal.getSample (ch, i - 1));
        }
        // A filter that runs away leaves the ceiling holding a constant: no sample-to-sample motion.
        EXPECT_GT (variation / half, 1.0e-3) << "channel " << ch << " is stuck";
        EXPECT_GT (test::rms (signal, ch, half), 1.0e-3) << "channel " << ch << " fell silent";
    }
}

INSTANTIATE_TEST_SUITE_P (HostConditions, EverySampleRate, testing::ValuesIn (rateCases()));

namespace
{
/** Every sample finite and within full scale. */
void expectSane (const juce::AudioBuffer<float>& b, const char* what)
{
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        for (int i = 0; i < b.getNumSamples(); ++i)
            ASSERT_TRUE (std::isfinite (b.getSample (ch, i)) && std::abs (b.getSample (ch, i)) <= 1.0f)
                << what << ": channel " << ch << " sample " << i;
}

bool silent (const juce::AudioBuffer<float>& b)
{
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        if (b.getMagnitude (ch, 0, b.getNumSamples()) != 0.0f)
            return false;
    return true;
}

juce::AudioBuffer<float> loudBlock (int numChannels, int numSamples)
{
    return test::sine (numChannels, numSamples, 997.0, 48000.0, 0.9f);
}

/** Processes one block as the case leaves the processor; returns the output. */
juce::AudioBuffer<float> processOnce (QuorinProcessor& p, int numChannels = 2, int numSamples = 512)
{
    auto block = loudBlock (numChannels, numSamples);
    juce::MidiBuffer midi;
    p.processBlock (block, midi);
    return block;
}

struct MistakeCase
{
    const char* name;
    void (*mistake) (QuorinProcessor&); // what the host does wrong, from a fresh processor
    bool silentBlock;                   // whether the next 512-sample stereo block must come out silent
};

void PrintTo (const MistakeCase& c, std::ostream* os) { *os << c.name; }

const MistakeCase mistakeCases[] = {
    { "never prepared", [] (QuorinProcessor&) {}, true },
    { "released",
      [] (QuorinProcessor& p)
      {
          p.prepareToPlay (48000.0, 512);
          p.releaseResources();
      },
      true },
    { "released with bypass on",
      [] (QuorinProcessor& p)
      {
          p.prepareToPlay (48000.0, 512);
          test::set (p, Param::bypass, 1.0f);
          p.releaseResources();
      },
      true },
    { "prepared for 0 samples", [] (QuorinProcessor& p) { p.prepareToPlay (48000.0, 0); }, false },
    { "prepared for -64 samples", [] (QuorinProcessor& p) { p.prepareToPlay (48000.0, -64); }, false },
    { "prepared for 16 samples", [] (QuorinProcessor& p) { p.prepareToPlay (48000.0, 16); }, false },
};

class HostMistakes : public testing::TestWithParam<MistakeCase>
{
};
} // namespace

TEST_P (HostMistakes, NeverCrashHangOrOverrunAndRecoverAtTheNextPrepare)
{
    const auto& c = GetParam();
    QuorinProcessor processor;
    c.mistake (processor);

    const auto out = processOnce (processor);
    expectSane (out, c.name);
    EXPECT_EQ (silent (out), c.silentBlock);

    // Longer than any block prepared above, with one, two and four channels.
    for (int channels : { 1, 2, 4 })
        expectSane (processOnce (processor, channels, 8192), c.name);

    test::set (processor, Param::bypass, 0.0f);
    processor.prepareToPlay (48000.0, 512);
    for (int i = 0; i < 8; ++i)
    {
        const auto recovered = processOnce (processor);
        expectSane (recovered, c.name);
        if (i == 7)
        {
            EXPECT_GT (recovered.getMagnitude (0, 0, 512), 0.1f) << "no sound after a proper prepare";
        }
    }
}

INSTANTIATE_TEST_SUITE_P (HostConditions, HostMistakes, testing::ValuesIn (mistakeCases),
                          [] (const testing::TestParamInfo<MistakeCase>& param)
                          { return juce::String (param.param.name).replaceCharacters (" -", "__").toStdString(); });

TEST (HostConditions, ChannelsBeyondTheTwoPreparedAreClearedAndTheFirstTwoProcessed)
{
    auto wide = test::makeProcessor (48000.0, 512);
    auto plain = test::makeProcessor (48000.0, 512);
    for (int block = 0; block < 4; ++block)
    {
        const auto fromWide = processOnce (*wide, 4);
        const auto fromPlain = processOnce (*plain, 2);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 512; ++i)
                ASSERT_EQ (fromWide.getSample (ch, i), fromPlain.getSample (ch, i)) << ch << " " << i;
        EXPECT_EQ (fromWide.getMagnitude (2, 0, 512) + fromWide.getMagnitude (3, 0, 512), 0.0f);
    }
}
