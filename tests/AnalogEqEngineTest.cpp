// The analog EQ engine: designs against their analog prototypes, clamps, glides, identities, channels.
#include "engines/AnalogEqEngine.h"
#include "TestSupport.h"

#include <complex>
#include <functional>
#include <random>

namespace
{
using Engine = QuorinProcessor::AnalogEqEngine;
using Section = Engine::AnalogBiquad;
using Complex = std::complex<double>;
constexpr double fs = 48000.0;

// The cookbook designs are bilinear transforms of these analog prototypes, prewarped at the corner:
// the digital response at f equals the prototype's at s = j·tan(πf/fs) / tan(πf0/fs).
Complex warped (double f, double f0) { return { 0.0, std::tan (test::pi * f / fs) / std::tan (test::pi * f0 / fs) }; }

double peakPrototype (double f, double f0, double q, double gainDb)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const auto s = warped (f, f0);
    return std::abs ((s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0));
}

double highPassPrototype (double f, double f0)
{
    const double q = 1.414 / 2.0;
    const auto s = warped (f, f0);
    return std::abs (s * s / (s * s + s / q + 1.0));
}

double highShelfPrototype (double f, double f0, double gainDb)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double inverseQ = std::sqrt ((a + 1.0 / a) * (1.0 / 0.72 - 1.0) + 2.0);
    const auto s = warped (f, f0);
    const double rootA = std::sqrt (a);
    return std::abs (a * (a * s * s + rootA * inverseQ * s + 1.0) / (s * s + rootA * inverseQ * s + a));
}

double bandPassPrototype (double f, double f0, double q)
{
    const auto s = warped (f, f0);
    return std::abs ((s / q) / (s * s + s / q + 1.0));
}

/** Steady-state gain of one section at a whole-hertz frequency, measured by driving it with a quiet sine
    (quiet, so that the soft saturation stays out of the way) and projecting one second of output. */
double measuredGain (Section& section, double f)
{
    constexpr float amplitude = 1.0e-3f;
    const auto input = [&] (int n) { return amplitude * static_cast<float> (std::sin (2.0 * test::pi * f * n / fs)); };
    int n = 0;
    for (; n < 8192; ++n)
        section.process (input (n));

    Complex projection;
    for (int i = 0; i < static_cast<int> (fs); ++i, ++n)
        projection +=
            static_cast<double> (section.process (input (n))) * std::polar (1.0, -2.0 * test::pi * f * n / fs);
    return 2.0 * std::abs (projection) / fs / amplitude;
}

/** The raw cookbook peak, evaluated here to check the engine's clamps against. */
BiquadCoeffs cookbookPeak (double f0, double q, double gainDb)
{
    const double w0 = 2.0 * test::pi * f0 / fs;
    const double a = std::pow (10.0, gainDb / 40.0);
    const double alpha = std::sin (w0) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    return { (1.0 + alpha * a) / a0, -2.0 * std::cos (w0) / a0, (1.0 - alpha * a) / a0, -2.0 * std::cos (w0) / a0,
             (1.0 - alpha / a) / a0 };
}

void expectCoefficientsNear (const BiquadCoeffs& actual, const BiquadCoeffs& expected, double tolerance = 1.0e-9)
{
    EXPECT_NEAR (actual.b0, expected.b0, tolerance);
    EXPECT_NEAR (actual.b1, expected.b1, tolerance);
    EXPECT_NEAR (actual.b2, expected.b2, tolerance);
    EXPECT_NEAR (actual.a1, expected.a1, tolerance);
    EXPECT_NEAR (actual.a2, expected.a2, tolerance);
}

struct RowCase
{
    const char* name;
    int row;
    std::function<double (double)> expectedGain;
};

class AnalogEqRows : public testing::TestWithParam<RowCase>
{
};
} // namespace

namespace
{
/** The tone curve given, with the notches resting as preparation leaves them. */
Engine::Params withCurve (const ToneCurve& curve) { return { curve, { { 0.0f, 0.0f, 0.0f }, 16.0f, -8.0f, false } }; }

/** The notches given, under a flat tone curve. */
Engine::Params withNotches (const Engine::FeedbackNotches& notches)
{
    return { { 18.0f, 0.0f, 0.0f, 2600.0f, 0.0f, 9000.0f, 0.0f }, notches };
}
} // namespace

