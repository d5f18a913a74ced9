// The input stage: anti-pop corner and blend, gate, input gain, raw mode, and the cupped-mic amount.
#include "StageDriving.h"

namespace
{
constexpr double fs = 48000.0;

class InputStageTest : public testing::Test
{
protected:
    std::unique_ptr<QuorinProcessor> p = test::makeProcessor (fs, 512);
    test::PreparedStage<InputStage> stage { fs, 512 };

    void SetUp() override
    {
        for (auto [param, value] : { std::pair { Param::chainmode, 1.0f },
                                     { Param::popfilter, 0.0f },
                                     { Param::venue, 1.0f },
                                     { Param::antipoppct, 1.0f },
                                     { Param::inputgain, 0.0f },
                                     { Param::cupped, 0.0f },
                                     { Param::wildcardmode, 0.0f } })
            test::set (*p, param, value);
    }

    /** Runs the stage on a copy of `input` with the shaped gate amount given. */
    juce::AudioBuffer<float> run (const juce::AudioBuffer<float>& input, float gateAmt = 0.0f)
    {
        auto buffer = input;
        auto block = p->restingBlock (input.getNumSamples());
        block.controls.gateAmt = gateAmt;
        stage.process (buffer, block);
        return buffer;
    }

    /** The framework's high-pass with the same corner, as the reference for the anti-pop filter. */
    static juce::AudioBuffer<float> highPassed (const juce::AudioBuffer<float>& input, float cutoffHz)
    {
        juce::dsp::StateVariableTPTFilter<float> filter;
        filter.prepare ({ fs, 512, 2 });
        filter.setType (juce::dsp::StateVariableTPTFilterType::highpass);
        filter.setCutoffFrequency (cutoffHz);
        auto output = input;
        juce::dsp::AudioBlock<float> block (output);
        filter.process (juce::dsp::ProcessContextReplacing<float> (block));
        return output;
    }
};
} // namespace

TEST_F (InputStageTest, AntiPopCornerFollowsPopFilterAndVenue)
{
    struct Case
    {
        float popFilter, venue, chainMode, expectedHz;
    };
    for (const auto& c : { Case { 1, 0, 1, 90 }, Case { 1, 1, 1, 70 }, Case { 0, 0, 1, 55 }, Case { 0, 1, 1, 35 },
                           Case { 1, 0, 0, 90 } })
    {
        test::set (*p, Param::popfilter, c.popFilter);
        test::set (*p, Param::venue, c.venue);
        test::set (*p, Param::chainmode, c.chainMode);
        run (test::sine (2, 64, 100.0, fs, 0.1f));
        EXPECT_EQ (stage.antiPopCutoffHz(), c.expectedHz) << c.popFilter << "/" << c.venue;
    }
}

TEST_F (InputStageTest, AntiPopRunsInLivePerformanceOnlyAndBlendsByItsStrength)
{
    const auto input = test::sine (2, 512, 40.0, fs, 0.5f);
    test::set (*p, Param::antipoppct, 0.5f);
    const auto output = run (input);
    const auto filtered = highPassed (input, 35.0f);
    for (int i = 0; i < 512; ++i)
        ASSERT_NEAR (output.getSample (0, i), 0.5f * filtered.getSample (0, i) + 0.5f * input.getSample (0, i), 1.0e-6f)
            << i;

    test::set (*p, Param::chainmode, 0.0f);
    const auto mixOutput = run (input);
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ (mixOutput.getSample (1, i), input.getSample (1, i));
}

