// The output stage: auto-gain, target table and loudness assist, output gains, listening simulator,
// ceiling and the meters' resting values.
#include "StageDriving.h"
#include "demo/DemoTake.h"
#include "engines/LoudnessAnalyzer.h"
#include "render/Measurement.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
using Settings = std::vector<std::pair<Param, float>>;

juce::AudioBuffer<float> constant (int numSamples, float value)
{
    juce::AudioBuffer<float> b (2, numSamples);
    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill (b.getWritePointer (ch), value, numSamples);
    return b;
}

double dbToGain (double db) { return std::pow (10.0, db / 20.0); }

//==============================================================================
struct AutoGainCase
{
    const char* name;
    double inputRms, outputRms;
    double expectedDb; // worked by hand from the dead band, partial correction and limits
};

const AutoGainCase autoGainCases[] {
    { "output_12dB_louder_is_limited", 0.05, 0.2, -4.0 },
    { "output_12dB_quieter_is_limited", 0.2, 0.05, 3.0 },
    { "inside_the_dead_band", 0.1, 0.092, 0.0 },
    // d = 20·log10(0.1 / 0.0601) = 4.4225: (d − 1)·0.55
    { "partial_raise", 0.1, 0.06, 1.88238 },
    // d = 20·log10(0.06 / 0.1001) = −4.4457: (d + 1)·0.45
    { "partial_cut", 0.06, 0.1, -1.55055 },
    { "quiet_input_is_left_alone", 0.004, 0.1, 0.0 },
};

class AutoGainStep : public testing::TestWithParam<AutoGainCase>
{
protected:
    std::unique_ptr<QuorinProcessor> processor =
        test::preparedWith ({ { Param::autogain, 1.0f }, { Param::dynamicson, 1.0f }, { Param::wildcardmode, 0.0f } });
    test::PreparedStage<AutoGain> autoGain { rate, blockSize };

    /** Runs the auto-gain over `blocks` blocks of a 0.5 DC signal with the case's levels. */
    juce::AudioBuffer<float> drive (int blocks)
    {
        auto signal = constant (blocks * blockSize, 0.5f);
        const auto& c = GetParam();
        test::driveStage (*processor, signal, blockSize,
                          [&c, this] (juce::AudioBuffer<float>& b, const ChainBlock& block)
                          {
                              autoGain.process (b, block, c.inputRms * c.inputRms * block.numSamples,
                                                c.outputRms * c.outputRms * block.numSamples);
                          });
        return signal;
    }
};
} // namespace

TEST_P (AutoGainStep, SettlesOnItsTargetAndAppliesIt)
{
    const auto out = drive (600);
    const double expected = dbToGain (GetParam().expectedDb);
    EXPECT_NEAR (autoGain.currentGain(), expected, 1.0e-3);
    EXPECT_NEAR (out.getSample (1, out.getNumSamples() - 1), 0.5 * expected, 1.0e-3);
}

TEST_P (AutoGainStep, RelaxesToUnityWithoutBeingAppliedWhenDynamicsAreOff)
{
    drive (600);
    const double start = autoGain.currentGain();
    test::set (*processor, Param::dynamicson, 0.0f);
    const auto out = drive (10);

    const double k = 1.0 - std::exp (-blockSize / (0.2 * rate));
    EXPECT_NEAR (autoGain.currentGain(), 1.0 + (start - 1.0) * std::pow (1.0 - k, 10), 1.0e-5);
    EXPECT_EQ (out.getMagnitude (0, out.getNumSamples()), 0.5f);
}

INSTANTIATE_TEST_SUITE_P (Levels, AutoGainStep, testing::ValuesIn (autoGainCases),
                          [] (const auto& c) { return std::string (c.param.name); });

