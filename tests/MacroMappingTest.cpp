// Macro mapping: knob curve, punch, profiles, chain modes and morph offsets, against hand-worked values.
#include "chain/MacroMapping.h"
#include "TestSupport.h"

namespace
{
// The knob curve, written out again from its definition.
double knobByHand (double v) { return std::min (1.0, 1.16 * std::pow (std::log10 (1.0 + 9.0 * v), 0.82)); }

class MacroMapping : public testing::Test
{
protected:
    QuorinProcessor processor; // for its parameter defaults and writes
    ParameterSnapshot params;

    void SetUp() override
    {
        for (int i = 0; i < numParameters; ++i)
            params.values[size_t (i)] = test::get (processor, Param (i));
    }

    void setParam (Param p, float v) { params.values[size_t (p)] = v; }

    BlockControls shape (bool isLive, const MorphOffsets& offsets = {}) const
    {
        return shapeMacroControls (params, isLive, {}, offsets);
    }
};
} // namespace

TEST (MacroCurves, KnobCurveMatchesWorkedValues)
{
    EXPECT_NEAR (macro::knob (0.5f), 0.907f, 5.0e-4f);
    EXPECT_FLOAT_EQ (macro::knob (0.7f), 1.0f);
    EXPECT_FLOAT_EQ (macro::knob (1.0f), 1.0f);
    EXPECT_FLOAT_EQ (macro::knob (0.0f), 0.0f);
    EXPECT_FLOAT_EQ (macro::knob (-0.3f), 0.0f);
    EXPECT_FLOAT_EQ (macro::knob (0.9f, false), 0.0f);
    // The curve reaches 1 from v ≈ 0.648.
    EXPECT_LT (macro::knob (0.64f), 1.0f);
    EXPECT_FLOAT_EQ (macro::knob (0.66f), 1.0f);
    for (float v : { 0.05f, 0.2f, 0.35f, 0.6f })
        EXPECT_NEAR (macro::knob (v), knobByHand (v), 1.0e-5);
}

TEST_F (MacroMapping, SwitchedOffMacrosMapToZero)
{
    for (auto [knob, amount] : { std::pair { Param::gateknobon, Param::gate },
                                 { Param::smartknobon, Param::smart },
                                 { Param::beastknobon, Param::beast },
                                 { Param::widthknobon, Param::width },
                                 { Param::liveknobon, Param::live },
                                 { Param::flavourknobon, Param::flavour },
                                 { Param::subknobon, Param::sub },
                                 { Param::detailknobon, Param::detail },
                                 { Param::loudknobon, Param::loudness } })
    {
        setParam (knob, 0.0f);
        setParam (amount, 0.8f);
    }
    const auto c = shape (true);
    EXPECT_EQ (c.gateAmt, 0.0f);
    EXPECT_EQ (c.smartAmt, 0.0f);
    EXPECT_EQ (c.beastAmt, 0.0f);
    EXPECT_EQ (c.widthAmt, 0.0f);
    EXPECT_EQ (c.liveAmt, 0.0f);
    EXPECT_EQ (c.flavourAmt, 0.0f);
    EXPECT_EQ (c.flavourRaw, 0.0f);
    EXPECT_EQ (c.subAmt, 0.0f);
    EXPECT_EQ (c.detailAmt, 0.0f);
    EXPECT_EQ (c.loudAmt, 0.0f);
}

TEST_F (MacroMapping, AggressiveProfileLiftsSub)
{
    setParam (Param::responseprofile, 2.0f);
    // Find the knob value whose shaped Sub is 0.3, then 1.56 × 0.3^0.74 ≈ 0.640.
    const double u = std::pow (0.3 / 1.16, 1.0 / 0.82);
    setParam (Param::sub, float ((std::pow (10.0, u) - 1.0) / 9.0));
    EXPECT_NEAR (shape (false).subAmt, 0.640f, 1.0e-3f);
}

TEST_F (MacroMapping, SmackDependsOnModeAndProfile)
{
    setParam (Param::smack, 1.0f);
    EXPECT_FLOAT_EQ (shape (true).smackAmt, 1.0f); // 1.22 + 0.06, clamped
    setParam (Param::responseprofile, 0.0f);
    EXPECT_NEAR (shape (false).smackAmt, 0.8976f, 1.0e-5f); // 0.88 × 1.02
}

