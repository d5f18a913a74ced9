// The true-peak meter (ITU-R BS.1770-4 Annex 2) against EBU Tech 3341 and libebur128, and the guard
// that holds the output's true peak at the ceiling.
#include "StageDriving.h"
#include "chain/TruePeakGuard.h"
#include "chain/TruePeakMeter.h"
#include "demo/DemoTake.h"
#include "engines/LoudnessAnalyzer.h"
#include "render/Measurement.h"

namespace
{
double referenceTruePeakDb (const juce::AudioBuffer<float>& signal, double sampleRate)
{
    ReferenceMeter meter (signal.getNumChannels(), sampleRate);
    meter.add (signal, 0, signal.getNumSamples());
    return meter.reading().truePeakDbtp;
}

float meterReadingDb (juce::AudioBuffer<float> signal, double sampleRate, int blockSize = 512)
{
    TruePeakMeter meter;
    meter.prepare (sampleRate);
    float peak = 0.0f;
    test::processInBlocks (signal, blockSize,
                           [&] (juce::AudioBuffer<float>& view) { peak = juce::jmax (peak, meter.measure (view)); });
    return TruePeakMeter::toDbtp (peak);
}

/** A pulse band-limited to `cutoffHz` (Hann-windowed sinc, 64 samples either side) whose continuous
    peak is exactly 1 and falls `offset` samples after sample 1000. */
juce::AudioBuffer<float> bandLimitedPulse (double sampleRate, double cutoffHz, double offset)
{
    juce::AudioBuffer<float> b (1, 4800);
    b.clear();
    const double bandwidth = 2.0 * cutoffHz / sampleRate;
    for (int n = 1000 - 70; n <= 1000 + 70; ++n)
    {
        const double t = n - 1000 - offset;
        if (std::abs (t) >= 64.0)
            continue;
        const double x = test::pi * bandwidth * t;
        const double sinc = std::abs (x) < 1.0e-12 ? 1.0 : std::sin (x) / x;
        b.setSample (0, n, static_cast<float> (sinc * 0.5 * (1.0 + std::cos (test::pi * t / 64.0))));
    }
    return b;
}

/** Half a second of a sine with 20 ms raised-cosine fades, so that no meter sees a step at its ends
    (an abrupt start rings in any interpolator and reads high). */
juce::AudioBuffer<float> tone (double sampleRate, double frequency, double amplitude, double phaseDegrees)
{
    const int length = static_cast<int> (sampleRate / 2);
    auto b =
        test::sine (1, length, frequency, sampleRate, static_cast<float> (amplitude), phaseDegrees * test::pi / 180.0);
    const int fade = static_cast<int> (0.02 * sampleRate);
    for (int i = 0; i < fade; ++i)
    {
        const auto gain = static_cast<float> (0.5 - 0.5 * std::cos (test::pi * i / fade));
        b.applyGain (0, i, 1, gain);
        b.applyGain (0, length - 1 - i, 1, gain);
    }
    return b;
}
} // namespace

// EBU Tech 3341 true-peak cases 15 to 23, synthesised at 48 kHz: a meter passes within +0.2 / -0.4 dB.
TEST (TruePeakMeter, ReadsTheTech3341TruePeakCases)
{
    constexpr double fs = 48000.0;
    const struct
    {
        const char* name;
        juce::AudioBuffer<float> signal;
        double expectedDbtp;
    } cases[] {
        { "15: fs/4, 0.50, 0 deg", tone (fs, fs / 4, 0.5, 0.0), -6.0 },
        { "16: fs/4, 0.50, 45 deg", tone (fs, fs / 4, 0.5, 45.0), -6.0 },
        { "17: fs/6, 0.50, 60 deg", tone (fs, fs / 6, 0.5, 60.0), -6.0 },
        { "18: fs/8, 0.50, 67.5 deg", tone (fs, fs / 8, 0.5, 67.5), -6.0 },
        { "19: fs/4, 1.41, 45 deg", tone (fs, fs / 4, 1.41, 45.0), 3.0 },
        { "20: pulse on a sample", bandLimitedPulse (fs, 16000.0, 0.0), 0.0 },
        { "21: pulse a quarter sample late", bandLimitedPulse (fs, 16000.0, 0.25), 0.0 },
        { "22: pulse half a sample late", bandLimitedPulse (fs, 16000.0, 0.5), 0.0 },
        { "23: pulse three quarters late", bandLimitedPulse (fs, 16000.0, 0.75), 0.0 },
    };
    for (const auto& c : cases)
    {
        const float reading = meterReadingDb (c.signal, fs);
        EXPECT_LE (reading, c.expectedDbtp + 0.2) << c.name;
        EXPECT_GE (reading, c.expectedDbtp - 0.4) << c.name;
    }
    // The pulses are real inter-sample peaks: between samples they read well above the samples.
    EXPECT_LT (test::toDb (cases[7].signal.getMagnitude (0, 0, 4800)), -1.0);
}

TEST (TruePeakMeter, AgreesWithTheReferenceMeterAtEveryRate)
{
    for (const double fs : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        const struct
        {
            const char* name;
            juce::AudioBuffer<float> signal;
        } cases[] {
            { "fs/4 at 45 deg", tone (fs, fs / 4, 0.5, 45.0) }, { "997 Hz", tone (fs, 997.0, 0.7, 10.0) },
            { "5 kHz", tone (fs, 5000.0, 0.7, 33.0) },          { "15 kHz", tone (fs, 15000.0, 0.7, 71.0) },
            { "19 kHz", tone (fs, 19000.0, 0.7, 12.0) },        { "pulse", bandLimitedPulse (fs, 16000.0, 0.4) },
        };
        for (const auto& c : cases)
            EXPECT_NEAR (meterReadingDb (c.signal, fs), referenceTruePeakDb (c.signal, fs), 0.2)
                << c.name << " at " << fs;
    }

    const auto take = demo::makeDemoTake();
    EXPECT_NEAR (meterReadingDb (take, demo::takeSampleRate), referenceTruePeakDb (take, demo::takeSampleRate), 0.2);
}

