// CALIBRATE and ANALYZE: the values they set for silence and for signals worked by hand, progress,
// restarts, the loudness estimate against the reference meter, and how their results reach the host.
#include "AllocationCounter.h"
#include "TestSupport.h"
#include "render/Measurement.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
constexpr int calibrationSamples = 4 * 48000;
constexpr int analysisSamples = 5 * 48000;

juce::AudioBuffer<float> silence (int numSamples, int channels = 2)
{
    juce::AudioBuffer<float> b (channels, numSamples);
    b.clear();
    return b;
}

/** ±amplitude every other sample: |x| is constant, so every tracker settles at once. */
juce::AudioBuffer<float> square (int numSamples, float amplitude)
{
    juce::AudioBuffer<float> b (2, numSamples);
    for (int i = 0; i < numSamples; ++i)
        for (int ch = 0; ch < 2; ++ch)
            b.setSample (ch, i, i % 2 == 0 ? amplitude : -amplitude);
    return b;
}

/** The stereo sine (identical channels) whose summed channel power reads `lufs` with the -0.691 offset. */
juce::AudioBuffer<float> sineAtEstimatedLoudness (double lufs, int numSamples, int channels = 2)
{
    // Each channel's mean square is A²/2; summed over two channels A². A one-channel buffer counts twice.
    const auto amplitude = float (std::pow (10.0, (lufs + 0.691) / 20.0));
    return test::sine (channels, numSamples, 300.0, rate, amplitude);
}

struct HostListener : juce::AudioProcessorListener
{
    juce::StringArray changed;
    void audioProcessorParameterChanged (juce::AudioProcessor* p, int index, float) override
    {
        changed.addIfNotAlreadyThere (
            static_cast<juce::AudioProcessorParameterWithID*> (p->getParameters()[index])->paramID);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
};

class InputCaptures : public testing::Test
{
protected:
    std::unique_ptr<QuorinProcessor> processor = test::makeProcessor (rate, blockSize);

    void SetUp() override { test::set (*processor, Param::chainmode, 0.0f); } // "Mix / Master"

    void feed (juce::AudioBuffer<float> signal) { test::process (*processor, signal, blockSize); }

    void requestBoth()
    {
        processor->calibrateRequested.store (true);
        processor->analyzeRequested.store (true);
    }
};
} // namespace

TEST_F (InputCaptures, SilenceGivesTheWorkedValues)
{
    for (auto p : { Param::punchknobon, Param::limiteron, Param::loudnessmatch })
        test::set (*processor, p, 0.0f);
    test::set (*processor, Param::outputtarget, 0.0f);

    requestBoth();
    feed (silence (analysisSamples));

    EXPECT_TRUE (processor->calibrationDone.load());
    EXPECT_FALSE (processor->calibrating.load());
    EXPECT_EQ (processor->calibrateProgress.load(), 1.0f);
    EXPECT_FLOAT_EQ (processor->calibratedGate.load(), 0.02f);
    EXPECT_FLOAT_EQ (processor->calibratedLoudness.load(), 0.4485f); // 0.13 × 1.45 + 0.26
    EXPECT_FLOAT_EQ (processor->calibratedSmart.load(), 0.54f);      // floor 1e-5, peak 1e-4
    EXPECT_EQ (processor->calibratedNoiseFloorDb.load(), -100.0f);
    EXPECT_NEAR (processor->calibratedPeakDb.load(), -80.0f, 1.0e-4f);
    EXPECT_FLOAT_EQ (test::get (*processor, Param::gate), 0.02f);
    EXPECT_FLOAT_EQ (test::get (*processor, Param::loudness), 0.4485f);
    EXPECT_FLOAT_EQ (test::get (*processor, Param::smart), 0.54f);

    EXPECT_TRUE (processor->analysisDone.load());
    EXPECT_FALSE (processor->analyzing.load());
    EXPECT_EQ (processor->analyzeProgress.load(), 1.0f);
    EXPECT_EQ (processor->analysisRmsDb.load(), -100.0f);
    EXPECT_EQ (processor->analysisPeakDb.load(), -100.0f);
    EXPECT_NEAR (processor->analysisLufsEstimate.load(), -100.691f, 1.0e-4f);
    EXPECT_FLOAT_EQ (processor->analysisCeilingDb.load(), -1.1f);
    EXPECT_FLOAT_EQ (processor->analysisAttack.load(), 0.44f); // 0.34 + 0.018 × 11, clamped
    EXPECT_FLOAT_EQ (processor->analysisSustain.load(), 0.74f);
    EXPECT_NEAR (test::get (*processor, Param::limiterceiling), -1.1f, 1.0e-5f);
    EXPECT_FLOAT_EQ (test::get (*processor, Param::transientattack), 0.44f);
    EXPECT_FLOAT_EQ (test::get (*processor, Param::transientsustain), 0.74f);
    EXPECT_EQ (test::get (*processor, Param::outputtarget), 2.0f); // "YouTube -14 LUFS"
    for (auto p : { Param::punchknobon, Param::limiteron, Param::loudnessmatch })
        EXPECT_EQ (test::get (*processor, p), 1.0f) << parameterId (p);
}

