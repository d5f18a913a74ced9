// The adaptive hit engine: features, scores and decision against a reference written out again from
// their definitions, the hold, learning runs, the kick match, and the engine inside the chain.
#include "TestSupport.h"
#include "demo/DemoTake.h"

namespace
{
using Engine = QuorinProcessorProbe::HitEngine;
using Features = Engine::Features;

constexpr double rate = 48000.0;
constexpr int blockSize = 512;

double clamp01 (double v) { return std::clamp (v, 0.0, 1.0); }

/** The four features, computed again in double precision from their definitions. */
class ReferenceFeatures
{
public:
    Features next (const juce::AudioBuffer<float>& block)
    {
        double transient = 0.0, low = 0.0, high = 0.0;
        int crossings = 0;
        for (int i = 0; i < block.getNumSamples(); ++i)
        {
            const double x = block.getNumChannels() > 1 ? 0.5 * (block.getSample (0, i) + block.getSample (1, i))
                                                        : block.getSample (0, i);
            crossings += (x >= 0.0) != (previous >= 0.0) ? 1 : 0;
            previous = x;
            fastEnv += (std::abs (x) - fastEnv) * fastCoeff;
            slowEnv += (std::abs (x) - slowEnv) * slowCoeff;
            transient += std::max (0.0, fastEnv - slowEnv);
            lowState += (x - lowState) * lowCoeff;
            bandState += ((x - lowState) - bandState) * bandCoeff;
            low += std::abs (lowState);
            high += std::abs (bandState);
        }
        const double n = std::max (block.getNumSamples(), 1);
        const double total = low / n + high / n + 1.0e-6;
        return { float (transient / n), float (low / n / total), float (high / n / total), float (crossings / n) };
    }

private:
    static double onePole (double cutoff) { return (1.0 / rate) / (1.0 / rate + 1.0 / (2.0 * test::pi * cutoff)); }

