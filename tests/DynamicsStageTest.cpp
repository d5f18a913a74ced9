// The dynamics stage: the multiband blend is magnitude-flat with idle compressors at every blend
// amount, the glue compressor's gain and blend, and the fade-out that ends on the untouched input.
#include "CrossoverReference.h"
#include "ResponseMeasurement.h"
#include "StageDriving.h"
#include "engines/MultibandDynamics.h"

namespace
{
constexpr int fs = 48000;

/** A processor whose parameters give the block records, the dynamics stage and a multiband engine. */
struct DynamicsRig
{
    std::unique_ptr<QuorinProcessor> processor;
    std::unique_ptr<test::PreparedStage<DynamicsStage>> stage;
    std::unique_ptr<MultibandDynamics> multiband;

    QuorinProcessor& operator*() const { return *processor; }
    QuorinProcessor* operator->() const { return processor.get(); }

    void runMultiband (juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        stage->runMultiband (b, block, *multiband);
    }
    void runGlue (juce::AudioBuffer<float>& b, const ChainBlock& block, bool multibandRan)
    {
        stage->design (block);
        stage->runGlue (b, block, multibandRan);
    }
};

DynamicsRig dynamicsProcessor (int chainMode, float dynpct)
{
    auto p = test::makeProcessor (fs, 512);
    test::set (*p, Param::chainmode, float (chainMode));
    test::set (*p, Param::dynamicson, 1.0f);
    test::set (*p, Param::dynpct, dynpct);
    test::set (*p, Param::voicemode, 0.0f);
    test::set (*p, Param::lookahead, 0.0f); // "Punch"
    test::set (*p, Param::venue, 1.0f);     // "Home"
    p->prepareToPlay (fs, 512);             // the fades follow their switches at once
    DynamicsRig rig { std::move (p), std::make_unique<test::PreparedStage<DynamicsStage>> (fs, 512),
                      std::make_unique<MultibandDynamics>() };
    rig.multiband->prepare ({ fs, 512, 2 });
    return rig;
}

/** The block record with every macro amount at 0, so that all band gains are 1. */
ChainBlock idleBlock (const QuorinProcessor& p, int numSamples)
{
    auto block = p.restingBlock (numSamples);
    block.controls = {};
    return block;
}
} // namespace

//==============================================================================
struct IdleStageCase
{
    int chainMode;
    float dynpct;
};

void PrintTo (const IdleStageCase& c, std::ostream* os)
{
    *os << (c.chainMode == 0 ? "Mix / Master" : "Live Performance") << ", dynpct " << c.dynpct;
}

class IdleDynamicsStage : public testing::TestWithParam<IdleStageCase>
{
};