//==============================================================================
namespace
{
struct AssistCase
{
    const char* name;
    Settings settings;
    float measuredLufs, blockLufs;
    double expectedDb; // worked by hand from the assist rules
};

Settings assistSettings (float chainMode, float target, float match, float meter = 1.0f)
{
    return { { Param::chainmode, chainMode },
             { Param::outputtarget, target },
             { Param::loudnessmatch, match },
             { Param::loudnessmeter, meter } };
}

const AssistCase assistCases[] {
    { "mix_match_6dB_below", assistSettings (0, 2, 1), -20.0f, -20.0f, 0.42 * 6.0 },
    { "mix_match_6dB_above", assistSettings (0, 2, 1), -8.0f, -8.0f, -0.42 * 6.0 },
    { "mix_match_limited", assistSettings (0, 2, 1), -30.0f, -30.0f, 6.0 },
    { "mix_match_blends_block_loudness", assistSettings (0, 4, 1), -20.0f, -26.0f,
      0.42 * (-23.0 + 0.32 * 20.0 + 0.68 * 26.0) },
    { "mix_match_unmeasured", assistSettings (0, 2, 1), -60.0f, -60.0f, 0.0 },
    { "mix_no_match_never_raises", assistSettings (0, 2, 0), -20.0f, -20.0f, 0.0 },
    { "mix_no_match_lowers", assistSettings (0, 2, 0), -10.0f, -10.0f, 0.28 * -4.0 },
    { "live_never_raises", assistSettings (1, 2, 1), -20.0f, -20.0f, -2.2 },
    { "live_lowers", assistSettings (1, 2, 1), -8.0f, -8.0f, -2.2 - 0.35 * 6.0 },
    { "live_lowering_limited", assistSettings (1, 4, 1), 0.0f, 0.0f, -8.5 - 6.0 },
    { "live_unmeasured_keeps_offset", assistSettings (1, 1, 1), -60.0f, -60.0f, -1.0 },
    { "custom", assistSettings (0, 0, 1), -20.0f, -20.0f, 0.0 },
};

class LoudnessAssistStep : public testing::TestWithParam<AssistCase>
{
};
} // namespace

TEST_P (LoudnessAssistStep, HeadsForItsTarget)
{
    const auto& c = GetParam();
    auto processor = test::preparedWith (c.settings);
    test::PreparedStage<LoudnessAssist> assist { rate, 64 };
    LoudnessAnalyzer analyzer;
    analyzer.prepare ({ rate, 512, 2 });
    assist.setReadings (c.measuredLufs, c.blockLufs);

    // Stereo DC whose block loudness is B: 10·log10(2·v²) − 0.691 = B. Less than 400 ms keeps the
    // analyzer from completing a block, so the meter reading stays where it was put.
    const float level = static_cast<float> (std::sqrt (std::pow (10.0, (c.blockLufs + 0.691) / 10.0) / 2.0));
    constexpr int length = 300 * 64;
    auto signal = constant (length - 1, level);
    test::driveStage (*processor, signal, 64,
                      [&] (juce::AudioBuffer<float>& b, const ChainBlock& block)
                      { assist.process (b, block, analyzer); });

    // From 0 dB the assist closes on its target with a time constant of 0.128 s (8 % of the way per
    // block of 512 samples at 48 kHz), whatever the block size.
    ASSERT_EQ (assist.loudnessLufs(), c.measuredLufs);
    const double approached = 1.0 - std::exp (-(length - 1) / (0.12795 * rate));
    EXPECT_NEAR (assist.gainDb(), c.expectedDb * approached, 1.0e-3);
}

INSTANTIATE_TEST_SUITE_P (Cases, LoudnessAssistStep, testing::ValuesIn (assistCases),
                          [] (const auto& c) { return std::string (c.param.name); });