    const double fastCoeff = 1.0 - std::exp (-1.0 / (rate * 0.0022));
    const double slowCoeff = 1.0 - std::exp (-1.0 / (rate * 0.04));
    const double lowCoeff = onePole (220.0), bandCoeff = onePole (3000.0);
    double fastEnv = 0.0, slowEnv = 0.0, lowState = 0.0, bandState = 0.0, previous = 0.0;
};

/** Class scores (kick, snare, hi-hat, inward K) with the bonus and penalty, no taught profiles. */
std::array<double, 4> referenceScores (const Features& f, double& kc)
{
    const double T = f.transient, Lr = f.lowRatio, Hr = f.highRatio, Z = f.zcr;
    kc = clamp01 ((Lr - 0.48) * 3.0);
    const double hc = clamp01 ((Hr - 0.46) * 3.0);
    std::array<double, 4> s { 1.22 * T + 2.05 * Lr + 0.62 * kc - 0.68 * Hr - 0.55 * Z,
                              1.18 * T + 0.56 * (1.0 - std::abs (Lr - 0.52)) + 0.2 * Hr - 0.36 * kc,
                              1.42 * Hr + 1.85 * Z + 0.46 * T - 0.76 * Lr - 0.4 * kc,
                              0.95 * T + 1.12 * Z + 0.66 * Hr + 0.32 * (1.0 - Lr) - 0.26 * kc };
    if (Lr > 0.58 && T > 0.0014)
    {
        const double a = clamp01 ((Lr - 0.58) * 3.5);
        s[0] += 0.18 + 0.24 * a;
        s[1] -= 0.07 + 0.1 * a;
        s[2] -= 0.14 + 0.18 * a;
        s[3] -= 0.08 + 0.12 * a;
    }
    if (Lr > 0.64 || (kc > 0.68 && hc < 0.32))
    {
        s[2] -= 0.2;
        s[3] -= 0.13;
    }
    return s;
}

/** The decision for one block without a hold in force: class (0 when the threshold is missed) and
    the confidence the block earns. */
std::pair<int, double> referenceDecision (const Features& f)
{
    double kc = 0.0;
    const auto s = referenceScores (f, kc);
    const int winner = int (std::max_element (s.begin(), s.end()) - s.begin()); // first of equals
    double runnerUp = -1.0e9;
    for (int k = 0; k < 4; ++k)
        if (k != winner)
            runnerUp = std::max (runnerUp, s[size_t (k)]);

    double confidence = s[size_t (winner)] < 0.01 ? 0.0 : clamp01 ((s[size_t (winner)] - runnerUp) * 2.7 + 0.48);
    int hitClass = winner + 1;
    double needed = winner == 0 ? 0.5 : 0.58;
    if (winner != 0 && s[size_t (winner)] - s[0] < 0.1 && f.lowRatio > 0.56 && f.transient > 0.0012)
    {
        hitClass = 1;
        confidence = std::max (confidence, 0.52 + 0.25 * kc);
        needed = 0.5;
    }
    return { confidence >= needed ? hitClass : 0, confidence };
}

juce::AudioBuffer<float> decayingSine (double frequency, float amplitude, double tau, int channels = 2)
{
    juce::AudioBuffer<float> b (channels, blockSize);
    for (int i = 0; i < blockSize; ++i)
    {
        const double t = i / rate;
        const auto v = float (amplitude * std::exp (-t / tau) * std::sin (2.0 * test::pi * frequency * t));
        for (int ch = 0; ch < channels; ++ch)
            b.setSample (ch, i, v);
    }
    return b;
}

juce::AudioBuffer<float> brightNoiseBurst()
{
    juce::Random random (7);
    juce::AudioBuffer<float> b (2, blockSize);
    float previous = random.nextFloat() * 2.0f - 1.0f;
    for (int i = 0; i < blockSize; ++i)
    {
        const float next = random.nextFloat() * 2.0f - 1.0f;
        const auto v = float (0.5 * (next - previous) * std::exp (-i / (0.004 * rate))); // differentiated noise
        previous = next;
        b.setSample (0, i, v);
        b.setSample (1, i, v);
    }
    return b;
}

juce::AudioBuffer<float> silence (int numSamples = blockSize)
{
    juce::AudioBuffer<float> b (2, numSamples);
    b.clear();
    return b;
}

juce::AudioBuffer<float> lowThump() { return decayingSine (60.0, 0.8f, 0.03); }

struct HitEngine : testing::Test
{
    Engine engine;
    void SetUp() override { engine.prepare (rate); }
};

struct SyntheticBlock
{
    const char* name;
    std::function<juce::AudioBuffer<float>()> make;
    int expectedClass; // as the scores predict (worked out with the reference below)
};

void PrintTo (const SyntheticBlock& c, std::ostream* os) { *os << c.name; }

const SyntheticBlock syntheticBlocks[] = {
    { "low thump", lowThump, 1 },
    { "boxy body", [] { return decayingSine (300.0, 1.0f, 0.01); }, 2 },
    { "bright noise burst", brightNoiseBurst, 3 },
    { "sibilant click", [] { return decayingSine (7000.0, 0.3f, 0.002); }, 3 },
    { "hollow tock", [] { return decayingSine (600.0, 1.0f, 0.05); }, 4 },
    { "short tock", [] { return decayingSine (600.0, 1.0f, 0.01); }, 0 }, // inward K wins, too narrowly
    { "silence", [] { return silence(); }, 4 },
};

class SyntheticHits : public testing::TestWithParam<SyntheticBlock>
{
};
} // namespace

