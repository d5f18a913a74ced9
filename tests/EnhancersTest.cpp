// Air exciter, body makeup, sub harmonics and kick sub, against hand-worked values.
#include "ResponseMeasurement.h"
#include "StageDriving.h"

#include <complex>

namespace
{
constexpr int fs = 48000;
constexpr int blockSize = 512;

using Step = std::function<void (juce::AudioBuffer<float>&, const ChainBlock&)>;

class Enhancers : public testing::Test
{
protected:
    std::unique_ptr<QuorinProcessor> p = test::makeProcessor (fs, blockSize);
    test::PreparedStage<AirExciter> air { fs, blockSize };
    test::PreparedStage<SubHarmonics> subHarmonics { fs, blockSize };
    test::PreparedStage<KickSub> kickSub { fs, blockSize };

    Step airStep()
    {
        return [this] (juce::AudioBuffer<float>& b, const ChainBlock& block) { air.process (b, block, 0.0f); };
    }
    Step subStep()
    {
        return [this] (juce::AudioBuffer<float>& b, const ChainBlock& block) { subHarmonics.process (b, block); };
    }
    Step kickStep()
    {
        return [this] (juce::AudioBuffer<float>& b, const ChainBlock& block) { kickSub.process (b, block); };
    }

    void SetUp() override
    {
        for (auto [param, value] : { std::pair { Param::chainmode, 0.0f },
                                     { Param::voicemode, 0.0f },
                                     { Param::eqon, 0.0f },
                                     { Param::popfilter, 0.0f },
                                     { Param::adaptivehit, 0.0f },
                                     { Param::makeuppct, 1.0f },
                                     { Param::subharmpct, 1.0f } })
            test::set (*p, param, value);
    }

    /** Runs one step over the signal, block by block, with the block record adjusted by `adjust`. */
    template <typename Adjust>
    void run (Step step, juce::AudioBuffer<float>& signal, Adjust&& adjust)
    {
        test::processInBlocks (signal, blockSize,
                               [&] (juce::AudioBuffer<float>& b)
                               {
                                   auto block = p->restingBlock (b.getNumSamples());
                                   adjust (block);
                                   step (b, block);
                               });
    }
    void run (Step step, juce::AudioBuffer<float>& signal)
    {
        run (step, signal, [] (ChainBlock&) {});
    }
};

bool identical (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            if (a.getSample (ch, i) != b.getSample (ch, i))
                return false;
    return true;
}

void setAir (ChainBlock& block) { block.controls.airAmt = 1.0f; }
} // namespace

//==============================================================================
// A faint 15 kHz tone keeps 340·√power near 0.05, so the level factor sits on its 0.16 floor. tanh
// is linear there: y = x + c·HP(x) with c = amount × 0.16 × (drive − 0.94), where amount =
// (0.19 + 0.03) × 0.82 (pop filter off) and drive = 4.6 + 1.75; HP is the 9.8 kHz high-pass.
TEST_F (Enhancers, FaintAirIsExcitedAtTheLevelFloor)
{
    auto signal = test::sine (2, fs / 2, 15000.0, fs, 2.0e-4f);
    const auto input = signal;
    run (airStep(), signal, setAir);

    const double w0 = 2.0 * test::pi * 9800.0 / fs, cw = std::cos (w0), alpha = std::sin (w0) / (2.0 * 0.707);
    const auto z1 = std::polar (1.0, -2.0 * test::pi * 15000.0 / fs);
    const auto highPass = ((1.0 + cw) / 2.0 * (1.0 + z1 * z1) - (1.0 + cw) * z1)
                          / ((1.0 + alpha) - 2.0 * cw * z1 + (1.0 - alpha) * z1 * z1);
    const double c = 0.22 * 0.82 * 0.16 * (6.35 - 0.94);
    const double expected = std::abs (1.0 + c * highPass);

    EXPECT_NEAR (test::rms (signal, 0, fs / 4, fs / 4) / test::rms (input, 0, fs / 4, fs / 4), expected, 2.0e-3);
}

TEST_F (Enhancers, EqAmountZeroSilencesTheExciter)
{
    test::set (*p, Param::eqon, 1.0f);
    test::set (*p, Param::eqpct, 0.0f);
    auto signal = test::sine (2, fs / 4, 12000.0, fs, 0.5f);
    const auto input = signal;
    run (airStep(), signal, setAir);
    EXPECT_TRUE (identical (signal, input));
}

//==============================================================================
struct MakeupCase
{
    const char* name;
    int mic;
    bool voice, popFilter;
    float makeuppct, loudAmt, subAmt;
    double gain; // worked by hand
};

void PrintTo (const MakeupCase& c, std::ostream* os) { *os << c.name; }

class BodyMakeup : public testing::TestWithParam<MakeupCase>
{
};

TEST_P (BodyMakeup, GainIsWorkedByHand)
{
    const auto& c = GetParam();
    auto p = test::makeProcessor (fs, blockSize);
    test::set (*p, Param::mic, float (c.mic));
    test::set (*p, Param::voicemode, c.voice ? 1.0f : 0.0f);
    test::set (*p, Param::popfilter, c.popFilter ? 1.0f : 0.0f);
    test::set (*p, Param::makeuppct, c.makeuppct);
    auto block = p->restingBlock (blockSize);
    block.controls.loudAmt = c.loudAmt;
    block.controls.subAmt = c.subAmt;

    auto signal = test::sine (2, blockSize, 200.0, fs, 0.5f);
    const auto input = signal;
    signal.applyGain (bodyMakeupGain (block));
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < blockSize; ++i)
            ASSERT_NEAR (signal.getSample (ch, i), input.getSample (ch, i) * c.gain, 1.0e-6) << ch << ":" << i;

    juce::AudioBuffer<float> silent (2, blockSize);
    silent.clear();
    silent.applyGain (bodyMakeupGain (block));
    EXPECT_TRUE (silent.hasBeenCleared());
}

