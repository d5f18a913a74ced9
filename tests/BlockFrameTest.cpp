// The block frame: input repair, bypass, module fades, sanitising, peaks, empty blocks, allocations.
#include "AllocationCounter.h"
#include "TestSupport.h"

namespace
{
juce::AudioBuffer<float> stereoPair (float leftAmplitude, float rightAmplitude, int numSamples = 512)
{
    auto b = test::sine (2, numSamples, 440.0, 48000.0, 1.0f);
    b.applyGain (0, 0, numSamples, leftAmplitude);
    b.applyGain (1, 0, numSamples, rightAmplitude);
    return b;
}

/** The module fades as the last block left them. */
ModuleFades fadesOf (const QuorinProcessor& p) { return p.restingBlock (1).fades; }

/** Bypass keeps the latency in force: output sample i is input sample i − latency. */
void expectChannelsEqual (const juce::AudioBuffer<float>& out, int chOut, const juce::AudioBuffer<float>& in, int chIn,
                          int latency)
{
    ASSERT_LT (latency, out.getNumSamples());
    for (int i = latency; i < out.getNumSamples(); ++i)
        ASSERT_EQ (out.getSample (chOut, i), in.getSample (chIn, i - latency)) << "sample " << i;
}

class BlockFrame : public testing::Test
{
protected:
    std::unique_ptr<QuorinProcessor> processor = test::makeProcessor();
    juce::MidiBuffer midi;

    void bypass() { test::set (*processor, Param::bypass, 1.0f); }
};
} // namespace

TEST_F (BlockFrame, OneSidedStereoInputIsHeardOnBothSides)
{
    bypass();
    const auto input = stereoPair (0.5f, 0.004f); // right below 1 % of the left
    auto block = input;
    processor->processBlock (block, midi);
    const int latency = processor->getLatencySamples();
    expectChannelsEqual (block, 1, input, 0, latency);
    expectChannelsEqual (block, 0, input, 0, latency);

    const auto leftSilent = stereoPair (0.0f, 0.3f);
    block = leftSilent;
    processor->processBlock (block, midi);
    expectChannelsEqual (block, 0, leftSilent, 1, latency);
}

TEST_F (BlockFrame, QuietButRealRightChannelIsLeftAlone)
{
    bypass();
    const auto input = stereoPair (0.5f, 0.006f); // 1.2 % of the left
    auto block = input;
    processor->processBlock (block, midi);
    expectChannelsEqual (block, 1, input, 1, processor->getLatencySamples());
}

TEST (BlockFrameMono, MonoInputBusFillsTheSecondChannel)
{
    auto processor = test::makeProcessor (48000.0, 512, 1, 2);
    test::set (*processor, Param::bypass, 1.0f);
    auto block = stereoPair (0.5f, 0.0f);
    block.applyGain (1, 0, 512, 0.0f);
    block.addFrom (1, 0, test::sine (1, 512, 3000.0, 48000.0, 0.9f), 0, 0, 512); // junk beyond the input bus
    const auto input = block;
    juce::MidiBuffer midi;
    processor->processBlock (block, midi);
    expectChannelsEqual (block, 1, input, 0, processor->getLatencySamples());
}

TEST_F (BlockFrame, BypassKeepsTheRepairedInputAndMeasuresItsPeaks)
{
    bypass();
    auto block = stereoPair (0.5f, 0.0f);
    processor->processBlock (block, midi);
    EXPECT_FLOAT_EQ (processor->outputPeakLeft.load(), block.getMagnitude (0, 0, 512));
    EXPECT_FLOAT_EQ (processor->outputPeakRight.load(), block.getMagnitude (0, 0, 512));
    EXPECT_NEAR (processor->outputPeakLeft.load(), 0.5f, 1.0e-3f);
}

TEST_F (BlockFrame, FadesFollowTheirSwitchWithATwentyMillisecondTimeConstant)
{
    processor = test::makeProcessor (48000.0, 64);
    test::set (*processor, Param::saturationon, 0.0f);
    auto block = stereoPair (0.1f, 0.1f, 64);

    // k = 64 / 960 per block.
    const double k = 64.0 / 960.0;
    for (int n = 1; n <= 30; ++n)
    {
        processor->processBlock (block, midi);
        EXPECT_NEAR (fadesOf (*processor).saturation, std::pow (1.0 - k, n), 1.0e-5) << n;
    }
    EXPECT_NEAR (fadesOf (*processor).dynamics, 1.0, 1.0e-6);

    test::set (*processor, Param::saturationon, 1.0f);
    processor->processBlock (block, midi);
    EXPECT_NEAR (fadesOf (*processor).saturation, std::pow (1.0 - k, 30) * (1.0 - k) + k, 1.0e-5);
}

TEST_F (BlockFrame, BlocksLongerThanTwentyMillisecondsSwitchAtOnceEvenBeyondThePreparedSize)
{
    test::set (*processor, Param::widthon, 0.0f);
    auto block = stereoPair (0.1f, 0.1f, 4096); // prepared for 512
    processor->processBlock (block, midi);
    EXPECT_EQ (fadesOf (*processor).width, 0.0f);
    EXPECT_TRUE (std::isfinite (block.getSample (0, 4095)));
}

