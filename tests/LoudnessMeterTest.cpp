// Loudness analyzer against libebur128.
#include "StageDriving.h"
#include "engines/LoudnessAnalyzer.h"
#include "render/Measurement.h"

namespace
{
constexpr double rate = 48000.0;
using Analyzer = QuorinProcessor::LoudnessAnalyzer;

/** Paul Kellet's pink filter over seeded white noise, independent per channel. */
juce::AudioBuffer<float> pinkNoise (int numChannels, int numSamples, float amplitude)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    juce::Random random (1234);
    for (int ch = 0; ch < numChannels; ++ch)
    {
        double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
        for (int i = 0; i < numSamples; ++i)
        {
            const double white = random.nextDouble() * 2.0 - 1.0;
            b0 = 0.99886 * b0 + white * 0.0555179;
            b1 = 0.99332 * b1 + white * 0.0750759;
            b2 = 0.96900 * b2 + white * 0.1538520;
            b3 = 0.86650 * b3 + white * 0.3104856;
            b4 = 0.55000 * b4 + white * 0.5329522;
            b5 = -0.7616 * b5 - white * 0.0168980;
            const double pink = b0 + b1 + b2 + b3 + b4 + b5 + b6 + white * 0.5362;
            b6 = white * 0.115926;
            b.setSample (ch, i, static_cast<float> (amplitude * pink * 0.11));
        }
    }
    return b;
}

juce::AudioBuffer<float> stereoSine (double frequency, float amplitude, double seconds = 20.0)
{
    return test::sine (2, static_cast<int> (seconds * rate), frequency, rate, amplitude);
}

/** The analyzer's published value after the whole signal, fed in 512-sample buffers. */
float analyzerReading (const juce::AudioBuffer<float>& signal)
{
    Analyzer analyzer;
    analyzer.prepare ({ rate, 512, 2 });
    float lufs = -70.0f;
    auto copy = signal;
    for (int start = 0; start < copy.getNumSamples(); start += 512)
    {
        const juce::AudioBuffer<float> view (copy.getArrayOfWritePointers(), copy.getNumChannels(), start,
                                             juce::jmin (512, copy.getNumSamples() - start));
        lufs = analyzer.process (view).value_or (lufs);
    }
    return lufs;
}

/** libebur128's integrated loudness; a one-channel signal is counted on both channels (dual mono). */
double referenceLufs (const juce::AudioBuffer<float>& signal)
{
    ReferenceMeter meter (2, rate);
    meter.add (signal, 0, signal.getNumSamples());
    return meter.reading().integratedLufs;
}

struct LoudnessCase
{
    const char* name;
    std::function<juce::AudioBuffer<float>()> make;
    double tolerance;
    double expectedLufs; // worked by hand; NaN when only the reference applies
};

const LoudnessCase loudnessCases[] {
    { "sine_1k_minus23dBFS", [] { return stereoSine (1000.0, juce::Decibels::decibelsToGain (-23.0f)); }, 0.1, -23.0 },
    // Peak 0.1 on both channels: 10·log10(0.005 + 0.005) − 0.691 + 0.66 (K-weighting at 1 kHz).
    { "sine_1k_peak_0_1", [] { return stereoSine (1000.0, 0.1f); }, 0.1, -20.0 },
    { "pink_noise", [] { return pinkNoise (2, static_cast<int> (20 * rate), 0.5f); }, 0.2, std::nan ("") },
    { "sine_100Hz", [] { return stereoSine (100.0, 0.3f); }, 0.2, std::nan ("") },
    { "sine_10kHz", [] { return stereoSine (10000.0, 0.3f); }, 0.2, std::nan ("") },
    { "mono_pink_noise", [] { return pinkNoise (1, static_cast<int> (20 * rate), 0.5f); }, 0.2, std::nan ("") },
    { "different_channels",
      []
      {
          auto b = pinkNoise (2, static_cast<int> (20 * rate), 0.5f);
          b.copyFrom (1, 0, test::sine (1, b.getNumSamples(), 440.0, rate, 0.2f), 0, 0, b.getNumSamples());
          return b;
      },
      0.2, std::nan ("") },
};