TEST_P (SyntheticHits, ReportTheClassTheScoresPredict)
{
    Engine engine;
    engine.prepare (rate);
    const auto block = GetParam().make();

    const auto expected = ReferenceFeatures().next (block);
    const auto [referenceClass, referenceConfidence] = referenceDecision (expected);
    ASSERT_EQ (referenceClass, GetParam().expectedClass) << "the reference disagrees with the worked class";

    const auto measured = QuorinProcessorProbe::measure (engine, block);
    EXPECT_NEAR (measured.transient, expected.transient, 1.0e-5 + 1.0e-4 * expected.transient);
    EXPECT_NEAR (measured.lowRatio, expected.lowRatio, 1.0e-4);
    EXPECT_NEAR (measured.highRatio, expected.highRatio, 1.0e-4);
    EXPECT_FLOAT_EQ (measured.zcr, expected.zcr);

    Engine fresh;
    fresh.prepare (rate);
    const auto result = fresh.process (block);
    EXPECT_EQ (result.hitClass, GetParam().expectedClass);
    EXPECT_NEAR (result.hitConfidence, referenceClass == 0 ? 0.0 : referenceConfidence, 1.0e-4);
    EXPECT_EQ (result.kickMatch, 0.0f); // nothing taught
}

INSTANTIATE_TEST_SUITE_P (AdaptiveHitEngine, SyntheticHits, testing::ValuesIn (syntheticBlocks),
                          [] (const auto& param) {
                              return juce::String (param.param.name).replaceCharacter (' ', '_').toStdString();
                          });

TEST_F (HitEngine, SilenceAndEmptyBlocksReportInwardKAtItsWorkedConfidence)
{
    // Scores 0, 0.2688, 0 and 0.32: (0.32 - 0.2688) * 2.7 + 0.48 = 0.61824, above the 0.58 needed.
    for (int numSamples : { blockSize, 0 })
    {
        const auto result = engine.process (silence (numSamples));
        EXPECT_EQ (result.hitClass, 4) << numSamples;
        EXPECT_NEAR (result.hitConfidence, 0.61824f, 1.0e-5f) << numSamples;
    }
    juce::AudioBuffer<float> noChannels (0, blockSize);
    EXPECT_EQ (engine.process (noChannels).hitClass, 4);
}

TEST_F (HitEngine, AHitIsHeldAtThreeHundredthsLessUntilItsHoldTimeHasPassed)
{
    // Snare wins over inward K by (0.7 - 0.48) / 2.7 and over kick by more than 0.1 (worked by hand);
    // a kick block from the low thump; a block that no class wins clearly enough.
    const Features snareAtSeventy { 0.0703717f, 0.44f, 0.56f, 0.0117f };
    const Features kickBlock { 0.28431f, 0.76596f, 0.23404f, 0.00195f };
    const Features undecided { 0.2789f, 0.2809f, 0.7191f, 0.0234f };
    ASSERT_EQ (referenceDecision (undecided).first, 0);

    struct HoldCase
    {
        Features hit;
        int hitClass;
        double holdSeconds;
    };
    for (const auto& c : { HoldCase { snareAtSeventy, 2, 0.042 }, HoldCase { kickBlock, 1, 0.06 } })
    {
        SCOPED_TRACE (c.hitClass);
        const auto [referenceClass, confidence] = referenceDecision (c.hit);
        ASSERT_EQ (referenceClass, c.hitClass);
        if (c.hitClass == 2)
        {
            EXPECT_NEAR (confidence, 0.7, 1.0e-5);
        }

        const auto hit = QuorinProcessorProbe::decide (engine, c.hit, blockSize);
        EXPECT_EQ (hit.hitClass, c.hitClass);
        EXPECT_NEAR (hit.hitConfidence, confidence, 1.0e-5);

        const int heldBlocks = int (std::ceil (c.holdSeconds * rate / blockSize)); // 4 for 2016, 6 for 2880
        for (int n = 0; n < heldBlocks; ++n)
        {
            const auto held = QuorinProcessorProbe::decide (engine, undecided, blockSize);
            EXPECT_EQ (held.hitClass, c.hitClass) << n;
            EXPECT_NEAR (held.hitConfidence, confidence - 0.03, 1.0e-5) << n;
        }
        const auto after = QuorinProcessorProbe::decide (engine, undecided, blockSize);
        EXPECT_EQ (after.hitClass, 0);
        EXPECT_EQ (after.hitConfidence, 0.0f);
    }
}