TEST_F (InputCaptures, ProgressMovesOneBlockAtATimeAndHoldsWithoutBlocks)
{
    requestBoth();
    feed (silence (blockSize));
    EXPECT_TRUE (processor->calibrating.load());
    EXPECT_NEAR (processor->calibrateProgress.load(), 512.0 / 192000.0, 1.0e-7); // 0.27 % per block
    EXPECT_NEAR (processor->analyzeProgress.load(), 512.0 / 240000.0, 1.0e-7);

    feed (silence (99 * blockSize));
    EXPECT_NEAR (processor->calibrateProgress.load(), 100.0 * 512.0 / 192000.0, 1.0e-6);

    test::set (*processor, Param::bypass, 1.0f); // a bypassed block does not advance a capture
    feed (silence (10 * blockSize));
    EXPECT_NEAR (processor->calibrateProgress.load(), 100.0 * 512.0 / 192000.0, 1.0e-6);
}

TEST_F (InputCaptures, ASecondRequestRestartsFromZero)
{
    processor->calibrateRequested.store (true);
    feed (square (200 * blockSize, 0.5f)); // loud material that the restart must forget
    ASSERT_TRUE (processor->calibrating.load());

    processor->calibrateRequested.store (true);
    feed (silence (blockSize));
    EXPECT_NEAR (processor->calibrateProgress.load(), 512.0 / 192000.0, 1.0e-7);
    feed (silence (calibrationSamples - blockSize));
    EXPECT_TRUE (processor->calibrationDone.load());
    EXPECT_NEAR (processor->calibratedPeakDb.load(), -80.0f, 1.0e-4f); // the silence's, not the square's
}

TEST_F (InputCaptures, CalibrationOfASteadyLevelSetsGateLoudnessAndSmartFromIt)
{
    // |x| = 0.05 throughout: floor, peak and rms are all 0.05.
    processor->calibrateRequested.store (true);
    feed (square (calibrationSamples, 0.05f));
    EXPECT_NEAR (processor->calibratedGate.load(), 3.2f * 0.05f, 1.0e-5f);
    EXPECT_NEAR (processor->calibratedLoudness.load(), (0.13f - 0.05f) * 1.45f + 0.26f, 1.0e-5f);
    EXPECT_NEAR (processor->calibratedSmart.load(), 0.4f, 1.0e-5f);
    EXPECT_NEAR (processor->calibratedNoiseFloorDb.load(), 20.0 * std::log10 (0.05), 1.0e-3);
    EXPECT_NEAR (processor->calibratedPeakDb.load(), 20.0 * std::log10 (0.05), 1.0e-3);
}