TEST_F (BlockFrame, TinyBlocksStillMoveTheFadeByTwoPercent)
{
    test::set (*processor, Param::reverbon, 0.0f);
    auto block = stereoPair (0.1f, 0.1f, 1);
    processor->processBlock (block, midi);
    EXPECT_NEAR (fadesOf (*processor).reverb, 0.98f, 1.0e-6f);
}

TEST_F (BlockFrame, PrepareSetsFadesToTheirSwitchesWithoutARamp)
{
    test::set (*processor, Param::dynamicson, 0.0f);
    processor->prepareToPlay (48000.0, 512);
    EXPECT_EQ (fadesOf (*processor).dynamics, 0.0f);
    EXPECT_EQ (fadesOf (*processor).saturation, 1.0f);
}

TEST_F (BlockFrame, NonFiniteSamplesLeaveAsZeroAndDoNotPoisonLaterBlocks)
{
    auto block = stereoPair (0.2f, 0.2f);
    block.setSample (0, 10, std::numeric_limits<float>::quiet_NaN());
    block.setSample (1, 20, std::numeric_limits<float>::infinity());
    block.setSample (1, 30, -std::numeric_limits<float>::infinity());
    processor->processBlock (block, midi);

    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_TRUE (std::isfinite (block.getSample (ch, i))) << ch << ":" << i;

    for (int n = 0; n < 20; ++n)
    {
        block = stereoPair (0.2f, 0.2f);
        processor->processBlock (block, midi);
    }
    EXPECT_GT (test::rms (block, 0), 0.01) << "the chain fell silent after a NaN";
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 512; ++i)
            ASSERT_TRUE (std::isfinite (block.getSample (ch, i)));
}

TEST_F (BlockFrame, PeaksAreTheLargestMagnitudesOfTheOutput)
{
    auto block = stereoPair (0.3f, 0.2f);
    processor->processBlock (block, midi);
    EXPECT_FLOAT_EQ (processor->outputPeakLeft.load(), block.getMagnitude (0, 0, 512));
    EXPECT_FLOAT_EQ (processor->outputPeakRight.load(), block.getMagnitude (1, 0, 512));
}

TEST_F (BlockFrame, EmptyBlockGivesZeroPeaks)
{
    auto loud = stereoPair (0.5f, 0.5f);
    processor->processBlock (loud, midi);
    juce::AudioBuffer<float> empty (2, 0);
    processor->processBlock (empty, midi);
    EXPECT_EQ (processor->outputPeakLeft.load(), 0.0f);
    EXPECT_EQ (processor->outputPeakRight.load(), 0.0f);
}

TEST (BlockFrameNoInput, ProcessorWithoutInputGivesSilence)
{
    auto processor = test::makeProcessor (48000.0, 512, 0, 2);
    auto block = stereoPair (0.5f, 0.5f);
    juce::MidiBuffer midi;
    processor->processBlock (block, midi);
    EXPECT_TRUE (block.hasBeenCleared());
    EXPECT_EQ (block.getMagnitude (0, 512), 0.0f);
    EXPECT_EQ (processor->outputPeakLeft.load(), 0.0f);
}

TEST (BlockFrameMono, OneChannelBufferRunsAndReportsTheLeftPeakTwice)
{
    auto processor = test::makeProcessor (48000.0, 512, 1, 1);
    auto block = test::sine (1, 512, 440.0, 48000.0, 0.25f);
    juce::MidiBuffer midi;
    for (int n = 0; n < 10; ++n)
        processor->processBlock (block, midi);
    EXPECT_GT (processor->outputPeakLeft.load(), 0.0f);
    EXPECT_EQ (processor->outputPeakRight.load(), processor->outputPeakLeft.load());
}