// Far below threshold the blend is m × (band sum) + (1 − m) × (dry through the same all-pass), all in
// phase: flat in "Mix / Master" (0 dB everywhere); in "Live Performance" the band limiters' fixed
// output gains (which differ by up to 0.8 dB between bands) tilt it smoothly, and nothing cancels.
// The measurement of a linear path is exact to about 1e-4 dB; 0.01 dB still sees the 0.03 dB that
// the low band loses at the low split without the upper split's all-pass.
TEST_P (IdleDynamicsStage, BlendIsTheWeightedBandSumWithoutNotches)
{
    const auto c = GetParam();
    auto p = dynamicsProcessor (c.chainMode, c.dynpct);
    const auto frequencies = test::thirdOctaveFrequencies (20, 20000);
    const auto measured = test::measureResponseDb (
        [&] (juce::AudioBuffer<float>& b)
        {
            auto block = idleBlock (*p, b.getNumSamples());
            p.runMultiband (b, block);
        },
        fs, frequencies, 1.0e-3f);

    const std::array<double, 3> bandGains =
        c.chainMode == 0 ? std::array<double, 3> { 1.0, 1.0, 1.0 }
                         : std::array<double, 3> { test::limiterMakeup (-1.8), test::limiterMakeup (-1.0),
                                                   test::limiterMakeup (-1.4) };
    for (size_t i = 0; i < frequencies.size(); ++i)
    {
        const double wet = test::bandWeightedSum (frequencies[i], bandGains, 160.0, 2900.0, fs);
        const double expectedDb = test::toDb (c.dynpct * wet + (1.0 - c.dynpct));
        EXPECT_NEAR (measured[i], expectedDb, 0.01) << frequencies[i] << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P (DynamicsStage, IdleDynamicsStage,
                          testing::Values (IdleStageCase { 0, 0.0f }, IdleStageCase { 0, 0.35f },
                                           IdleStageCase { 0, 0.5f }, IdleStageCase { 0, 1.0f },
                                           IdleStageCase { 1, 0.0f }, IdleStageCase { 1, 0.35f },
                                           IdleStageCase { 1, 0.5f }, IdleStageCase { 1, 1.0f }),
                          [] (const auto& testCase)
                          {
                              return std::string (testCase.param.chainMode == 0 ? "Mix" : "Live") + "Dynpct"
                                     + std::to_string (juce::roundToInt (testCase.param.dynpct * 100));
                          });

// Once the module is switched off the stage stops when its fade falls to 0.001, and the chain then
// carries the untouched input; near the end of the fade the stage must already give nearly that, not
// the all-passed dry (which at the low split is close to the inverted input).
TEST (DynamicsStage, FadingOutEndsOnTheUntouchedInput)
{
    for (float fade : { 1.0f, 0.002f })
    {
        auto p = dynamicsProcessor (0, 0.0f);
        auto signal = test::sine (2, fs / 2, 160.0, fs, 0.01f);
        const auto input = signal;
        test::processInBlocks (signal, 512,
                               [&] (juce::AudioBuffer<float>& b)
                               {
                                   auto block = idleBlock (*p, b.getNumSamples());
                                   block.fades.dynamics = fade;
                                   p.runMultiband (b, block);
                               });
        signal.addFrom (0, 0, input, 0, 0, fs / 2, -1.0f);
        const float deviation = signal.getMagnitude (0, fs / 4, fs / 4) / 0.01f;
        if (fade == 1.0f)
            EXPECT_GT (deviation, 1.5f);
        else
            EXPECT_LT (deviation, 0.01f);
    }
}

//==============================================================================
struct GlueCase
{
    const char* name;
    int chainMode;
    float loudAmt, smartEff, dynpct;
    bool multibandRan;
    float ratio, thresholdDb, blend; // worked by hand
};

void PrintTo (const GlueCase& c, std::ostream* os) { *os << c.name; }

class GlueCompressor : public testing::TestWithParam<GlueCase>
{
};

// A steady level keeps the peak detector at that level, so the gain is exactly the static curve:
// (1/ratio − 1) × (level − threshold) dB, then blended with the dry by the stage amount.
TEST_P (GlueCompressor, SteadyLevelGetsTheStaticCurveAndTheBlend)
{
    const auto& c = GetParam();
    auto p = dynamicsProcessor (c.chainMode, c.dynpct);
    constexpr float level = 0.5f;
    juce::AudioBuffer<float> signal (2, fs);
    signal.clear();
    for (int ch = 0; ch < 2; ++ch)
        juce::FloatVectorOperations::fill (signal.getWritePointer (ch), level, fs);

    test::processInBlocks (signal, 512,
                           [&] (juce::AudioBuffer<float>& b)
                           {
                               auto block = p->restingBlock (b.getNumSamples());
                               block.controls.loudAmt = c.loudAmt;
                               block.controls.smartEff = c.smartEff;
                               p.runGlue (b, block, c.multibandRan);
                           });

    const double gainDb = (1.0 / c.ratio - 1.0) * (test::toDb (level) - c.thresholdDb);
    const double expected = level * (c.blend * std::pow (10.0, gainDb / 20.0) + (1.0 - c.blend));
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_NEAR (signal.getSample (ch, fs - 1), expected, 1.0e-4);
}

const GlueCase glueCases[] = {
    { "MixAlone", 0, 0.0f, 0.0f, 1.0f, false, 1.12f, -20.5f, 1.0f },
    // With the multiband engine running and dynpct below 0.35: blend 0.35 × 0.2.
    { "MixOnTopOfTheMultiband", 0, 0.0f, 0.0f, 0.2f, true, 1.12f, -20.5f, 0.07f },
    { "LiveLoudAndSmart", 1, 1.0f, 1.0f, 1.0f, false, 2.05f, -16.8f, 1.0f },
    { "LiveHalfLoudHalfBlend", 1, 0.5f, 0.0f, 0.5f, false, 1.57f, -18.65f, 0.5f },
    { "MixFullLoud", 0, 1.0f, 0.0f, 1.0f, false, 1.4f, -16.8f, 1.0f },
};

INSTANTIATE_TEST_SUITE_P (DynamicsStage, GlueCompressor, testing::ValuesIn (glueCases),
                          [] (const auto& testCase) { return std::string (testCase.param.name); });