TEST (OutputTarget, PublishesTheTargetOfEachChoice)
{
    const float targets[] { -14.0f, -12.0f, -14.0f, -16.0f, -23.0f };
    for (int index = 0; index < 5; ++index)
    {
        auto processor = test::preparedWith ({ { Param::outputtarget, float (index) } });
        processor->outputTargetLufs.store (0.0f);
        auto block = constant (64, 0.1f);
        juce::MidiBuffer midi;
        processor->processBlock (block, midi);
        EXPECT_EQ (processor->outputTargetLufs.load(), targets[index]) << index;
    }
}

TEST (OutputMeters, CustomTargetWithTheMeterOffRestsAtTheFloorAndTheAssistFades)
{
    auto processor = test::makeProcessor();
    for (const auto& [param, value] : assistSettings (0, 2, 1))
        test::set (*processor, param, value);
    test::PreparedStage<LoudnessAssist> assist { rate, blockSize };
    LoudnessAnalyzer analyzer;
    analyzer.prepare ({ rate, 512, 2 });
    const auto runBoth = [&]
    {
        auto tone = test::sine (2, static_cast<int> (2 * rate), 1000.0, rate, 0.05f);
        auto copy = tone;
        test::driveStage (*processor, copy, blockSize,
                          [&] (juce::AudioBuffer<float>& b, const ChainBlock& block)
                          { assist.process (b, block, analyzer); });
        test::process (*processor, tone, blockSize);
    };

    runBoth();
    ASSERT_GT (std::abs (assist.gainDb()), 0.5f);

    test::set (*processor, Param::outputtarget, 0.0f);
    test::set (*processor, Param::loudnessmeter, 0.0f);
    runBoth();

    EXPECT_EQ (processor->loudnessLufs.load(), -70.0f);
    EXPECT_EQ (processor->blockLoudnessDb.load(), -70.0f);
    EXPECT_EQ (processor->truePeakDb.load(), -90.0f);
    EXPECT_NEAR (assist.gainDb(), 0.0f, 0.01f);
}

//==============================================================================
TEST (OutputGains, OutputGainPadAndCeilingTrim)
{
    const struct
    {
        const char* what;
        Settings settings;
        double expectedDb; // worked by hand
    } cases[] {
        { "pad has no effect in Mix / Master", { { Param::chainmode, 0 }, { Param::output, 2 } }, 0.0 },
        { "Live pad -6 dB", { { Param::chainmode, 1 }, { Param::output, 2 } }, -6.0 },
        { "Live pad -3 dB", { { Param::chainmode, 1 }, { Param::output, 1 } }, -3.0 },
        { "Live pad 0 dB", { { Param::chainmode, 1 }, { Param::output, 0 } }, 0.0 },
        { "ceiling -3 dB under a -1 dB target trims 2 dB", { { Param::limiterceiling, -3.0f } }, -2.0 },
        { "no trim with the limiter off", { { Param::limiterceiling, -3.0f }, { Param::limiteron, 0 } }, 0.0 },
        { "target ceiling below the limiter's", { { Param::limiterceiling, -0.5f }, { Param::outputtarget, 4 } }, 0.0 },
        { "output gain with a Custom target", { { Param::outputgain, 6.0f }, { Param::outputtarget, 0 } }, 6.0 - 1.0 },
    };

    for (const auto& c : cases)
    {
        Settings settings { { Param::chainmode, 0 },          { Param::output, 0 },
                            { Param::outputgain, 0 },         { Param::outputtarget, 2 },
                            { Param::limiterceiling, -1.0f }, { Param::limiteron, 1 } };
        settings.insert (settings.end(), c.settings.begin(), c.settings.end());
        auto processor = test::preparedWith (settings);
        // Pads are 10^(-0.15) and 10^(-0.3): 3.0 and 6.0 dB exactly.
        EXPECT_NEAR (test::toDb (outputGainFor (processor->restingBlock (64), 0.0f)), c.expectedDb, 1.0e-4) << c.what;
    }
}