TEST (BlockFrameAllocations, SteadyStateProcessingDoesNotAllocate)
{
    if (! allocationCountingAvailable())
        GTEST_SKIP() << "allocations cannot be counted under a sanitizer";

    struct Setting
    {
        const char* name;
        std::vector<std::pair<Param, float>> values;
    };
    // Every path of the input and tone stages: linear-phase and minimum-phase EQ, anti-pop, gate,
    // cupped correction, notches, de-esser, raw curve, and a bypass that delays by the latency.
    std::vector<Setting> settings {
        { "Mix / Master",
          { { Param::chainmode, 0.0f },
            { Param::eqon, 1.0f },
            { Param::eqpct, 0.6f },
            { Param::gate, 0.8f },
            { Param::inputgain, 3.0f } } },
        { "Live Performance",
          { { Param::chainmode, 1.0f },
            { Param::eqon, 1.0f },
            { Param::lineareq, 0.0f },
            { Param::antipoppct, 0.5f },
            { Param::popfilter, 1.0f },
            { Param::gate, 0.8f },
            { Param::cupped, 1.0f },
            { Param::antifeedback, 1.0f },
            { Param::fbfreq1, 5.0f },
            { Param::eqpct, 0.6f } } },
        { "Live, linear phase",
          { { Param::chainmode, 1.0f },
            { Param::eqon, 1.0f },
            { Param::lineareq, 1.0f },
            { Param::cupped, 1.0f },
            { Param::eqpct, 0.4f } } },
        { "raw wildcard",
          { { Param::wildcardmode, 1.0f },
            { Param::wildcardhybridfx, 0.0f },
            { Param::eqon, 1.0f },
            { Param::eqpct, 0.6f } } },
        { "bypass with latency", { { Param::chainmode, 0.0f }, { Param::eqon, 1.0f }, { Param::bypass, 1.0f } } },
        // Both reverb buses, width with its dry blend, auto-gain, the listening simulator, the
        // ceiling's dry blend and the meters (the analyzer integrates every 400 ms).
        { "space and output",
          { { Param::chainmode, 0.0f },
            { Param::widthon, 1.0f },
            { Param::widthknobon, 1.0f },
            { Param::width, 0.5f },
            { Param::widpct, 0.6f },
            { Param::reverbon, 1.0f },
            { Param::revpct, 0.5f },
            { Param::liveknobon, 1.0f },
            { Param::live, 0.5f },
            { Param::flavourknobon, 1.0f },
            { Param::flavour, 0.5f },
            { Param::autogain, 1.0f },
            { Param::dynamicson, 1.0f },
            { Param::speaker, 2.0f },
            { Param::limiteron, 1.0f },
            { Param::limpct, 0.5f },
            { Param::loudnessmeter, 1.0f },
            { Param::outputtarget, 2.0f } } },
    };
    // Every colour and dynamics path in both chain modes: Beast (Live only), shaper, multiband and
    // glue, enhancers.
    for (float chainMode : { 0.0f, 1.0f })
        settings.push_back ({ chainMode > 0.5f ? "colour and dynamics, Live" : "colour and dynamics, Mix / Master",
                              { { Param::chainmode, chainMode },
                                { Param::mixmode, 2.0f },
                                { Param::beastknobon, 1.0f },
                                { Param::beast, 0.6f },
                                { Param::saturationon, 1.0f },
                                { Param::satpct, 0.5f },
                                { Param::punchknobon, 1.0f },
                                { Param::dynamicson, 1.0f },
                                { Param::dynpct, 0.2f },
                                { Param::airknobon, 1.0f },
                                { Param::subknobon, 1.0f },
                                { Param::sub, 0.5f },
                                { Param::adaptivehit, 1.0f },
                                { Param::voicemode, 0.0f } } });

    for (const auto& setting : settings)
    {
        SCOPED_TRACE (setting.name);
        auto processor = test::makeProcessor (48000.0, 512);
        auto signal = test::sine (2, 512, 220.0, 48000.0, 0.3f);
        juce::MidiBuffer midi;

        // The bypass case first runs processed, so that bypass switches on with the latency in force.
        const bool bypassing = std::any_of (setting.values.begin(), setting.values.end(),
                                            [] (const auto& v) { return v.first == Param::bypass; });
        for (const auto& [param, value] : setting.values)
            test::set (*processor, param, param == Param::bypass ? 0.0f : value);
        for (int n = 0; n < 20; ++n) // settle anything that is set up on first use
        {
            auto block = signal;
            processor->processBlock (block, midi);
        }
        if (bypassing)
            test::set (*processor, Param::bypass, 1.0f);

        // Captures and a learning run (1.15 s, folded in within the loop) run along.
        processor->calibrateRequested.store (true);
        processor->analyzeRequested.store (true);
        processor->requestAdaptiveHitLearn (2);

        ScopedAllocationCounter counter;
        for (int n = 0; n < 200; ++n)
        {
            auto* const* channels = signal.getArrayOfWritePointers();
            juce::AudioBuffer<float> block (channels, 2, 512);
            processor->processBlock (block, midi);
        }
        EXPECT_EQ (counter.count(), 0u);
    }
}

TEST (BlockFrameAllocations, AMacroMovingEveryBlockInRealTimeDoesNotAllocate)
{
    if (! allocationCountingAvailable())
        GTEST_SKIP() << "allocations cannot be counted under a sanitizer";

    // Detail reshapes the tone curve, so in "Mix / Master" each block asks for a new linear-phase kernel.
    auto processor = test::makeProcessor (48000.0, 64);
    processor->setNonRealtime (false);
    processor->prepareToPlay (48000.0, 64);
    test::set (*processor, Param::chainmode, 0.0f);
    test::set (*processor, Param::eqon, 1.0f);
    auto signal = test::sine (2, 64, 220.0, 48000.0, 0.3f);
    juce::MidiBuffer midi;
    std::size_t allocations = 0;
    for (int n = 0; n < 2000; ++n)
    {
        test::set (*processor, Param::detail, 0.5f + 0.4f * std::sin (0.05f * static_cast<float> (n)));
        auto* const* channels = signal.getArrayOfWritePointers();
        juce::AudioBuffer<float> block (channels, 2, 64);
        ScopedAllocationCounter counter;
        processor->processBlock (block, midi);
        if (n >= 20) // past anything set up on first use
            allocations += counter.count();
    }
    EXPECT_EQ (allocations, 0u);
}