TEST_F (MacroMapping, PunchFollowsTheTransientControls)
{
    setParam (Param::punchknobon, 1.0f);
    setParam (Param::transientattack, 0.38f);
    setParam (Param::transientsustain, 0.66f);
    const auto c = shape (false);

    const double x = 0.38 * (1 - 0.66) + 0.62 * 0.38;
    const double p = knobByHand (x);
    const double K = 0.791453, Kp = 0.208547;
    const double curve = p <= K ? K * std::pow (p / K, 0.56) : K + Kp * std::pow ((p - K) / Kp, 0.56);
    const double fast = std::min (1.0, 1.16 * std::pow (std::log10 (1 + 9 * x), 0.54 * 0.82));
    const double drive = std::min (1.0, 1.38 * (0.28 * curve + 0.72 * fast) + 0.078);
    EXPECT_NEAR (c.punchCurve, curve, 1.0e-5);
    EXPECT_NEAR (c.punchDrive, drive, 1.0e-5);
    EXPECT_FLOAT_EQ (c.attack, 0.38f);
    EXPECT_FLOAT_EQ (c.sustain, 0.66f);

    setParam (Param::punchknobon, 0.0f);
    const auto off = shape (false);
    EXPECT_EQ (off.attack, 0.0f);
    EXPECT_EQ (off.sustain, 1.0f);
    EXPECT_EQ (off.punchCurve, 0.0f);
    EXPECT_NEAR (off.punchDrive, 0.078f, 1.0e-6f);
}

TEST_F (MacroMapping, BeastWidthAirAndTheReverbScalers)
{
    setParam (Param::beastknobon, 1.0f);
    setParam (Param::beast, 0.2f);
    setParam (Param::width, 0.3f);
    setParam (Param::air, 0.25f);
    setParam (Param::responseprofile, 1.0f);
    setParam (Param::revdecay, 8.0f);
    setParam (Param::revdamping, 1200.0f);
    setParam (Param::revlowcut, 95.0f);
    setParam (Param::revlivewidth, 0.5f);
    const auto c = shape (false);

    const double b = knobByHand (0.2), w = knobByHand (0.3), a0 = knobByHand (0.25);
    EXPECT_NEAR (c.beastAmt, std::min (1.0, 1.38 * b + 0.035), 1.0e-5);
    EXPECT_NEAR (c.widthAmt, std::min (1.0, (1 - w) * 0.055 + 1.32 * w), 1.0e-5);
    const double A = 0.7297096, Ap = 0.27029037;
    const double a1 = a0 <= A ? A * std::pow (a0 / A, 0.58) : A + Ap * std::pow ((a0 - A) / Ap, 0.58);
    const double air = std::min (1.0, 1.08 * std::min (1.0, 1.18 * std::pow (a1, 0.94)) + 0.03);
    EXPECT_NEAR (c.airAmt, air, 1.0e-5);
    EXPECT_NEAR (c.airShelfHz, 7950 + 3400 * air, 0.05);
    EXPECT_FLOAT_EQ (c.revDecayScale, 1.22f);
    EXPECT_FLOAT_EQ (c.revDampingScale, 0.82f);
    EXPECT_FLOAT_EQ (c.revLowCutScale, 1.0f);
    EXPECT_NEAR (c.liveWidthShaped, std::pow (0.5, 0.88), 1.0e-6);
}

TEST_F (MacroMapping, SmartCountsOnlyInLivePerformance)
{
    setParam (Param::smartknobon, 1.0f);
    setParam (Param::smart, 0.5f);
    EXPECT_NEAR (shape (true).smartEff, knobByHand (0.5), 1.0e-5);
    EXPECT_EQ (shape (false).smartEff, 0.0f);
    EXPECT_NEAR (shape (false).smartAmt, knobByHand (0.5), 1.0e-5);
}

TEST_F (MacroMapping, LiveAndFlavourUseTheLogCurveOnly)
{
    setParam (Param::liveknobon, 1.0f);
    setParam (Param::live, 0.5f);
    const auto c = shape (true);
    EXPECT_NEAR (c.liveAmt, std::log10 (5.5), 1.0e-6);
    EXPECT_NEAR (c.flavourAmt, std::log10 (1 + 9 * 0.2), 1.0e-6);
    EXPECT_FLOAT_EQ (c.flavourRaw, 0.2f);
}

TEST_F (MacroMapping, OffsetsAddToTheFinalValuesAndClamp)
{
    const auto base = shape (true);
    const auto moved = shape (true, { 0.1f, -0.05f, 0.02f, 2.0f, -5.0f });
    EXPECT_NEAR (moved.subAmt, base.subAmt + 0.1f, 1.0e-6f);
    EXPECT_NEAR (moved.detailAmt, base.detailAmt - 0.05f, 1.0e-6f);
    EXPECT_EQ (moved.airAmt, 1.0f);
    EXPECT_EQ (moved.airShelfHz, 11350.0f);
    EXPECT_EQ (moved.loudAmt, 0.0f);
}

TEST (MorphOffsets, HiHatPullsAirUpAndSubDown)
{
    const HitResult hiHat { 3, 1.0f, 0.0f };
    const auto once = advanceMorphOffsets ({}, true, hiHat, 1.0f);
    EXPECT_NEAR (once.air, 0.22f * 0.28f, 1.0e-7f);
    EXPECT_NEAR (once.sub, 0.22f * -0.1f, 1.0e-7f);
    EXPECT_NEAR (once.detail, 0.22f * 0.16f, 1.0e-7f);

    MorphOffsets o;
    for (int n = 0; n < 200; ++n)
        o = advanceMorphOffsets (o, true, hiHat, 1.0f);
    EXPECT_NEAR (o.air, 0.28f, 1.0e-5f);
    EXPECT_NEAR (o.sub, -0.1f, 1.0e-5f);
}