class LoudnessAgainstReference : public testing::TestWithParam<LoudnessCase>
{
};
} // namespace

TEST_P (LoudnessAgainstReference, IntegratedLoudnessMatchesAfterTwentySeconds)
{
    const auto signal = GetParam().make();
    const float reading = analyzerReading (signal);
    EXPECT_NEAR (reading, referenceLufs (signal), GetParam().tolerance);
    if (! std::isnan (GetParam().expectedLufs))
    {
        EXPECT_NEAR (reading, GetParam().expectedLufs, GetParam().tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P (Signals, LoudnessAgainstReference, testing::ValuesIn (loudnessCases),
                          [] (const auto& c) { return std::string (c.param.name); });

TEST (LoudnessAnalyzer, MonoBufferReadsLikeTheSameSignalOnBothChannels)
{
    const auto mono = pinkNoise (1, static_cast<int> (10 * rate), 0.5f);
    juce::AudioBuffer<float> stereo (2, mono.getNumSamples());
    for (int ch = 0; ch < 2; ++ch)
        stereo.copyFrom (ch, 0, mono, 0, 0, mono.getNumSamples());
    EXPECT_NEAR (analyzerReading (mono), analyzerReading (stereo), 1.0e-4);
}

TEST (LoudnessAnalyzer, SilenceStaysAtTheFloorAndNothingIsWrittenBeforeTheFirstBlock)
{
    Analyzer analyzer;
    analyzer.prepare ({ rate, 512, 2 });
    juce::AudioBuffer<float> silence (2, 19199); // one sample short of a 400 ms block
    silence.clear();
    EXPECT_FALSE (analyzer.process (silence).has_value());

    juce::AudioBuffer<float> more (2, 48000);
    more.clear();
    EXPECT_EQ (analyzer.process (more), std::optional<float> (-70.0f));
}

TEST (LoudnessAnalyzer, OldBlocksLeaveTheIntegrationAfterTwoHundredFortySeconds)
{
    // One 400 ms block holds exactly 400 periods of 1 kHz, so each level is one reusable block.
    constexpr int blockLength = 19200;
    const auto loud = test::sine (2, blockLength, 1000.0, rate, 0.3f);
    const auto quiet = test::sine (2, blockLength, 1000.0, rate, 0.15f); // 6 dB down: inside the relative gate
    const double loudLufs = referenceLufs (stereoSine (1000.0, 0.3f, 10.0));
    const double quietLufs = referenceLufs (stereoSine (1000.0, 0.15f, 10.0));

    Analyzer analyzer;
    analyzer.prepare ({ rate, 512, 2 });
    float lufs = -70.0f;
    const auto feed = [&] (const juce::AudioBuffer<float>& block, int count)
    {
        for (int n = 0; n < count; ++n)
            lufs = analyzer.process (block).value_or (lufs);
    };

    feed (loud, 600); // 240 s
    EXPECT_NEAR (lufs, loudLufs, 0.05);

    feed (quiet, 300); // the ring now holds 300 loud and 300 quiet blocks
    const double half =
        10.0 * std::log10 ((std::pow (10.0, loudLufs / 10.0) + std::pow (10.0, quietLufs / 10.0)) / 2.0);
    const double wholeHistory =
        10.0
        * std::log10 ((600.0 * std::pow (10.0, loudLufs / 10.0) + 300.0 * std::pow (10.0, quietLufs / 10.0)) / 900.0);
    ASSERT_GT (std::abs (half - wholeHistory), 0.5) << "the case must tell a sliding window from a growing one";
    EXPECT_NEAR (lufs, half, 0.05);

    feed (quiet, 300);
    EXPECT_NEAR (lufs, quietLufs, 0.05);
}