TEST_F (InputCaptures, ATakeAtMinusTenLufsGetsAFourDecibelLowerCeilingAndStreamingSafe)
{
    // over = -10 + 14 = 4: ceiling -1.1 - 0.55 × 4 = -3.3. A sine's crest is 3.01 dB, so
    // attack = 0.34 - 0.018 × (3.01 - 11) - 0.022 × 4 and sustain = 0.74 - 0.012 × 4.
    const auto take = sineAtEstimatedLoudness (-10.0, analysisSamples);
    processor->analyzeRequested.store (true);
    feed (take);

    const double crest = 10.0 * std::log10 (2.0);
    EXPECT_NEAR (processor->analysisLufsEstimate.load(), -10.0, 0.01);
    EXPECT_NEAR (processor->analysisRmsDb.load(), -10.0 + 0.691 - crest, 0.01); // the mid signal's RMS
    EXPECT_NEAR (processor->analysisCeilingDb.load(), -3.3, 0.01);
    EXPECT_NEAR (processor->analysisAttack.load(), 0.34 - 0.018 * (crest - 11.0) - 0.022 * 4.0, 1.0e-3);
    EXPECT_NEAR (processor->analysisSustain.load(), 0.74 - 0.012 * 4.0, 1.0e-3);
    EXPECT_EQ (test::get (*processor, Param::outputtarget), 3.0f); // "Streaming Safe"

    // The estimate follows the output meter's convention (channel powers summed): the reference meter
    // reads the same take within the K-weighting's small gain at 300 Hz.
    ReferenceMeter meter (2, rate);
    meter.add (take, 0, take.getNumSamples());
    EXPECT_NEAR (processor->analysisLufsEstimate.load(), meter.reading().integratedLufs, 0.3);
}

TEST_F (InputCaptures, LivePerformanceKeepsTheYouTubeTargetAndShapesHarder)
{
    test::set (*processor, Param::chainmode, 1.0f);
    processor->analyzeRequested.store (true);
    feed (sineAtEstimatedLoudness (-10.0, analysisSamples));
    const double crest = 10.0 * std::log10 (2.0);
    EXPECT_NEAR (processor->analysisAttack.load(), 0.62 - 0.024 * (crest - 11.0) - 0.035 * 4.0, 1.0e-3);
    EXPECT_NEAR (processor->analysisSustain.load(), 0.66 - 0.018 * 4.0, 1.0e-3);
    EXPECT_EQ (test::get (*processor, Param::outputtarget), 2.0f);
}

TEST (InputCapturesMono, AOneChannelBufferCountsItsChannelTwice)
{
    auto processor = test::makeProcessor (rate, blockSize, 1, 1);
    test::set (*processor, Param::chainmode, 0.0f);
    processor->analyzeRequested.store (true);
    auto take = sineAtEstimatedLoudness (-10.0, analysisSamples, 1);
    test::process (*processor, take, blockSize);
    EXPECT_NEAR (processor->analysisLufsEstimate.load(), -10.0, 0.01);
    EXPECT_NEAR (processor->analysisRmsDb.load(), -10.0 + 0.691 - 10.0 * std::log10 (2.0), 0.01);
}

TEST_F (InputCaptures, ResultsReachTheHostThroughParameterNotifications)
{
    HostListener host;
    processor->addListener (&host);
    requestBoth();
    feed (sineAtEstimatedLoudness (-10.0, analysisSamples));
    processor->removeListener (&host);

    host.changed.sort (false);
    EXPECT_EQ (host.changed.joinIntoString (" "),
               "gate limiterceiling limiteron loudness loudnessmatch outputtarget punchknobon smart transientattack "
               "transientsustain");
}

