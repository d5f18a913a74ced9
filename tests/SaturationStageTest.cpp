// The saturation stage: the blend returns the dry at 0, Beast only in "Live Performance", the Beast
// curve by drive, and a Beast blend whose small-signal gain does not depend on frequency.
#include "ResponseMeasurement.h"
#include "StageDriving.h"
#include "engines/RationalTanh.h"

#include <cstdint>
#include <cstring>

namespace
{
constexpr int fs = 48000;
constexpr int blockSize = 512;

enum BeastMode
{
    transparent,
    smallBeast,
    totalBeast
};

test::StageRig<SaturationStage> saturationProcessor (int chainMode, BeastMode beastMode, float satpct)
{
    auto p = test::makeProcessor (fs, blockSize);
    test::set (*p, Param::chainmode, float (chainMode));
    test::set (*p, Param::mixmode, float (beastMode));
    test::set (*p, Param::satpct, satpct);
    test::set (*p, Param::saturationon, 1.0f);
    test::set (*p, Param::voicemode, 0.0f);
    test::set (*p, Param::wildcardmode, 0.0f);
    p->prepareToPlay (fs, blockSize); // the fade follows its switch at once
    return test::rigFor<SaturationStage> (std::move (p), fs, blockSize);
}

struct Drive
{
    float beastAmt, subAmt, punchDrive, loudAmt;
};

void runStage (const test::StageRig<SaturationStage>& rig, juce::AudioBuffer<float>& signal, const Drive& d,
               float fade = 1.0f)
{
    auto& p = *rig;
    test::processInBlocks (signal, blockSize,
                           [&] (juce::AudioBuffer<float>& b)
                           {
                               auto block = p.restingBlock (b.getNumSamples());
                               block.controls.beastAmt = d.beastAmt;
                               block.controls.subAmt = d.subAmt;
                               block.controls.punchDrive = d.punchDrive;
                               block.controls.loudAmt = d.loudAmt;
                               block.fades.saturation = fade;
                               rig.stage->process (b, block);
                           });
}

double maxDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    double worst = 0.0;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max (worst, std::abs (double (a.getSample (ch, i)) - b.getSample (ch, i)));
    return worst;
}

const Drive fullDrive { 1.0f, 1.0f, 1.0f, 1.0f };
} // namespace

TEST (SaturationStage, NoAmountGivesTheDryInMixMaster)
{
    auto p = saturationProcessor (0, totalBeast, 0.0f);
    auto signal = test::sine (2, fs / 4, 110.0, fs, 0.8f);
    const auto input = signal;
    runStage (p, signal, fullDrive);
    EXPECT_EQ (maxDifference (signal, input), 0.0);
}

// With Beast the dry the blend returns has made the same 4× oversampling round trip as the driven
// signal (so that a partial blend stays in phase): at 0 that is all there is, with the framework's
// oversampler as the reference.
TEST (SaturationStage, NoAmountGivesTheRoundTrippedDryWithBeast)
{
    auto p = saturationProcessor (1, totalBeast, 0.0f);
    auto signal = test::sine (2, fs / 4, 110.0, fs, 0.8f);
    auto reference = signal;
    runStage (p, signal, fullDrive);

    juce::dsp::Oversampling<float> roundTrip (2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true,
                                              false);
    roundTrip.initProcessing (blockSize);
    test::processInBlocks (reference, blockSize,
                           [&] (juce::AudioBuffer<float>& b)
                           {
                               juce::dsp::AudioBlock<float> block (b);
                               roundTrip.processSamplesUp (block);
                               roundTrip.processSamplesDown (block);
                           });
    EXPECT_LT (maxDifference (signal, reference), 1.0e-6);
}

// A 4 kHz sine lies far above the 415 Hz low band, so without Beast the stage barely touches it; the
// same settings in "Live Performance" drive it hard.
TEST (SaturationStage, MixMasterRunsNoBeast)
{
    for (int chainMode : { 0, 1 })
    {
        auto p = saturationProcessor (chainMode, totalBeast, 1.0f);
        auto signal = test::sine (2, fs / 4, 4000.0, fs, 0.5f);
        const auto input = signal;
        runStage (p, signal, fullDrive);
        signal.addFrom (0, 0, input, 0, 0, signal.getNumSamples(), -1.0f);
        const double change = test::rms (signal, 0) / test::rms (input, 0);
        if (chainMode == 0)
            EXPECT_LT (change, 0.01);
        else
            EXPECT_GT (change, 0.3);
    }
}

//==============================================================================
struct CurveCase
{
    const char* name;
    BeastMode mode;
    Drive drive;
    double smallSignalGain; // d/dv of the curve at 0, worked by hand
};

void PrintTo (const CurveCase& c, std::ostream* os) { *os << c.name; }

class BeastCurve : public testing::TestWithParam<CurveCase>
{
};

// At −60 dBFS tanh is linear, so the Beast gain is the curve's slope at 0: 0.1 + 0.9·D above D = 3,
// 0.82·D + 0.18 up to it. At 4 kHz the low-band term moves the result by less than 0.04 dB.
TEST_P (BeastCurve, SmallSignalGainIsTheCurvesSlope)
{
    const auto& c = GetParam();
    auto p = saturationProcessor (1, c.mode, 1.0f);
    auto signal = test::sine (2, fs / 2, 4000.0, fs, 1.0e-3f);
    const auto input = signal;
    runStage (p, signal, c.drive);
    const double gainDb = test::toDb (test::rms (signal, 0, fs / 4, fs / 4) / test::rms (input, 0, fs / 4, fs / 4));
    EXPECT_NEAR (gainDb, test::toDb (c.smallSignalGain), 0.1);
}