TEST_F (HitEngine, ATaughtProfileLiftsItsClass)
{
    // The undecided block becomes a snare once a snare profile equal to it has been taught nine times:
    // similarity 1, weight clamp(0.085 * 9 + 0.24, 0.15, 0.58) = 0.58 added to the snare score.
    const Features undecided { 0.2789f, 0.2809f, 0.7191f, 0.0234f };
    Engine::TaughtModel model {};
    model[1] = { undecided, 9 };
    engine.installModel (model);
    EXPECT_EQ (engine.learnedMask.load(), 2);

    double kc = 0.0;
    auto s = referenceScores (undecided, kc);
    s[1] += 0.58;
    const double runnerUp = std::max ({ s[0], s[2], s[3] });
    ASSERT_GT (s[1], runnerUp);

    const auto result = QuorinProcessorProbe::decide (engine, undecided, blockSize);
    EXPECT_EQ (result.hitClass, 2);
    EXPECT_NEAR (result.hitConfidence, clamp01 ((s[1] - runnerUp) * 2.7 + 0.48), 1.0e-5);
}

TEST_F (HitEngine, OneChannelAndTwoIdenticalChannelsGiveTheSameFeaturesAndHits)
{
    Engine stereoEngine;
    stereoEngine.prepare (rate);
    const auto take = demo::makeDemoTake (rate, 3.0);
    for (int start = 0; start + blockSize <= take.getNumSamples(); start += blockSize)
    {
        juce::AudioBuffer<float> mono (1, blockSize), stereo (2, blockSize);
        mono.copyFrom (0, 0, take, 0, start, blockSize);
        stereo.copyFrom (0, 0, take, 0, start, blockSize);
        stereo.copyFrom (1, 0, take, 0, start, blockSize);

        const auto a = engine.process (mono);
        const auto b = stereoEngine.process (stereo);
        ASSERT_EQ (a.hitClass, b.hitClass) << start;
        ASSERT_EQ (a.hitConfidence, b.hitConfidence) << start;
    }

    Engine monoCopy, stereoCopy;
    monoCopy.prepare (rate);
    stereoCopy.prepare (rate);
    const auto thump = lowThump();
    juce::AudioBuffer<float> monoThump (1, blockSize);
    monoThump.copyFrom (0, 0, thump, 0, 0, blockSize);
    const auto m = QuorinProcessorProbe::measure (monoCopy, monoThump);
    const auto s = QuorinProcessorProbe::measure (stereoCopy, thump);
    EXPECT_EQ (m.transient, s.transient);
    EXPECT_EQ (m.lowRatio, s.lowRatio);
    EXPECT_EQ (m.highRatio, s.highRatio);
    EXPECT_EQ (m.zcr, s.zcr);
}

