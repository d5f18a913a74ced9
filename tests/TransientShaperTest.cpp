// The transient shaper: its gain stays between its limits, a steady tone settles to the sustain cut
// worked by hand, the switch off glides the gain back to 0 dB, and the band is clamped to 340 Hz.
#include "StageDriving.h"
#include "demo/DemoTake.h"

#include <complex>

namespace
{
constexpr int fs = 48000;
constexpr int blockSize = 512;

struct ShaperSettings
{
    int chainMode;
    float attack, sustain, ceiling, snap = 0.58f, smooth = 0.4f, band = 160.0f;
};

using ShaperRig = test::StageRig<TransientShaper>;

ShaperRig shaperProcessor (const ShaperSettings& s)
{
    auto p = test::makeProcessor (fs, blockSize);
    test::set (*p, Param::chainmode, float (s.chainMode));
    test::set (*p, Param::voicemode, 0.0f);
    test::set (*p, Param::punchknobon, 1.0f);
    test::set (*p, Param::transientattack, s.attack);
    test::set (*p, Param::transientsustain, s.sustain);
    test::set (*p, Param::transientceiling, s.ceiling);
    test::set (*p, Param::transientsnap, s.snap);
    test::set (*p, Param::transientsmooth, s.smooth);
    test::set (*p, Param::transientband, s.band);
    return test::rigFor<TransientShaper> (std::move (p), fs, blockSize);
}

void runShaper (ShaperRig& rig, juce::AudioBuffer<float>& signal, int start, int count, float bandOverride = 0.0f)
{
    juce::AudioBuffer<float> part (signal.getArrayOfWritePointers(), signal.getNumChannels(), start, count);
    for (int offset = 0; offset < count; offset += blockSize)
    {
        const int n = juce::jmin (blockSize, count - offset);
        juce::AudioBuffer<float> view (part.getArrayOfWritePointers(), part.getNumChannels(), offset, n);
        auto block = rig->restingBlock (n);
        if (bandOverride > 0.0f)
            block.params.values[size_t (Param::transientband)] = bandOverride;
        rig.stage->process (view, block);
    }
}

/** The shaper's gain at one sample: it multiplies the signal by 10^(dB/20). */
double gainDbAt (const juce::AudioBuffer<float>& out, const juce::AudioBuffer<float>& in, int i)
{
    return test::toDb (double (out.getSample (0, i)) / in.getSample (0, i));
}

/** x + A·sin(iπ/2 + φ): a sine at a quarter of the rate whose 160 Hz low-passed copy (Q 0.707) has
    the phase π/4, so that its samples are ±(its amplitude)/√2: the detector sees a steady level and
    the two envelopes meet exactly. Returns the buffer and that steady level. */
std::pair<juce::AudioBuffer<float>, double> steadyDetectorTone (int numSamples, float amplitude)
{
    // The low-pass at z = e^{jπ/2}: H = −j(1 − cos w0) / (2α + 2j cos w0).
    const double w0 = 2.0 * test::pi * 160.0 / fs;
    const double alpha = std::sin (w0) / (2.0 * 0.707);
    const std::complex<double> h =
        std::complex<double> (0.0, -(1.0 - std::cos (w0))) / std::complex<double> (2.0 * alpha, 2.0 * std::cos (w0));
    auto tone = test::sine (2, numSamples, fs / 4.0, fs, amplitude, test::pi / 4.0 - std::arg (h));
    return { tone, amplitude * std::abs (h) / std::sqrt (2.0) };
}
} // namespace

//==============================================================================
struct LimitsCase
{
    const char* name;
    ShaperSettings settings;
    double upperDb, lowerDb; // U and Lo worked by hand
};

void PrintTo (const LimitsCase& c, std::ostream* os) { *os << c.name; }

class TransientLimits : public testing::TestWithParam<LimitsCase>
{
};

// The demo take's hits, at the widest settings: lifted on the attacks, cut on the tails, never beyond
// U or Lo.
TEST_P (TransientLimits, GainStaysBetweenLowerAndUpperLimit)
{
    const auto& c = GetParam();
    auto p = shaperProcessor (c.settings);
    const auto take = demo::makeDemoTake (fs, 4.0);
    juce::AudioBuffer<float> input (2, take.getNumSamples());
    for (int ch = 0; ch < 2; ++ch)
        input.copyFrom (ch, 0, take, 0, 0, take.getNumSamples());
    auto output = input;
    runShaper (p, output, 0, output.getNumSamples());

    double highest = -100.0, lowest = 100.0;
    for (int i = 0; i < input.getNumSamples(); ++i)
        if (std::abs (input.getSample (0, i)) > 1.0e-3f)
        {
            highest = std::max (highest, gainDbAt (output, input, i));
            lowest = std::min (lowest, gainDbAt (output, input, i));
        }
    EXPECT_LE (highest, c.upperDb + 1.0e-3);
    EXPECT_GE (lowest, c.lowerDb - 1.0e-3);
    EXPECT_GT (highest, 0.5);  // attacks are lifted
    EXPECT_LT (lowest, -0.05); // tails are cut
}