TEST_F (InputStageTest, GateActsOnlyAboveOnePercentAndAtItsModeThreshold)
{
    // Live Performance at full gate: threshold −26 dB. A −40 dB tone is closed down, a −14 dB tone passes.
    const auto quiet = test::sine (2, 48000, 440.0, fs, 0.01f);
    const auto loud = test::sine (2, 48000, 440.0, fs, 0.2f);
    const auto lastPart = [] (const juce::AudioBuffer<float>& b) { return test::rms (b, 0, 24000, 24000); };
    EXPECT_LT (test::toDb (lastPart (run (quiet, 1.0f)) / lastPart (quiet)), -20.0);
    EXPECT_NEAR (test::toDb (lastPart (run (loud, 1.0f)) / lastPart (loud)), 0.0, 0.5);

    test::set (*p, Param::chainmode, 0.0f); // no anti-pop filter either
    const auto untouched = run (quiet, 0.005f);
    for (int i = 0; i < quiet.getNumSamples(); ++i)
        ASSERT_EQ (untouched.getSample (0, i), quiet.getSample (0, i));
}

TEST_F (InputStageTest, InputGainScalesOnlyWhenItIsNotUnity)
{
    test::set (*p, Param::chainmode, 0.0f);
    const auto input = test::sine (2, 512, 440.0, fs, 0.25f);
    const auto unity = run (input);
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ (unity.getSample (0, i), input.getSample (0, i));

    test::set (*p, Param::inputgain, 6.0f);
    const auto louder = run (input);
    for (int i = 0; i < 512; ++i)
        ASSERT_FLOAT_EQ (louder.getSample (1, i), input.getSample (1, i) * 1.9952623f);
}

TEST_F (InputStageTest, RawModeSkipsTheStageButTheCuppedAmountStillMoves)
{
    test::set (*p, Param::wildcardmode, 1.0f);
    test::set (*p, Param::wildcardhybridfx, 0.0f);
    test::set (*p, Param::inputgain, 6.0f);
    test::set (*p, Param::bypass, 0.0f);
    auto buffer = test::sine (2, 512, 40.0, fs, 0.3f);
    juce::MidiBuffer midi;
    p->processBlock (buffer, midi);
    EXPECT_LE (test::rms (buffer, 0), 0.3 / std::sqrt (2.0) * 1.001) << "no input gain in raw mode";

    // Two sets of blocks in raw mode, one with the cupped switch on throughout: when raw mode ends,
    // the correction is already in (it followed its switch meanwhile) and the tone differs at once.
    const auto firstLiveBlock = [] (bool cuppedDuringRaw)
    {
        auto processor = test::makeProcessor (fs, 512);
        for (auto [param, value] : { std::pair { Param::chainmode, 1.0f },
                                     { Param::wildcardmode, 1.0f },
                                     { Param::wildcardhybridfx, 0.0f },
                                     { Param::cupped, cuppedDuringRaw ? 1.0f : 0.0f } })
            test::set (*processor, param, value);
        juce::MidiBuffer none;
        for (int n = 0; n < 400; ++n)
        {
            auto quiet = test::sine (2, 512, 1000.0, fs, 0.01f);
            processor->processBlock (quiet, none);
        }
        test::set (*processor, Param::wildcardmode, 0.0f);
        test::set (*processor, Param::cupped, 1.0f);
        auto noise = test::whiteNoise (2, 512, 0.1f, 7);
        processor->processBlock (noise, none);
        return noise;
    };
    auto difference = firstLiveBlock (true);
    const auto fresh = firstLiveBlock (false);
    difference.addFrom (0, 0, fresh, 0, 0, 512, -1.0f);
    EXPECT_GT (test::toDb (test::rms (difference, 0) / test::rms (fresh, 0)), -30.0);
}

TEST_F (InputStageTest, CuppedAmountFollowsItsSwitchWithATenMillisecondPerBlockStep)
{
    test::set (*p, Param::cupped, 1.0f);
    const double k = 1.0 - std::exp (-1.0 / (0.01 * fs));
    int blocksToHalf = 0;
    for (int n = 1; n <= 400; ++n)
    {
        const float amount = stage.followCuppedMic (p->restingBlock (512));
        const double expected = 1.0 - std::pow (1.0 - k, n);
        ASSERT_NEAR (amount, expected, 1.0e-5) << n;
        if (blocksToHalf == 0 && amount >= 0.5f)
            blocksToHalf = n;
    }
    EXPECT_NEAR (blocksToHalf, 333, 2);
}