//==============================================================================
namespace
{
/** A beat for teaching: a thump, then seven silent blocks. */
juce::AudioBuffer<float> beatBlock (int index) { return index % 8 == 0 ? lowThump() : silence(); }

/** Runs one learning run of the class through the engine and returns the run's mean features as the
    reference computes them. The reference follows the engine block for block. */
Features teach (Engine& engine, ReferenceFeatures& reference, int& blockIndex, int hitClass,
                const std::function<juce::AudioBuffer<float> (int)>& material = beatBlock)
{
    const int runLength = juce::roundToInt (rate * 1.15); // 55200 samples
    engine.learnRequest.store (hitClass);

    std::array<double, 4> sums {};
    for (int done = 0; done < runLength; done += blockSize)
    {
        const auto block = material (blockIndex++);
        const auto f = reference.next (block);
        sums[0] += f.transient * blockSize;
        sums[1] += f.lowRatio * blockSize;
        sums[2] += f.highRatio * blockSize;
        sums[3] += f.zcr * blockSize;
        EXPECT_EQ (engine.learningClass.load(), done == 0 ? 0 : hitClass);
        engine.process (block);

        const int remaining = runLength - (done + blockSize);
        if (remaining > 0)
        {
            EXPECT_NEAR (engine.learningProgress.load(), 1.0 - double (remaining) / runLength, 1.0e-6);
        }
    }
    const double weight = double (blockSize) * std::ceil (double (runLength) / blockSize);
    return { float (sums[0] / weight), float (sums[1] / weight), float (sums[2] / weight), float (sums[3] / weight) };
}

void expectFeaturesNear (const Features& actual, const Features& expected, double tolerance)
{
    EXPECT_NEAR (actual.transient, expected.transient, tolerance * std::max (1.0f, expected.transient));
    EXPECT_NEAR (actual.lowRatio, expected.lowRatio, tolerance);
    EXPECT_NEAR (actual.highRatio, expected.highRatio, tolerance);
    EXPECT_NEAR (actual.zcr, expected.zcr, tolerance);
}
} // namespace

TEST_F (HitEngine, ALearningRunAveragesTheNextOnePointOneFiveSeconds)
{
    ReferenceFeatures reference;
    int blockIndex = 0;
    const auto mean = teach (engine, reference, blockIndex, 1);

    // 55200 samples take 108 blocks of 512; the run ends in the last of them.
    EXPECT_EQ (blockIndex, 108);
    EXPECT_EQ (engine.learningClass.load(), 0);
    EXPECT_EQ (engine.learningProgress.load(), 0.0f);
    EXPECT_EQ (engine.learnedMask.load(), 1);
    const auto model = engine.taughtModel();
    EXPECT_EQ (model[0].count, 1);
    EXPECT_EQ (model[1].count, 0);
    expectFeaturesNear (model[0].features, mean, 2.0e-5);
}

TEST_F (HitEngine, TheTenthRunKeepsTheCountAtNineAndStillMovesTheProfile)
{
    ReferenceFeatures reference;
    int blockIndex = 0;
    for (int run = 1; run <= 9; ++run)
        teach (engine, reference, blockIndex, 3);
    const auto before = engine.taughtModel()[2];
    EXPECT_EQ (before.count, 9);
    EXPECT_EQ (engine.learnedMask.load(), 4);

    const auto mean = teach (engine, reference, blockIndex, 3);
    const auto after = engine.taughtModel()[2];
    EXPECT_EQ (after.count, 9);
    const auto moved = [] (float old, float m) { return float (0.64 * old + 0.36 * m); };
    expectFeaturesNear (after.features,
                        { moved (before.features.transient, mean.transient), moved (before.features.lowRatio, mean.lowRatio),
                          moved (before.features.highRatio, mean.highRatio), moved (before.features.zcr, mean.zcr) },
                        2.0e-5);
}

TEST_F (HitEngine, AClearAndALearnInOneBlockForgetFirstThenStartTheRun)
{
    ReferenceFeatures reference;
    int blockIndex = 0;
    teach (engine, reference, blockIndex, 1);
    ASSERT_EQ (engine.learnedMask.load(), 1);

    engine.clearRequest.store (true);
    engine.learnRequest.store (2);
    engine.process (lowThump());

    EXPECT_EQ (engine.learnedMask.load(), 0);
    for (const auto& c : engine.taughtModel())
    {
        EXPECT_EQ (c.count, 0);
        EXPECT_EQ (c.features.transient, 0.0f);
    }
    EXPECT_EQ (engine.learningClass.load(), 2);
    EXPECT_NEAR (engine.learningProgress.load(), 512.0 / 55200.0, 1.0e-6);
}