const MakeupCase makeupCases[] = {
    // (0.07 + 1.02 + 0.05 + 0.04 × 0.1) × (0.2 + 1.02 + 0.08)
    { "SM7BFullLoudAndSub", 1, false, false, 1.0f, 1.0f, 1.0f, 1.144 * 1.3 },
    { "NoMakeup", 1, false, false, 0.0f, 1.0f, 1.0f, 1.0 },
    // Flat mic: ((1.02 + 0.025) × (0.1 + 1.02) − 1) × 0.62 + 1
    { "FlatMicHalfLoud", 0, false, false, 0.62f, 0.5f, 0.0f, 1.105648 },
    // SM58 (L = 0.04), pop filter: ((0.05 × 0.04 − 0.22 × 0.015 + 1) × (0.18 + 1.04) − 1) × 0.5 + 1
    { "VoiceSM58PopFilter", 3, true, true, 0.5f, 1.0f, 1.0f, 1.109207 },
};

INSTANTIATE_TEST_SUITE_P (Enhancers, BodyMakeup, testing::ValuesIn (makeupCases),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });

//==============================================================================
TEST_F (Enhancers, SubHarmonicsAtZeroAddNothing)
{
    test::set (*p, Param::subharmpct, 0.0f);
    auto signal = test::sine (2, fs / 4, 80.0, fs, 0.7f);
    const auto input = signal;
    run (subStep(), signal, [] (ChainBlock& b) { b.controls.subAmt = 1.0f; });
    EXPECT_TRUE (identical (signal, input));
}

// The added signal is the same saturated low band scaled by the amount: "Mix / Master" adds 45 % of
// what "Live Performance" adds.
TEST_F (Enhancers, SubHarmonicsInMixMasterAreFortyFivePercentOfLive)
{
    double added[2] {};
    for (int chainMode : { 0, 1 })
    {
        p = test::makeProcessor (fs, blockSize);
        SetUp();
        subHarmonics.reset();
        test::set (*p, Param::chainmode, float (chainMode));
        auto signal = test::sine (2, fs / 4, 80.0, fs, 0.7f);
        const auto input = signal;
        run (subStep(), signal, [] (ChainBlock& b) { b.controls.subAmt = 1.0f; });
        signal.addFrom (0, 0, input, 0, 0, signal.getNumSamples(), -1.0f);
        added[chainMode] = test::rms (signal, 0);
    }
    EXPECT_GT (added[1], 1.0e-3);
    EXPECT_NEAR (added[0] / added[1], 0.45, 1.0e-4);
}

//==============================================================================
// A matching kick holds the envelope at adaptCurve × kickMatch; the 50 Hz sine is added to both
// channels at 0.06 × min(1, 0.65·Sub + 0.35); once the match is gone it decays with 75 ms.
TEST_F (Enhancers, KickSubFollowsTheKickMatchAndDecays)
{
    test::set (*p, Param::chainmode, 1.0f);
    test::set (*p, Param::adaptivehit, 1.0f);
    juce::AudioBuffer<float> signal (2, fs / 2);
    signal.clear();
    const int matched = 4 * blockSize;
    int position = 0;
    run (kickStep(), signal,
         [&] (ChainBlock& b)
         {
             b.controls.adaptCurve = 1.0f;
             b.controls.subAmt = 0.2f;
             b.controls.hit.kickMatch = position < matched ? 0.8f : 0.0f;
             position += b.numSamples;
         });

    const double scale = 0.06 * (0.65 * 0.2 + 0.35);
    const double step = 314.15927 / fs;
    for (int i : { 0, 100, 1000, matched - 1, matched + 480, matched + 3600, matched + 7200 })
    {
        const double envelope = 0.8 * (i < matched ? 1.0 : std::exp (-(i - matched + 1) / (0.075 * fs)));
        const double expected = std::sin (step * (i + 1)) * envelope * scale;
        EXPECT_NEAR (signal.getSample (0, i), expected, 1.0e-5) << i;
        EXPECT_EQ (signal.getSample (1, i), signal.getSample (0, i)) << i;
    }
}

TEST_F (Enhancers, KickSubWithoutAdaptiveHitOnlyDecays)
{
    test::set (*p, Param::chainmode, 1.0f);
    test::set (*p, Param::adaptivehit, 1.0f);
    juce::AudioBuffer<float> ring (2, blockSize);
    ring.clear();
    const auto fullMatch = [] (ChainBlock& b)
    {
        b.controls.adaptCurve = 1.0f;
        b.controls.hit.kickMatch = 1.0f;
    };
    run (kickStep(), ring, fullMatch);
    ASSERT_EQ (kickSub.envelope(), 1.0f);

    test::set (*p, Param::adaptivehit, 0.0f);
    juce::AudioBuffer<float> signal (2, blockSize);
    signal.clear();
    run (kickStep(), signal, fullMatch);
    EXPECT_EQ (signal.getMagnitude (0, blockSize), 0.0f);
    EXPECT_NEAR (kickSub.envelope(), std::exp (-blockSize / (0.075 * fs)), 1.0e-5);
}