TEST_F (InputCaptures, PreparationCancelsBothAndReleaseCancelsTheAnalysis)
{
    requestBoth();
    feed (silence (10 * blockSize));
    processor->releaseResources();
    EXPECT_FALSE (processor->analyzing.load());
    EXPECT_EQ (processor->analyzeProgress.load(), 0.0f);
    EXPECT_TRUE (processor->calibrating.load());

    processor->prepareToPlay (rate, blockSize);
    EXPECT_FALSE (processor->calibrating.load());
    EXPECT_EQ (processor->calibrateProgress.load(), 0.0f);
    feed (silence (calibrationSamples));
    EXPECT_FALSE (processor->calibrationDone.load()); // nothing left running
    EXPECT_FALSE (processor->analysisDone.load());
}

TEST_F (InputCaptures, CapturesAndTheirParameterWritesDoNotAllocate)
{
    if (! allocationCountingAvailable())
        GTEST_SKIP() << "allocations cannot be counted under a sanitizer";

    // The whole chain runs, as it does while a capture is under way, so the parameter changes that
    // the captures write on completion go through every stage too.
    const auto input = sineAtEstimatedLoudness (-10.0, blockSize);
    auto block = input;
    juce::MidiBuffer midi;
    processor->processBlock (block, midi); // settle anything made on first use
    requestBoth();

    ScopedAllocationCounter counter;
    for (int n = 0; n < analysisSamples / blockSize + 1; ++n)
    {
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom (ch, 0, input, ch, 0, blockSize);
        processor->processBlock (block, midi);
    }
    EXPECT_EQ (counter.count(), 0u);
    EXPECT_TRUE (processor->calibrationDone.load());
    EXPECT_TRUE (processor->analysisDone.load());
}

namespace
{
/** The floor trackers of the calibration, run again from their rules on a level that steps to
    another `stepSamples` before the end: the fast floor falls at 0.035 and rises at 0.0012 per
    sample; the floor follows a fall at 0.18 and a rise at 0.0002 per sample. */
double trackedFloor (float before, float after, int stepSamples)
{
    double fast = -1.0, floor = 1.0;
    for (int n = 0; n < calibrationSamples; ++n)
    {
        const double x = n < calibrationSamples - stepSamples ? before : after;
        fast = fast < 0.0 ? std::max (1.0e-6, x) : fast + (x - fast) * (x < fast ? 0.035 : 0.0012);
        floor = floor >= 1.0 ? fast : (floor > fast ? 0.82 * floor + 0.18 * fast : floor + (fast - floor) * 0.0002);
    }
    return floor;
}

struct LevelStep
{
    float before, after;
    int stepSamples;
};
void PrintTo (const LevelStep& s, std::ostream* os)
{
    *os << s.before << " to " << s.after << " for " << s.stepSamples;
}

class CalibrationFloor : public testing::TestWithParam<LevelStep>
{
};
} // namespace

TEST_P (CalibrationFloor, ALevelStepMovesTheFloorTrackerAtItsRates)
{
    const auto& step = GetParam();
    auto processor = test::makeProcessor (rate, blockSize);
    test::set (*processor, Param::chainmode, 0.0f);
    auto signal = square (calibrationSamples, step.before);
    for (int i = calibrationSamples - step.stepSamples; i < calibrationSamples; ++i)
        for (int ch = 0; ch < 2; ++ch)
            signal.setSample (ch, i, i % 2 == 0 ? step.after : -step.after);

    processor->calibrateRequested.store (true);
    test::process (*processor, signal, blockSize);
    const double expected = trackedFloor (step.before, step.after, step.stepSamples);
    ASSERT_GT (std::abs (expected - step.before), 0.05 * step.before); // the step did move the floor
    EXPECT_NEAR (processor->calibratedNoiseFloorDb.load(), 20.0 * std::log10 (expected), 0.02);
}

INSTANTIATE_TEST_SUITE_P (InputCaptures, CalibrationFloor,
                          testing::Values (LevelStep { 0.01f, 0.05f, 2000 }, LevelStep { 0.01f, 0.05f, 12000 },
                                           LevelStep { 0.05f, 0.01f, 40 }, LevelStep { 0.05f, 0.02f, 8 }));