TEST_F (HitEngine, ANewRequestRestartsTheRun)
{
    engine.learnRequest.store (1);
    for (int n = 0; n < 50; ++n)
        engine.process (lowThump());
    engine.learnRequest.store (3);
    engine.process (lowThump());
    EXPECT_EQ (engine.learningClass.load(), 3);
    EXPECT_NEAR (engine.learningProgress.load(), 512.0 / 55200.0, 1.0e-6);
}

TEST_F (HitEngine, InstallingAModelCancelsTheRunAndLowersTheRequests)
{
    engine.learnRequest.store (3);
    for (int n = 0; n < 10; ++n)
        engine.process (brightNoiseBurst());
    ASSERT_EQ (engine.learningClass.load(), 3);

    Engine::TaughtModel model {};
    model[0] = { { 0.2f, 0.7f, 0.3f, 0.002f }, 4 };
    model[1] = { { 0.1f, 0.5f, 0.5f, 0.01f }, -5 }; // a negative count is no count
    engine.clearRequest.store (true);
    engine.installModel (model);

    EXPECT_EQ (engine.learningClass.load(), 0);
    EXPECT_EQ (engine.learningProgress.load(), 0.0f);
    EXPECT_EQ (engine.learnedMask.load(), 1);
    EXPECT_FALSE (engine.clearRequest.load());

    for (int n = 0; n < 200; ++n) // well past where the run would have ended
        engine.process (brightNoiseBurst());
    const auto after = engine.taughtModel();
    EXPECT_EQ (engine.learnedMask.load(), 1);
    EXPECT_EQ (after[0].count, 4);
    EXPECT_EQ (after[0].features.lowRatio, 0.7f);
    EXPECT_EQ (after[1].count, 0);
    EXPECT_EQ (after[2].count, 0);
}

TEST_F (HitEngine, PreparationForgetsAnInstalledModel)
{
    Engine::TaughtModel model {};
    model[2] = { { 0.05f, 0.1f, 0.9f, 0.3f }, 3 };
    engine.installModel (model);
    engine.prepare (44100.0);
    EXPECT_EQ (engine.learnedMask.load(), 0);
    for (const auto& c : engine.taughtModel())
        EXPECT_EQ (c.count, 0);
}

TEST_F (HitEngine, KickMatchScalesTheConfidenceByTheLikenessToTheTaughtKick)
{
    // Taught on a thump in every block after the envelopes have settled on them, so that the next
    // thump is close to the profile.
    ReferenceFeatures reference;
    for (int n = 0; n < 50; ++n)
    {
        reference.next (lowThump());
        engine.process (lowThump());
    }
    int blockIndex = 0;
    const auto everyBlock = [] (int) { return lowThump(); };
    teach (engine, reference, blockIndex, 1, everyBlock);
    const auto profile = engine.taughtModel()[0].features;

    const auto block = lowThump();
    const auto f = reference.next (block);
    const auto result = engine.process (block);
    ASSERT_EQ (result.hitClass, 1);

    const double distance = 220.0 * std::abs (f.transient - profile.transient)
                            + 1.9 * std::abs (f.lowRatio - profile.lowRatio)
                            + 1.7 * std::abs (f.highRatio - profile.highRatio) + 140.0 * std::abs (f.zcr - profile.zcr);
    const double similarity = clamp01 (1.0 - distance);
    const double ratio = f.transient / std::max (profile.transient, 1.0e-5f);
    ASSERT_GT (similarity, 0.36);
    const double expected = similarity * result.hitConfidence * (ratio < 0.35 ? 0.35 : std::min (ratio, 1.0));
    EXPECT_GT (result.kickMatch, 0.5f);
    EXPECT_NEAR (result.kickMatch, clamp01 (expected), 2.0e-3);

    // A soft tap, reported as a kick (held or hit), is far under the taught attack: no match.
    const auto soft = engine.process (decayingSine (60.0, 0.01f, 0.03));
    EXPECT_EQ (soft.hitClass, 1);
    EXPECT_EQ (soft.kickMatch, 0.0f);
}