const CurveCase curveCases[] = {
    // D = 1 + 2.05 + 1.18 + 2.08 = 6.31: 0.1 + 0.9 × 6.31 (the other curve would give 14.57 dB).
    { "TotalBeastFullDrive", totalBeast, fullDrive, 5.779 },
    // D = 1 + 1.025 + 1.04 = 3.065, just above 3.
    { "TotalBeastJustAboveThree", totalBeast, { 0.5f, 0.0f, 0.5f, 0.0f }, 2.8585 },
    // D = 1 + 1.22 × 0.5 = 1.61: 0.82 × 1.61 + 0.18.
    { "SmallBeast", smallBeast, { 0.5f, 0.0f, 0.0f, 0.0f }, 1.5002 },
};

INSTANTIATE_TEST_SUITE_P (SaturationStage, BeastCurve, testing::ValuesIn (curveCases),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });

//==============================================================================
// Half wet, half dry at a level where tanh is linear: the oversampling filters turn the phase of the
// driven path, and a dry that skipped them would comb against it. Sub and Loud at 0 keep the low-band
// term (a +0.2 dB shelf below 415 Hz) within the tolerance.
TEST (SaturationStage, HalfBlendedBeastHasNoComb)
{
    for (auto mode : { smallBeast, totalBeast })
    {
        SCOPED_TRACE (mode == smallBeast ? "Small Beast" : "Total Beast");
        auto p = saturationProcessor (1, mode, 0.5f);
        const auto frequencies = test::thirdOctaveFrequencies (20, 16000);
        const auto responseDb = test::measureResponseDb (
            [&] (juce::AudioBuffer<float>& b)
            {
                auto block = p->restingBlock (b.getNumSamples());
                block.controls.beastAmt = 0.5f;
                block.controls.subAmt = 0.0f;
                block.controls.loudAmt = 0.0f;
                block.controls.punchDrive = 0.078f; // the punch drive with the transient shaper off
                p.stage->process (b, block);
            },
            fs, frequencies, 3.0e-4f);

        const double mean = test::average (responseDb);
        for (size_t i = 0; i < frequencies.size(); ++i)
            EXPECT_NEAR (responseDb[i], mean, 0.3) << frequencies[i] << " Hz";
    }
}

// Near the end of a fade-out the stage gives nearly the untouched input, which the chain carries once
// the stage stops, rather than the round-tripped dry.
TEST (SaturationStage, FadingOutEndsOnTheUntouchedInput)
{
    auto p = saturationProcessor (1, totalBeast, 0.5f);
    auto signal = test::sine (2, fs / 4, 3000.0, fs, 0.5f);
    const auto input = signal;
    runStage (p, signal, fullDrive, 0.002f);
    signal.addFrom (0, 0, input, 0, 0, signal.getNumSamples(), -1.0f);
    EXPECT_LT (signal.getMagnitude (0, fs / 8, fs / 8), 0.01f * 0.5f);
}

// The oversamplers hold one prepared block; a longer block runs through them in prepared-size pieces
// and comes out as the same signal run in blocks of that size.
TEST (SaturationStage, BlockBeyondThePreparedSizeRunsInPieces)
{
    auto whole = test::sine (2, 2000, 700.0, fs, 0.6f);
    auto pieces = whole;
    auto p = saturationProcessor (1, totalBeast, 0.5f);
    auto q = saturationProcessor (1, totalBeast, 0.5f);
    auto block = p->restingBlock (whole.getNumSamples());
    p.stage->process (whole, block);
    runStage (q, pieces,
              { block.controls.beastAmt, block.controls.subAmt, block.controls.punchDrive, block.controls.loudAmt });
    EXPECT_EQ (maxDifference (whole, pieces), 0.0);
}

TEST (RationalTanh, StaysWithinAFewFloatStepsOfTanhEverywhere)
{
    // Against double-precision tanh on a grid dense enough to see every part of the curve, and far
    // beyond the clamp, where it must settle on ±1.
    double worst = 0.0;
    for (int i = -400000; i <= 400000; ++i)
    {
        const float x = static_cast<float> (i) * 5.0e-5f;
        worst =
            std::max (worst, std::abs (static_cast<double> (rationalTanh (x)) - std::tanh (static_cast<double> (x))));
    }
    EXPECT_LT (worst, 4.0e-7);
    EXPECT_NEAR (rationalTanh (1000.0f), 1.0f, 4.0e-7f);
    EXPECT_NEAR (rationalTanh (-1000.0f), -1.0f, 4.0e-7f);
    EXPECT_EQ (rationalTanh (1.0e-5f), 1.0e-5f);
}

TEST (RationalTanh, EachLaneGivesTheFloatVersionsBits)
{
    // Both channels run through the vector version; any lane that clamps, passes small values
    // through or rounds differently would change a render.
    const auto bits = [] (float x)
    {
        std::uint32_t b = 0;
        std::memcpy (&b, &x, sizeof b);
        return b;
    };
    for (int i = -400000; i <= 400000; ++i)
    {
        const float values[] = { static_cast<float> (i) * 2.5e-5f, static_cast<float> (i) * -1.0e-9f,
                                 static_cast<float> (i) * 3.0e-4f, i % 2 == 0 ? -0.0f : 0.0004f };
        const auto lanes = rationalTanh (FloatLanes { values[0], values[1], values[2], values[3] });
        for (int lane = 0; lane < 4; ++lane)
            ASSERT_EQ (bits (lanes[lane]), bits (rationalTanh (values[lane]))) << values[lane];
    }
}