// Every row of the bank, as prepared and as the chain sets the tone curve, measured against its prototype.
TEST_P (AnalogEqRows, MeasuredResponseFollowsTheCookbookPrototype)
{
    Engine engine;
    engine.prepare ({ fs, 512, 2 });
    engine.setParameters (withCurve ({ 120.0f, 2.0f, -1.5f, 2600.0f, 3.0f, 9000.0f, 4.0f }));
    const auto& c = GetParam();
    for (double f : { 50.0, 100.0, 400.0, 1000.0, 2600.0, 6200.0, 12000.0 })
    {
        auto section = engine.section (c.row);
        EXPECT_NEAR (test::toDb (measuredGain (section, f)), test::toDb (c.expectedGain (f)), 0.01) << f << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P (
    AnalogEq, AnalogEqRows,
    testing::Values (RowCase { "highPass", 0, [] (double f) { return highPassPrototype (f, 120.0); } },
                     RowCase { "lowBell", 2, [] (double f) { return peakPrototype (f, 96.0, 0.55, 2.0); } },
                     RowCase { "lowMidBell", 3, [] (double f) { return peakPrototype (f, 400.0, 0.82, -1.5); } },
                     RowCase { "presenceBell", 4, [] (double f) { return peakPrototype (f, 2600.0, 0.78, 3.0); } },
                     RowCase { "airShelf", 5, [] (double f) { return highShelfPrototype (f, 9000.0, 4.0); } },
                     RowCase { "cuppedLowMid", 6, [] (double f) { return peakPrototype (f, 350.0, 1.1, -6.0); } },
                     RowCase { "cuppedPresence", 7, [] (double f) { return peakPrototype (f, 2800.0, 0.9, 3.0); } },
                     RowCase { "cuppedShelf", 8, [] (double f) { return highShelfPrototype (f, 5000.0, 5.0); } },
                     RowCase { "detectorBand", 9, [] (double f) { return bandPassPrototype (f, 6200.0, 0.85); } }),
    [] (const testing::TestParamInfo<RowCase>& row) { return std::string (row.param.name); });

TEST (AnalogEqDesigns, CornerValuesMatchTheirClosedForms)
{
    // At its corner a peak gives its full gain, the 0.707-Q high-pass −3 dB, the shelf half its gain
    // and the band-pass 0 dB; far below, the shelf and the peak are flat.
    const auto gainAt = [] (const BiquadCoeffs& s, double f)
    {
        const auto z1 = std::polar (1.0, -2.0 * test::pi * f / fs);
        return test::toDb (std::abs ((s.b0 + s.b1 * z1 + s.b2 * z1 * z1) / (1.0 + s.a1 * z1 + s.a2 * z1 * z1)));
    };
    EXPECT_NEAR (gainAt (Engine::makePeak (fs, 1000.0f, 1.0f, 6.0f), 1000.0), 6.0, 1.0e-6);
    EXPECT_NEAR (gainAt (Engine::makeHighPass (fs, 200.0f), 200.0), test::toDb (0.707), 1.0e-6);
    EXPECT_NEAR (gainAt (Engine::makeHighShelf (fs, 5000.0f, 8.0f), 5000.0), 4.0, 1.0e-6);
    EXPECT_NEAR (gainAt (Engine::makeBandPass (fs, 6200.0f, 0.85f), 6200.0), 0.0, 1.0e-6);
    EXPECT_NEAR (gainAt (Engine::makeHighShelf (fs, 5000.0f, 8.0f), 1.0), 0.0, 1.0e-4);
}

TEST (AnalogEqDesigns, FrequenciesAndQAreClamped)
{
    SCOPED_TRACE ("the peak design: 18 Hz floor, 0.48 × rate ceiling, Q floor 0.2");
    expectCoefficientsNear (Engine::makePeak (fs, 10.0f, 1.0f, 6.0f), cookbookPeak (18.0, 1.0, 6.0));
    expectCoefficientsNear (Engine::makePeak (fs, 30000.0f, 1.0f, 6.0f), cookbookPeak (23040.0, 1.0, 6.0));
    expectCoefficientsNear (Engine::makePeak (fs, 1000.0f, 0.1f, 6.0f), cookbookPeak (1000.0, 0.2, 6.0), 1.0e-7);

    SCOPED_TRACE ("notches never go below 30 Hz");
    Engine engine;
    engine.prepare ({ fs, 512, 2 });
    engine.setParameters (withNotches ({ { 20.0f, 30000.0f, 500.0f }, 16.0f, -8.0f, true }));
    expectCoefficientsNear (engine.section (10).target, cookbookPeak (30.0, 16.0, -8.0));
    expectCoefficientsNear (engine.section (11).target, cookbookPeak (23040.0, 16.0, -8.0));
    expectCoefficientsNear (engine.section (12).target, cookbookPeak (500.0, 16.0, -8.0));
}

TEST (AnalogEqDesigns, ZeroDecibelPeakIsAStraightWire)
{
    for (float f : { 30.0f, 400.0f, 2600.0f, 15000.0f })
    {
        const auto s = Engine::makePeak (fs, f, 0.78f, 0.0f);
        EXPECT_NEAR (s.b0, 1.0, 1.0e-15) << f;
        EXPECT_NEAR (s.b1, s.a1, 1.0e-15) << f;
        EXPECT_NEAR (s.b2, s.a2, 1.0e-15) << f;
    }
}

TEST (AnalogEqSection, WithMixAtZeroTheInputPassesBitForBit)
{
    Section section;
    section.target = Engine::makePeak (fs, 1000.0f, 2.0f, 12.0f);
    section.driveTarget = 3.0;
    for (int n = 0; n < 2000; ++n)
    {
        const float x = 0.9f * static_cast<float> (std::sin (0.37 * n)) + 0.05f * static_cast<float> (n % 7);
        ASSERT_EQ (section.process (x), x) << n;
    }
}

TEST (AnalogEqSection, CoefficientsGlideByPointOneSixDriveAndMixByPointZeroNine)
{
    Section section;
    section.target = { 0.5, -1.2, 0.3, -1.5, 0.6 };
    section.driveTarget = 2.0;
    section.mixTarget = 1.0;
    for (int n = 1; n <= 60; ++n)
    {
        section.process (0.0f);
        EXPECT_NEAR ((section.b1 - section.target.b1) / (0.0 - section.target.b1), std::pow (0.84, n), 1.0e-12) << n;
        EXPECT_NEAR ((section.drive - 2.0) / (1.0 - 2.0), std::pow (0.91, n), 1.0e-12) << n;
        EXPECT_NEAR (1.0 - section.mix, std::pow (0.91, n), 1.0e-12) << n;
    }
}

TEST (AnalogEqSection, NinetyNinePercentOfAGlideTakesTwentySevenAndFortyNineSamples)
{
    const auto samplesToReach = [] (auto&& remaining)
    {
        Section section;
        section.target.a1 = -1.8;
        section.mixTarget = 1.0;
        int n = 0;
        while (remaining (section) > 0.01)
        {
            section.process (0.0f);
            ++n;
        }
        return n;
    };
    EXPECT_EQ (samplesToReach ([] (const Section& s) { return 1.0 - s.a1 / -1.8; }), 27);
    EXPECT_EQ (samplesToReach ([] (const Section& s) { return 1.0 - s.mix; }), 49);
}

TEST (AnalogEqLive, EachChannelRunsInItsOwnLane)
{
    Engine engine;
    engine.prepare ({ fs, 512, 2 });
    engine.setParameters (withCurve ({ 80.0f, 2.0f, -1.0f, 2600.0f, 3.0f, 9000.0f, 2.0f }));
    Section aloneLeft = engine.section (4), aloneRight = engine.section (4);
    for (int n = 0; n < 256; ++n)
    {
        const float x = 0.7f * static_cast<float> (std::sin (0.05 * n)), z = n % 3 == 0 ? -0.9f : 0.2f;
        float left = x, right = z;
        engine.processRows (4, 1, left, right);
        ASSERT_EQ (left, aloneLeft.process (x)) << n;
        ASSERT_EQ (right, aloneRight.process (z)) << n;
    }
}

TEST (AnalogEqLive, SecondHighPassAndLowBellSwitchAtTheirThresholds)
{
    struct Case
    {
        float hpfHz, lowGainDb;
        double secondHighPassMix, lowBellMix;
    };
    for (const auto& c : { Case { 95.0f, 0.03f, 1.0, 1.0 }, Case { 96.0f, 0.02f, 0.0, 0.0 },
                           Case { 40.0f, -0.5f, 1.0, 1.0 }, Case { 140.0f, -0.02f, 0.0, 0.0 } })
    {
        Engine engine;
        engine.prepare ({ fs, 512, 2 });
        engine.setParameters (withCurve ({ c.hpfHz, c.lowGainDb, 0.0f, 2600.0f, 0.0f, 9000.0f, 0.0f }));
        EXPECT_EQ (engine.section (1).mixTarget, c.secondHighPassMix) << c.hpfHz;
        EXPECT_EQ (engine.section (2).mixTarget, c.lowBellMix) << c.lowGainDb;
        expectCoefficientsNear (engine.section (1).target, engine.section (0).target, 0.0);
    }
}

TEST (AnalogEqNotches, MixTargetsFollowEnabledAndEachFrequency)
{
    Engine engine;
    engine.prepare ({ fs, 512, 2 });
    for (int row : { 10, 11, 12 })
        EXPECT_EQ (engine.section (row).mixTarget, 0.0) << "notches rest after prepare";

    engine.setParameters (withNotches ({ { 0.0f, 400.0f, 2500.0f }, 14.0f, -6.5f, true }));
    EXPECT_EQ (engine.section (10).mixTarget, 0.0);
    EXPECT_EQ (engine.section (11).mixTarget, 1.0);
    EXPECT_EQ (engine.section (12).mixTarget, 1.0);
    expectCoefficientsNear (engine.section (10).target, cookbookPeak (30.0, 14.0, -6.5));

    engine.setParameters (withNotches ({ { 250.0f, 400.0f, 2500.0f }, 14.0f, -6.5f, false }));
    for (int row : { 10, 11, 12 })
        EXPECT_EQ (engine.section (row).mixTarget, 0.0);
}

TEST (AnalogEqSection, LanesTanhStaysWithinTwoUlpOfTheLibrarysAndIsOdd)
{
    const auto ulpsFromLibrary = [] (double x, double got)
    {
        const double exact = std::tanh (x);
        const double ulp = std::nextafter (std::abs (exact), 2.0) - std::abs (exact);
        return std::abs (got - exact) / ulp;
    };
    std::mt19937_64 rng (7);
    std::uniform_real_distribution<double> mantissa (0.5, 1.0);
    std::uniform_int_distribution<int> exponent (-40, 6); // 1e-12 .. 64, across both formulas' ranges
    double worst = 0.0;
    for (int i = 0; i < 1'000'000; ++i)
    {
        const double x = std::ldexp (mantissa (rng), exponent (rng));
        const auto lanes = Engine::tanhOfLanes (Engine::ChannelLanes { x, -x });
        ASSERT_EQ (lanes[1], -lanes[0]) << x;
        worst = std::max (worst, ulpsFromLibrary (x, lanes[0]));
    }
    EXPECT_LE (worst, 2.0);

    for (double x : { 0.6249999999, 0.625, 0.6250000001, 21.999, 22.0, 1.0e3 })
        EXPECT_LE (ulpsFromLibrary (x, Engine::tanhOfLanes (Engine::ChannelLanes { x, x })[0]), 2.0) << x;
    const auto zeros = Engine::tanhOfLanes (Engine::ChannelLanes { 0.0, -0.0 });
    EXPECT_TRUE (zeros[0] == 0.0 && ! std::signbit (zeros[0]) && std::signbit (zeros[1]));
}