//==============================================================================
namespace
{
struct HitChain : testing::Test
{
    std::unique_ptr<QuorinProcessor> processor = test::makeProcessor (rate, blockSize);
    juce::MidiBuffer midi;

    void SetUp() override
    {
        test::set (*processor, Param::chainmode, 1.0f); // "Live Performance"
        test::set (*processor, Param::adaptivehit, 1.0f);
        test::set (*processor, Param::adaptmix, 0.5f);
    }

    void processSilence()
    {
        auto block = silence();
        processor->processBlock (block, midi);
    }
};
} // namespace

TEST_F (HitChain, LivePerformancePublishesTheEnginesHitAndMixMasterPublishesNone)
{
    processSilence();
    EXPECT_EQ (processor->adaptiveHitClass.load(), 4);
    EXPECT_NEAR (processor->adaptiveHitConfidence.load(), 0.61824f, 1.0e-5f);
    EXPECT_EQ (processor->getAdaptiveHitLabel(), "Inward K");

    test::set (*processor, Param::chainmode, 0.0f);
    processSilence();
    EXPECT_EQ (processor->adaptiveHitClass.load(), 0);
    EXPECT_EQ (processor->adaptiveHitConfidence.load(), 0.0f);
}

TEST_F (HitChain, AdaptiveHitMorphsTowardTheHitAndDecaysWhenSwitchedOff)
{
    // Inward K at 0.61824 with adaptmix 0.5: a = 0.61824 × log10(1 + 4.5); each offset moves 22 % of
    // the way to its target in one block.
    processSilence();
    const double a = 0.61824 * std::log10 (5.5);
    auto offsets = QuorinProcessorProbe::morphOffsets (*processor);
    EXPECT_NEAR (offsets.detail, 0.22 * 0.32 * a, 1.0e-5);
    EXPECT_NEAR (offsets.smack, 0.22 * 0.1 * a, 1.0e-5);
    EXPECT_NEAR (offsets.air, 0.22 * 0.11 * a, 1.0e-5);
    EXPECT_EQ (offsets.sub, 0.0f);
    EXPECT_EQ (offsets.loud, 0.0f);

    test::set (*processor, Param::adaptivehit, 0.0f); // still classified, no longer morphed
    processSilence();
    EXPECT_EQ (processor->adaptiveHitClass.load(), 4);
    EXPECT_NEAR (QuorinProcessorProbe::morphOffsets (*processor).detail, 0.92 * offsets.detail, 1.0e-6);
}

TEST_F (HitChain, LearnRequestsAreClampedAndWaitForLivePerformance)
{
    test::set (*processor, Param::chainmode, 0.0f);
    processor->requestAdaptiveHitLearn (0); // read as class 1
    for (int n = 0; n < 10; ++n)
        processSilence();
    EXPECT_EQ (processor->getAdaptiveHitLearningClass(), 0);

    test::set (*processor, Param::chainmode, 1.0f);
    processSilence();
    EXPECT_EQ (processor->getAdaptiveHitLearningClass(), 1);
    EXPECT_NEAR (processor->getAdaptiveHitLearningProgress(), 512.0 / 55200.0, 1.0e-6);

    processor->requestAdaptiveHitLearn (7); // read as class 3
    processSilence();
    EXPECT_EQ (processor->getAdaptiveHitLearningClass(), 3);
    for (int n = 0; n < 108; ++n)
        processSilence();
    EXPECT_EQ (processor->getAdaptiveHitLearningClass(), 0);
    EXPECT_EQ (processor->getAdaptiveHitLearnedMask(), 4);

    processor->clearAdaptiveHitLearnedModel();
    EXPECT_EQ (processor->getAdaptiveHitLearnedMask(), 4); // taken by the next block
    processSilence();
    EXPECT_EQ (processor->getAdaptiveHitLearnedMask(), 0);
}