// U = 3.9c + 3.5 and Lo = −4.2 in "Live Performance", U = 2c + 2.2 and Lo = −2.8 in "Mix / Master",
// with c = ceiling^0.72.
INSTANTIATE_TEST_SUITE_P (
    TransientShaper, TransientLimits,
    testing::Values (LimitsCase { "LiveFullCeiling", { 1, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f }, 7.4, -4.2 },
                     LimitsCase { "LiveNoCeiling", { 1, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f }, 3.5, -4.2 },
                     LimitsCase { "MixFullCeiling", { 0, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f }, 4.2, -2.8 },
                     LimitsCase { "MixNoCeiling", { 0, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f }, 2.2, -2.8 }),
    [] (const auto& testCase) { return std::string (testCase.param.name); });

//==============================================================================
struct SteadyCase
{
    const char* name;
    ShaperSettings settings;
};

void PrintTo (const SteadyCase& c, std::ostream* os) { *os << c.name; }

class TransientSteadyTone : public testing::TestWithParam<SteadyCase>
{
};

// A steady detector level leaves fast and slow equal, so no attack is seen (r = 0) and the gain
// settles to the sustain cut: −(1 − S)·0.12·3.2·w in "Mix / Master", −(1 − S)(0.42A + 0.18)·5.5·w in
// "Live Performance", with w = level / (level + 1e−6).
TEST_P (TransientSteadyTone, SettlesToTheSustainCut)
{
    const auto& s = GetParam().settings;
    auto p = shaperProcessor (s);
    auto [tone, level] = steadyDetectorTone (3 * fs, 0.5f);
    const auto input = tone;
    runShaper (p, tone, 0, tone.getNumSamples());

    const bool live = s.chainMode == 1;
    const double u = std::log10 (1.0 + 9.0 * s.attack);
    const double attackScale = (live ? 1.0 : 0.4) * std::min (1.0, 1.16 * std::pow (u, 0.54 * 0.82));
    const double sustainShape = std::pow (std::log10 (1.0 + 9.0 * s.sustain), live ? 0.72 : 0.85);
    const double scale = live ? (0.42 * attackScale + 0.18) * 5.5 : 0.12 * 3.2;
    const double expected = -(1.0 - sustainShape) * scale * level / (level + 1.0e-6);

    EXPECT_NEAR (gainDbAt (tone, input, tone.getNumSamples() - 1), expected, 0.01);
}

INSTANTIATE_TEST_SUITE_P (TransientShaper, TransientSteadyTone,
                          testing::Values (SteadyCase { "MixNoSustain", { 0, 0.0f, 0.0f, 0.62f } },
                                           SteadyCase { "MixSomeAttackAndSustain", { 0, 0.38f, 0.3f, 0.62f } },
                                           SteadyCase { "LiveNoSustain", { 1, 0.0f, 0.0f, 0.62f } },
                                           SteadyCase { "LiveAttackSustainSnapSmoothing",
                                                        { 1, 0.7f, 0.4f, 1.0f, 0.2f, 1.0f } }),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });

//==============================================================================
// With the switch off the target is 0 dB and the gain follows it with the 13.16 ms smoothing.
TEST (TransientShaper, SwitchOffGlidesToZeroDecibels)
{
    const ShaperSettings s { 1, 0.0f, 0.0f, 0.62f };
    auto p = shaperProcessor (s);
    const int switchAt = 188 * blockSize; // about 2 s
    auto [tone, level] = steadyDetectorTone (switchAt + fs / 2, 0.5f);
    const auto input = tone;
    runShaper (p, tone, 0, switchAt);
    const double settledDb = gainDbAt (tone, input, switchAt - 1);
    ASSERT_LT (settledDb, -0.9);

    test::set (*p, Param::punchknobon, 0.0f);
    runShaper (p, tone, switchAt, fs / 2);
    const double k = 1.0 - std::exp (-1.0 / (0.013158594 * fs));
    for (int n : { 1, 480, 2400, 9600, 24000 })
        EXPECT_NEAR (gainDbAt (tone, input, switchAt - 1 + n), settledDb * std::pow (1.0 - k, n), 2.0e-3) << n;
}

// The band is clamped to 70..340 Hz: 500 gives exactly what 340 gives (and a lower band differs).
TEST (TransientShaper, BandAboveTheRangeActsAsTheTopOfIt)
{
    const auto take = demo::makeDemoTake (fs, 2.0);
    auto runWithBand = [&] (float band)
    {
        auto p = shaperProcessor ({ 1, 0.8f, 0.2f, 0.7f });
        juce::AudioBuffer<float> b (1, take.getNumSamples());
        b.copyFrom (0, 0, take, 0, 0, take.getNumSamples());
        runShaper (p, b, 0, b.getNumSamples(), band);
        return b;
    };
    const auto at500 = runWithBand (500.0f);
    const auto at340 = runWithBand (340.0f);
    const auto at200 = runWithBand (200.0f);
    bool differs = false;
    for (int i = 0; i < at500.getNumSamples(); ++i)
    {
        ASSERT_EQ (at500.getSample (0, i), at340.getSample (0, i)) << i;
        differs = differs || at200.getSample (0, i) != at340.getSample (0, i);
    }
    EXPECT_TRUE (differs);
}