TEST (MorphOffsets, KickScalesByItsMatchAndWeakHitsPullToZero)
{
    const auto kick = advanceMorphOffsets ({}, true, { 1, 0.5f, 0.4f }, 0.8f);
    const float a = 0.5f * 0.8f * 0.4f;
    EXPECT_NEAR (kick.sub, 0.22f * 0.24f * a, 1.0e-7f);
    EXPECT_NEAR (kick.loud, 0.22f * 0.1f * a, 1.0e-7f);

    const auto faint = advanceMorphOffsets ({ 1, 1, 1, 1, 1 }, true, { 2, 0.01f, 0.0f }, 1.0f);
    EXPECT_NEAR (faint.smack, 0.78f, 1.0e-6f);
}

TEST (MorphOffsets, DecayToOnePercentInAboutFiftyFiveBlocks)
{
    MorphOffsets o { 1, 1, 1, 1, 1 };
    for (int n = 0; n < 55; ++n)
        o = advanceMorphOffsets (o, false, { 3, 1.0f, 0.0f }, 1.0f);
    EXPECT_NEAR (o.air, std::pow (0.92, 55), 1.0e-5);
    EXPECT_NEAR (o.air, 0.01f, 0.0005f);
}

TEST (MacroMappingChain, MixMasterPublishesNoHit)
{
    auto processor = test::makeProcessor();
    test::set (*processor, Param::adaptivehit, 1.0f);
    processor->adaptiveHitClass.store (3);
    processor->adaptiveHitConfidence.store (0.9f);
    auto block = test::sine (2, 512, 100.0, 48000.0, 0.5f);
    juce::MidiBuffer midi;
    processor->processBlock (block, midi);
    EXPECT_EQ (processor->adaptiveHitClass.load(), 0);
    EXPECT_EQ (processor->adaptiveHitConfidence.load(), 0.0f);
}

namespace
{
struct ProfileCase
{
    int profile;
    // (c, e) for Smack, Sub, Detail, Loud, Air, typed again from the response-profile table.
    double curves[5][2];
};

void PrintTo (const ProfileCase& c, std::ostream* os) { *os << "profile " << c.profile; }

const ProfileCase profileCases[] = {
    { 0, { { 0.88, 1.24 }, { 0.9, 1.26 }, { 0.9, 1.22 }, { 0.88, 1.22 }, { 0.88, 1.24 } } },
    { 1, { { 1.18, 0.94 }, { 1.18, 0.96 }, { 1.18, 0.92 }, { 1.16, 0.94 }, { 1.18, 0.94 } } },
    { 2, { { 1.52, 0.74 }, { 1.56, 0.74 }, { 1.5, 0.7 }, { 1.42, 0.74 }, { 1.54, 0.72 } } },
};

class ResponseProfiles : public MacroMapping, public testing::WithParamInterface<ProfileCase>
{
};
} // namespace

TEST_P (ResponseProfiles, EveryMacroFollowsItsOwnPowerCurve)
{
    const auto& c = GetParam();
    setParam (Param::responseprofile, float (c.profile));
    // Two knob positions, both below every curve's clamp, so that scale and exponent both show.
    for (const double raw : { 0.1, 0.03 })
    {
        for (auto macro : { Param::smack, Param::sub, Param::detail, Param::loudness, Param::air })
            setParam (macro, float (raw));
        for (auto on :
             { Param::smackknobon, Param::subknobon, Param::detailknobon, Param::loudknobon, Param::airknobon })
            setParam (on, 1.0f);

        const double k = knobByHand (raw);
        const auto curve = [&c] (int row, double v)
        { return std::min (1.0, c.curves[row][0] * std::pow (v, c.curves[row][1])); };
        constexpr double knee = 0.7297096; // the air knee curve, below its knee
        const double airKnee = knee * std::pow (k / knee, 0.58);

        const auto controls = shape (false); // "Mix / Master"
        EXPECT_NEAR (controls.smackAmt, std::min (1.0, 1.02 * curve (0, k)), 2.0e-5) << raw;
        EXPECT_NEAR (controls.subAmt, curve (1, k), 2.0e-5) << raw;
        EXPECT_NEAR (controls.detailAmt, curve (2, k), 2.0e-5) << raw;
        EXPECT_NEAR (controls.loudAmt, curve (3, k), 2.0e-5) << raw;
        EXPECT_NEAR (controls.airAmt, std::min (1.0, 1.08 * curve (4, airKnee) + 0.03), 2.0e-5) << raw;
    }
}

INSTANTIATE_TEST_SUITE_P (MacroMapping, ResponseProfiles, testing::ValuesIn (profileCases));