TEST (TruePeakMeter, ReadingDoesNotDependOnTheBlockSize)
{
    const auto take = demo::makeDemoTake (48000.0, 3.0);
    const float whole = meterReadingDb (take, 48000.0, take.getNumSamples());
    for (const int blockSize : { 1, 13, 64, 4096 })
        EXPECT_EQ (meterReadingDb (take, 48000.0, blockSize), whole) << blockSize;
}

// The hold falls 37.5 dB a second (0.4 dB a block of 512 at 48 kHz) whatever the block size.
TEST (TruePeakMeter, HoldFallsAtTheSameRatePerSecondAtEveryBlockSize)
{
    for (const int blockSize : { 64, 512, 2048 })
    {
        auto processor = test::preparedWith ({ { Param::loudnessmeter, 1.0f }, { Param::outputtarget, 0.0f } }, 2,
                                             48000.0, blockSize);
        test::PreparedStage<OutputMeters> meters { 48000.0, blockSize };
        LoudnessAnalyzer analyzer;
        analyzer.prepare ({ 48000.0, 512, 2 });
        float heldDb = 0.0f;
        const auto measure = [&] (juce::AudioBuffer<float>& b, const ChainBlock& block)
        { heldDb = meters.process (b, block, analyzer).truePeakDb; };

        auto loud = test::sine (2, 2048, 1000.0, 48000.0, 1.0f);
        test::driveStage (*processor, loud, blockSize, measure);
        const float held = heldDb;
        EXPECT_NEAR (held, 0.0f, 0.05f);

        // The interpolator still holds the sine's last samples for the first silent block.
        juce::AudioBuffer<float> silence (2, 24576); // 0.512 s
        silence.clear();
        test::driveStage (*processor, silence, blockSize, measure);
        const float falling = heldDb;
        ASSERT_LT (falling, held - 15.0f);
        silence.clear();
        test::driveStage (*processor, silence, blockSize, measure);
        EXPECT_NEAR (heldDb, falling - 37.5f * 0.512f, 1.0e-3f) << blockSize;
    }
}

//==============================================================================
namespace
{
juce::AudioBuffer<float> guarded (juce::AudioBuffer<float> signal, float ceiling, double sampleRate, int blockSize,
                                  int& latency)
{
    TruePeakGuard guard;
    guard.prepare (sampleRate);
    latency = guard.latency();
    test::processInBlocks (signal, blockSize, [&] (juce::AudioBuffer<float>& view) { guard.process (view, ceiling); });
    return signal;
}
} // namespace

TEST (TruePeakGuard, LeavesMaterialUnderTheCeilingUntouchedButForItsDelay)
{
    for (const double fs : { 44100.0, 48000.0, 96000.0, 192000.0 })
        for (const int blockSize : { 1, 64, 700 })
        {
            const auto input = test::whiteNoise (2, 8000, 0.4f, 5);
            ASSERT_LT (referenceTruePeakDb (input, fs), test::toDb (0.9));
            int latency = 0;
            const auto output = guarded (input, 0.9f, fs, blockSize, latency);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < output.getNumSamples(); ++i)
                    ASSERT_EQ (output.getSample (ch, i), i < latency ? 0.0f : input.getSample (ch, i - latency))
                        << fs << " Hz, block " << blockSize << ", " << ch << ":" << i;
        }
}

TEST (TruePeakGuard, HoldsTheTruePeakAtTheCeilingAtEveryRate)
{
    for (const double fs : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        const float ceiling = juce::Decibels::decibelsToGain (-1.0f);
        const auto input = test::whiteNoise (2, static_cast<int> (fs / 2), 2.0f, 7);
        int latency = 0;
        const auto output = guarded (input, ceiling, fs, 512, latency);
        EXPECT_LE (referenceTruePeakDb (output, fs), -1.0 + 0.1) << fs;
        EXPECT_GT (referenceTruePeakDb (output, fs), -1.0 - 0.5) << "it limits, it does not duck, at " << fs;
    }
}

TEST (TruePeakInterpolator, BlockReadingsEqualSampleBySampleReadingsBitForBit)
{
    // The block routine against the plain one, at each oversampling factor and over awkward splits.
    for (double rate : { 48000.0, 96000.0, 192000.0 })
    {
        juce::Random random (11);
        std::vector<float> signal (5000);
        for (auto& x : signal)
            x = random.nextFloat() * 2.0f - 1.0f;

        TruePeakInterpolator plain, blockwise;
        plain.prepare (rate);
        blockwise.prepare (rate);
        std::vector<float> expected, actual (signal.size());
        for (float x : signal)
            expected.push_back (plain.push (x));
        const std::array<size_t, 7> lengths { 1, 13, 64, 65, 700, 31, 4096 };
        for (size_t start = 0, piece = 0; start < signal.size(); ++piece)
        {
            const auto count = std::min (lengths[piece % lengths.size()], signal.size() - start);
            blockwise.pushBlock (signal.data() + start, static_cast<int> (count), actual.data() + start);
            start += count;
        }
        EXPECT_EQ (actual, expected) << rate;
    }
}