TEST (ListeningSimulator, RowsMixALowPassAndAGain)
{
    const struct
    {
        int row;
        double mix, cutoff, gainDb;
    } rows[] { { 1, 0.64, 3600.0, -1.0 }, { 2, 0.44, 5000.0, 0.15 }, { 3, 0.58, 2700.0, 0.45 } };

    for (const auto& r : rows)
        for (const double f : { 100.0, 1000.0, 3000.0, 8000.0, 15000.0 })
        {
            const double measured = test::toneGainDb (
                [&] (juce::AudioBuffer<float>& b)
                {
                    auto processor = test::preparedWith ({ { Param::speaker, float (r.row) } });
                    test::runFreshStage<ListeningSimulator> (*processor, b, blockSize);
                },
                f);
            const double expected =
                test::toDb (std::abs ((1.0 - r.mix) + r.mix * test::firstOrderLowPass (f, r.cutoff, rate))) + r.gainDb;
            EXPECT_NEAR (measured, expected, 0.02) << "row " << r.row << ", " << f << " Hz";
        }

    auto processor = test::preparedWith ({ { Param::speaker, 0.0f } });
    auto signal = test::sine (2, 4096, 1000.0, rate, 0.3f);
    const auto input = signal;
    test::runFreshStage<ListeningSimulator> (*processor, signal, blockSize);
    for (int i = 0; i < signal.getNumSamples(); ++i)
        ASSERT_EQ (signal.getSample (0, i), input.getSample (0, i)) << "\"Off\" passes the block";
}

//==============================================================================
namespace
{
juce::AudioBuffer<float> loudNoise (int numSamples, float amplitude)
{
    return test::whiteNoise (2, numSamples, amplitude, 99);
}

juce::AudioBuffer<float> square (int numSamples, double frequency, float amplitude)
{
    juce::AudioBuffer<float> b (2, numSamples);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < numSamples; ++i)
            b.setSample (ch, i, std::fmod (i * frequency / rate, 1.0) < 0.5 ? amplitude : -amplitude);
    return b;
}

juce::AudioBuffer<float> demoDriven (float gainDb)
{
    const auto take = demo::makeDemoTake (rate, 8.0);
    juce::AudioBuffer<float> b (2, take.getNumSamples());
    for (int ch = 0; ch < 2; ++ch)
        b.copyFrom (ch, 0, take, 0, 0, take.getNumSamples());
    b.applyGain (juce::Decibels::decibelsToGain (gainDb));
    return b;
}

Settings ceilingSettings (bool limiterOn, float ceilingDb, float target)
{
    return { { Param::limiteron, limiterOn ? 1.0f : 0.0f },
             { Param::limiterceiling, ceilingDb },
             { Param::outputtarget, target },
             { Param::limpct, 1.0f } };
}

struct CeilingCase
{
    const char* name;
    Settings settings;
    double ceiling; // worked by hand: min(1, 10^(min(nominal, limiterceiling)/20)), 1 with the limiter off
};

const CeilingCase ceilingCases[] {
    { "youtube_minus_1dB", ceilingSettings (true, -1.0f, 2), dbToGain (-1.0) },
    { "limiter_minus_3dB", ceilingSettings (true, -3.0f, 2), dbToGain (-3.0) },
    { "broadcast_target_minus_2dB", ceilingSettings (true, -0.5f, 4), dbToGain (-2.0) },
    { "custom_full_scale", ceilingSettings (true, 0.0f, 0), 1.0 },
    { "limiter_off_full_scale", ceilingSettings (false, -3.0f, 2), 1.0 },
};

class CeilingStep : public testing::TestWithParam<CeilingCase>
{
};

float largestMagnitude (const juce::AudioBuffer<float>& b)
{
    return juce::jmax (b.getMagnitude (0, 0, b.getNumSamples()), b.getMagnitude (1, 0, b.getNumSamples()));
}
} // namespace

TEST_P (CeilingStep, NeverLetsASampleAboveTheCeiling)
{
    const auto& c = GetParam();
    auto processor = test::preparedWith (c.settings);
    auto signal = loudNoise (static_cast<int> (rate), 4.0f);
    test::runFreshStage<Ceiling> (*processor, signal, blockSize);
    EXPECT_LE (largestMagnitude (signal), c.ceiling * (1.0 + 1.0e-6));
    EXPECT_GT (largestMagnitude (signal), 0.99 * c.ceiling);

    // Below the knee (0.78·C, or 0.94 with the limiter off) a tone passes level.
    const double gain =
        test::toneGainDb ([&] (juce::AudioBuffer<float>& b)
                          { test::runFreshStage<Ceiling> (*test::preparedWith (c.settings), b, blockSize); },
                          1000.0);
    EXPECT_NEAR (gain, 0.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P (Settings, CeilingStep, testing::ValuesIn (ceilingCases),
                          [] (const auto& c) { return std::string (c.param.name); });

// The clip limits samples; the guard after it holds what a converter reconstructs between them.
TEST (Ceiling, WholeChainHoldsTheTruePeakAtTheCeiling)
{
    const float squareAmplitude = juce::Decibels::decibelsToGain (3.5f);
    const struct
    {
        const char* name;
        std::function<juce::AudioBuffer<float>()> make;
    } signals[] {
        { "loud_noise", [] { return loudNoise (static_cast<int> (3 * rate), 4.0f); } },
        { "square_100Hz_plus_3_5dB", [=] { return square (static_cast<int> (3 * rate), 100.0, squareAmplitude); } },
        { "square_997Hz_plus_3_5dB", [=] { return square (static_cast<int> (3 * rate), 997.0, squareAmplitude); } },
        { "demo_take_plus_24dB", [] { return demoDriven (24.0f); } },
    };
    struct GuardCase
    {
        CeilingCase ceiling;
        float limpct;
    };
    const GuardCase cases[] {
        { ceilingCases[0], 1.0f }, { ceilingCases[1], 1.0f }, { ceilingCases[4], 1.0f }, { ceilingCases[0], 0.5f }
    };

    for (const auto& c : cases)
        for (const auto& s : signals)
        {
            auto processor = test::makeProcessor();
            for (const auto& [param, value] : c.ceiling.settings)
                test::set (*processor, param, value);
            test::set (*processor, Param::limpct, c.limpct);
            test::set (*processor, Param::outputgain, 6.0f);
            auto signal = s.make();
            test::process (*processor, signal, blockSize);

            ReferenceMeter meter (2, rate);
            meter.add (signal, 0, signal.getNumSamples());
            const double overCeiling = meter.reading().truePeakDbtp - test::toDb (c.ceiling.ceiling);
            EXPECT_LE (overCeiling, 0.1) << c.ceiling.name << ", limpct " << c.limpct << ", " << s.name;
            EXPECT_GT (overCeiling, -1.0) << "held, not ducked: " << c.ceiling.name << ", " << s.name;
        }
}

TEST (Ceiling, BlendWithTheDryDoesNotCombAtHighFrequencies)
{
    // Below the knee nothing is clipped: any blend must sound like the unblended ceiling.
    const auto gainAt = [] (float limpct, double f)
    {
        return test::toneGainDb (
            [&] (juce::AudioBuffer<float>& b)
            {
                auto processor = test::preparedWith ({ { Param::limiteron, 1.0f },
                                                       { Param::limiterceiling, -1.0f },
                                                       { Param::outputtarget, 2.0f },
                                                       { Param::limpct, limpct } });
                test::runFreshStage<Ceiling> (*processor, b, blockSize);
            },
            f);
    };

    for (const float limpct : { 0.25f, 0.5f, 0.9f })
        for (const double f : { 1000.0, 5000.0, 10000.0, 15000.0, 18000.0, 20000.0 })
            EXPECT_NEAR (gainAt (limpct, f), gainAt (1.0f, f), 0.01) << "limpct " << limpct << ", " << f << " Hz";
}
