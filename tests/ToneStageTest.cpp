// The tone and EQ stage: the values handed to the engines, the EQ pass, the linear-phase pass and its
// dry path, the latency, a bypass that keeps it, and offline determinism.
#include "TestSupport.h"
#include "chain/MicrophoneVoicing.h"
#include "chain/ToneCurve.h"
#include "demo/DemoTake.h"
#include "engines/AnalogEqEngine.h"
#include "engines/LinearPhaseEqEngine.h"
#include "render/AudioFiles.h"
#include "render/OfflineRender.h"

#include <complex>
#include <map>

namespace
{
constexpr double fs = 48000.0;

ParameterSnapshot snapshot (std::initializer_list<std::pair<Param, float>> values)
{
    ParameterSnapshot p;
    for (const auto& [param, value] : values)
        p.values[static_cast<size_t> (param)] = value;
    return p;
}

void setAll (QuorinProcessor& p, std::initializer_list<std::pair<Param, float>> values)
{
    for (const auto& [param, value] : values)
        test::set (p, param, value);
}

/** The linear-phase tone path in "Mix / Master" with a plain voicing and nothing else in the way. */
void setMixLinearPhase (QuorinProcessor& p, float eqpct)
{
    setAll (p, { { Param::chainmode, 0.0f },
                 { Param::eqon, 1.0f },
                 { Param::lineareq, 0.0f },
                 { Param::wildcardmode, 0.0f },
                 { Param::voicemode, 0.0f },
                 { Param::antifeedback, 0.0f },
                 { Param::cupped, 0.0f },
                 { Param::popfilter, 0.0f },
                 { Param::mic, 0.0f },
                 { Param::bypass, 0.0f },
                 { Param::eqlow, -4.0f },
                 { Param::eqmid, 2.0f },
                 { Param::eqhigh, 5.0f },
                 { Param::eqpct, eqpct } });
}

/** The tone stage and its two engines, prepared as the processor prepares them for its settings. */
struct ToneRig
{
    explicit ToneRig (const QuorinProcessor& p, int maxBlockSize = 512)
    {
        analogEq.prepare ({ fs, 512, 2 });
        linearPhaseEq.prepare ({ fs, static_cast<juce::uint32> (maxBlockSize), 2 });
        tone.prepare ({ fs, static_cast<juce::uint32> (maxBlockSize), 2 });
        linearPhaseEq.rebuildNow (ToneEqStage::linearPhaseDesignFor (p.restingBlock (maxBlockSize)), {});
    }

    /** The stage as the frame runs it offline: design, EQ pass, and the linear-phase pass when
        active. Returns the EQ pass's input energy. */
    double run (juce::AudioBuffer<float>& b, const ChainBlock& block)
    {
        tone.design (block, analogEq);
        const auto pass = tone.runEqPass (b, block, 0.0f, analogEq);
        if (block.flags.linearPhaseActive)
            tone.runLinearPhase (b, block, linearPhaseEq, true);
        else
            tone.linearPhaseStopped();
        return pass.inputEnergy;
    }

    /** Runs the stage over the signal in blocks of 512 with the processor's records. */
    void runOver (const QuorinProcessor& p, juce::AudioBuffer<float>& signal)
    {
        test::processInBlocks (
            signal, 512, [&] (juce::AudioBuffer<float>& view) { run (view, p.restingBlock (view.getNumSamples())); });
    }

    AnalogEqEngine analogEq;
    LinearPhaseEqEngine linearPhaseEq;
    ToneEqStage tone;
};

/** Gain of the tone stage at a whole-hertz frequency: a quiet sine (below the de-esser) driven through
    the stage block by block, projected over its last second. */
double stageGain (QuorinProcessor& p, int f)
{
    constexpr float amplitude = 0.01f;
    const int rate = static_cast<int> (fs);
    auto signal = test::sine (2, 3 * rate, f, fs, amplitude);
    ToneRig (p).runOver (p, signal);
    return 2.0 * std::abs (test::componentAt (signal, 0, 2 * rate, f, rate)) / fs / amplitude;
}

//==============================================================================
struct ToneCase
{
    const char* name;
    bool isLive, stage, voice, popFilter;
    int mic;
    float airShelfHz, sub, beast, loud;
    // Expected, worked by hand from the mode rules and the microphone table.
    float hpfHz, lowMidDb, presenceDb, presenceHz, airDb, airHz, lowDb;
};

class ToneCurveRules : public testing::TestWithParam<ToneCase>
{
};
} // namespace

TEST_P (ToneCurveRules, LiveToneCurveFollowsModeMicrophoneAndSwitches)
{
    const auto& c = GetParam();
    const auto params = snapshot ({ { Param::mic, float (c.mic) }, { Param::popfilter, c.popFilter ? 1.0f : 0.0f } });
    BlockFlags flags;
    flags.isLive = c.isLive;
    flags.stageLive = c.isLive && c.stage;
    flags.voiceMode = c.voice;
    BlockControls controls;
    controls.detailAmt = 0.5f;
    controls.smartEff = 0.4f;
    controls.smackAmt = 0.6f;
    controls.airAmt = 0.5f;
    controls.smartAmt = 0.3f;
    controls.airShelfHz = c.airShelfHz;
    controls.subAmt = c.sub;
    controls.beastAmt = c.beast;
    controls.loudAmt = c.loud;

    const auto curve = liveToneCurveFor (params, flags, controls);
    EXPECT_NEAR (curve.hpfHz, c.hpfHz, 1.0e-4f);
    EXPECT_NEAR (curve.lowMidGainDb, c.lowMidDb, 1.0e-5f);
    EXPECT_NEAR (curve.presenceGainDb, c.presenceDb, 1.0e-5f);
    EXPECT_EQ (curve.presenceHz, c.presenceHz);
    EXPECT_NEAR (curve.airGainDb, c.airDb, 1.0e-5f);
    EXPECT_EQ (curve.airHz, c.airHz);
    EXPECT_NEAR (curve.lowGainDb, c.lowDb, 1.0e-5f);
}

INSTANTIATE_TEST_SUITE_P (
    ToneStage, ToneCurveRules,
    testing::Values (ToneCase { "mixFlat", false, false, false, false, 0, 8000.0f, 0.5f, 0.2f, 0.4f, 68.0f, -0.628f,
                                1.305f, 2600.0f, 1.225f, 8000.0f, 0.621f },
                     ToneCase { "mixSm58PopFilter", false, false, false, true, 3, 7000.0f, 0.5f, 0.2f, 0.4f, 72.0f,
                                -1.328f, 3.005f, 2600.0f, 1.07f, 7400.0f, 0.645f },
                     ToneCase { "mixSm58", false, false, false, false, 3, 13000.0f, 0.5f, 0.2f, 0.4f, 76.0f, -0.828f,
                                2.105f, 2600.0f, 0.425f, 12200.0f, 0.645f },
                     ToneCase { "mixLowBellClamped", false, false, false, false, 1, 8000.0f, 1.0f, 1.0f, 1.0f, 68.0f,
                                -1.028f, 2.905f, 2600.0f, 3.425f, 8000.0f, 1.35f },
                     ToneCase { "liveStageSm7b", true, true, false, false, 1, 8000.0f, 0.5f, 0.2f, 0.4f, 76.0f, -2.54f,
                                5.339f, 2600.0f, 4.48f, 8000.0f, 1.256f },
                     ToneCase { "liveHomeLowBellClamped", true, false, false, false, 1, 8000.0f, 1.0f, 1.0f, 1.0f,
                                50.0f, -2.54f, 5.339f, 2600.0f, 4.48f, 8000.0f, 2.45f },
                     ToneCase { "liveHomeVoicePga58PopFilter", true, false, true, true, 4, 8000.0f, 0.5f, 0.2f, 0.4f,
                                144.0f, -1.922f, 3.867f, 2200.0f, 2.362f, 8000.0f, 0.0f },
                     ToneCase { "liveStageVoiceFlat", true, true, true, false, 0, 8000.0f, 0.5f, 0.2f, 0.4f, 164.0f,
                                -0.922f, 1.767f, 2200.0f, 1.117f, 8000.0f, 0.0f }),
    [] (const testing::TestParamInfo<ToneCase>& tone) { return std::string (tone.param.name); });

TEST (ToneStageNotches, NotchesFollowTheFeedbackSwitchModeAndVenue)
{
    struct Case
    {
        const char* name;
        bool isLive, stage, antiFeedback;
        std::array<int, 3> choices;
        std::array<float, 3> expectedHz;
        float q, gainDb;
        bool enabled;
    };
    for (const auto& c :
         { Case { "live stage", true, true, true, { 5, 0, 18 }, { 400.0f, 0.0f, 8000.0f }, 16.0f, -8.0f, true },
           Case { "live home", true, false, true, { 1, 9, 30 }, { 160.0f, 1000.0f, 8000.0f }, 14.0f, -6.5f, true },
           Case { "mix", false, false, true, { 13, 14, 15 }, { 2500.0f, 3150.0f, 4000.0f }, 14.0f, 0.0f, false },
           Case { "live stage off", true, true, false, { 2, 3, 4 }, { 200.0f, 250.0f, 315.0f }, 16.0f, 0.0f, false } })
    {
        SCOPED_TRACE (c.name);
        const auto params = snapshot ({ { Param::fbfreq1, float (c.choices[0]) },
                                        { Param::fbfreq2, float (c.choices[1]) },
                                        { Param::fbfreq3, float (c.choices[2]) } });
        BlockFlags flags;
        flags.isLive = c.isLive;
        flags.stageLive = c.isLive && c.stage;
        flags.notchesOn = c.isLive && c.antiFeedback;
        const auto notches = feedbackNotchesFor (params, flags);
        EXPECT_EQ (notches.frequenciesHz, c.expectedHz);
        EXPECT_EQ (notches.q, c.q);
        EXPECT_EQ (notches.gainDb, c.gainDb);
        EXPECT_EQ (notches.enabled, c.enabled);
    }
}

TEST (ToneStageNotches, EveryFeedbackChoiceHasItsThirdOctaveFrequency)
{
    const std::array<float, 19> expected { 0,    160,  200,  250,  315,  400,  500,  630,  800, 1000,
                                           1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000 };
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ (feedbackFrequencyHz (i), expected[static_cast<size_t> (i)]) << i;
    EXPECT_EQ (feedbackFrequencyHz (-3), 0.0f);
    EXPECT_EQ (feedbackFrequencyHz (40), 8000.0f);
}

//==============================================================================
TEST (ToneStageEqPass, WithTheEqOffSamplesPassUnchangedAndTheirEnergyIsStillMeasured)
{
    auto p = test::makeProcessor();
    setMixLinearPhase (*p, 1.0f);
    test::set (*p, Param::eqon, 0.0f);
    auto buffer = test::sine (2, 512, 3000.0, fs, 0.5f);
    buffer.applyGain (1, 0, 512, 0.5f);
    const auto input = buffer;
    const auto inputEnergy = ToneRig (*p).run (buffer, p->restingBlock (512));

    double expectedEnergy = 0.0;
    for (int i = 0; i < 512; ++i)
    {
        ASSERT_EQ (buffer.getSample (0, i), input.getSample (0, i));
        ASSERT_EQ (buffer.getSample (1, i), input.getSample (1, i));
        expectedEnergy += 0.5 * (std::pow (input.getSample (0, i), 2.0) + std::pow (input.getSample (1, i), 2.0));
    }
    EXPECT_NEAR (inputEnergy, expectedEnergy, 1.0e-9 * expectedEnergy);
}

TEST (ToneStageEqPass, RawModeBlendsTheRawCurveWithTheDryByTheEqAmount)
{
    // With the amount at 0 the raw curve is fully blended out.
    auto p = test::makeProcessor();
    setMixLinearPhase (*p, 0.0f);
    setAll (*p, { { Param::wildcardmode, 1.0f }, { Param::wildcardhybridfx, 0.0f } });
    auto buffer = test::sine (2, 512, 90.0, fs, 0.5f);
    const auto input = buffer;
    ToneRig (*p).run (buffer, p->restingBlock (512));
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ (buffer.getSample (1, i), input.getSample (1, i));

    // At full amount a 40 Hz tone meets the raw high-pass, a 0.707-Q section at 0.84 × 68 − 6 Hz.
    test::set (*p, Param::eqpct, 1.0f);
    const double corner = 0.84 * 68.0 - 6.0;
    const double w = std::tan (test::pi * 40.0 / fs) / std::tan (test::pi * corner / fs);
    const double expected = w * w / std::sqrt (std::pow (1.0 - w * w, 2.0) + 2.0 * w * w);
    EXPECT_NEAR (test::toDb (stageGain (*p, 40)), test::toDb (expected), 0.05);
}

TEST (ToneStageLinearPhase, HalfBlendOfFirAndDelayedDryHasNoComb)
{
    auto p = test::makeProcessor();
    std::map<float, std::vector<double>> gains;
    const std::vector<int> frequencies { 60, 188, 440, 1000, 3000, 7000, 12000 };
    for (float amount : { 0.0f, 0.5f, 1.0f })
    {
        setMixLinearPhase (*p, amount);
        for (int f : frequencies)
            gains[amount].push_back (stageGain (*p, f));
    }
    for (size_t i = 0; i < frequencies.size(); ++i)
    {
        const double average = 0.5 * (gains[0.0f][i] + gains[1.0f][i]);
        EXPECT_NEAR (test::toDb (gains[0.0f][i]), 0.0, 0.01)
            << "the dry path is the EQ pass output, " << frequencies[i];
        EXPECT_NEAR (test::toDb (gains[0.5f][i]), test::toDb (average), 0.5) << frequencies[i] << " Hz";
    }
    EXPECT_GT (test::toDb (gains[1.0f].back()), 4.0) << "the FIR path carries the user EQ";
}

TEST (ToneStageLinearPhase, FirstBlockAfterPrepareRunsTheKernelOfTheCurrentSettingsAlsoInRealTime)
{
    // Offline, a changed kernel is taken at once; in real time it comes from the background loader.
    // Preparing builds the current settings' kernel in both, so the first blocks agree bit for bit.
    const auto firstBlocks = [] (bool offline)
    {
        QuorinProcessor p;
        p.setNonRealtime (offline);
        setMixLinearPhase (p, 1.0f);
        p.prepareToPlay (fs, 512);
        auto buffer = test::whiteNoise (2, 2048, 0.1f, 3);
        test::process (p, buffer, 512);
        return buffer;
    };
    const auto realTime = firstBlocks (false), offline = firstBlocks (true);
    for (int ch = 0; ch < 2; ++ch)
        for (int n = 0; n < realTime.getNumSamples(); ++n)
            ASSERT_EQ (realTime.getSample (ch, n), offline.getSample (ch, n)) << ch << ":" << n;

    // And the stage's first block is that kernel: a click comes out as the kernel itself.
    auto p = test::makeProcessor();
    setMixLinearPhase (*p, 1.0f);
    ToneRig rig (*p);
    juce::AudioBuffer<float> buffer (2, 512);
    buffer.clear();
    buffer.setSample (0, 0, 0.01f);
    buffer.setSample (1, 0, 0.01f);
    const auto block = p->restingBlock (512);
    rig.run (buffer, block);

    const auto curve = liveToneCurveFor (block.params, block.flags, block.controls);
    auto kernel = rig.linearPhaseEq.buildUserShelfImpulse (-4.0f, 2.0f, 5.0f);
    rig.linearPhaseEq.mergeLiveToneCurveLinearPhase (kernel, curve, 0.78f);
    for (int n = 0; n < 512; ++n)
        ASSERT_NEAR (buffer.getSample (1, n), n < 257 ? 0.01f * kernel[static_cast<size_t> (n)] : 0.0f, 1.0e-8f) << n;
}

// A linear-phase response is symmetric about its delay: the click comes out centred exactly on the
// latency the processor reports, at every usual rate.
TEST (ToneStageLatency, ImpulseResponseIsCentredOnTheReportedLatency)
{
    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        SCOPED_TRACE (rate);
        auto p = test::makeProcessor (rate, 512);
        setMixLinearPhase (*p, 1.0f);
        juce::AudioBuffer<float> click (2, 512);
        click.clear();
        click.setSample (0, 0, 0.01f);
        click.setSample (1, 0, 0.01f);
        const int latency = QuorinProcessor::LinearPhaseEqEngine::centreTap;
        ToneRig (*p).run (click, p->restingBlock (512));

        for (int k = 1; k <= latency; ++k)
            ASSERT_NEAR (click.getSample (0, latency + k), click.getSample (0, latency - k), 1.0e-9f) << k;
        EXPECT_EQ (click.findMinMax (0, 0, 512).getEnd(), click.getSample (0, latency));
    }
}

//==============================================================================
TEST (ToneStageLatency, ReportedLatencyFollowsTheSwitchesOnTheNextBlock)
{
    struct Case
    {
        const char* name;
        float chainMode, eqOn, linearEq, wildcard, hybrid;
        int expected;
    };
    auto p = test::makeProcessor();
    test::set (*p, Param::bypass, 0.0f);
    juce::MidiBuffer midi;
    // The linear-phase FIR adds its 128 samples to the delay the rest of the chain always has.
    setAll (*p, { { Param::eqon, 0.0f } });
    const int rest = p->getLatencySamples();
    for (const auto& c :
         { Case { "mix", 0, 1, 0, 0, 0, 128 }, Case { "mix, eq off", 0, 0, 0, 0, 0, 0 },
           Case { "mix, linear switch on", 0, 1, 1, 0, 0, 128 }, Case { "live", 1, 1, 0, 0, 0, 0 },
           Case { "live, linear", 1, 1, 1, 0, 0, 128 }, Case { "live, linear, eq off", 1, 0, 1, 0, 0, 0 },
           Case { "mix, raw wildcard", 0, 1, 0, 1, 0, 0 }, Case { "mix, hybrid wildcard", 0, 1, 0, 1, 1, 128 },
           Case { "live, linear, raw wildcard", 1, 1, 1, 1, 0, 0 } })
    {
        setAll (*p, { { Param::chainmode, c.chainMode },
                      { Param::eqon, c.eqOn },
                      { Param::lineareq, c.linearEq },
                      { Param::wildcardmode, c.wildcard },
                      { Param::wildcardhybridfx, c.hybrid } });
        auto buffer = test::sine (2, 512, 440.0, fs, 0.1f);
        p->processBlock (buffer, midi);
        EXPECT_EQ (p->getLatencySamples(), rest + c.expected) << c.name;
    }
}

//==============================================================================
class ToneStageBypass : public testing::Test
{
protected:
    std::unique_ptr<QuorinProcessor> p = test::makeProcessor (fs, 512);
    juce::MidiBuffer midi;
    juce::Random random { 11 };

    juce::AudioBuffer<float> noise (int numSamples)
    {
        juce::AudioBuffer<float> b (2, numSamples);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < numSamples; ++i)
                b.setSample (ch, i, random.nextFloat() - 0.5f);
        return b;
    }

    void processRange (juce::AudioBuffer<float>& signal, int start, int length)
    {
        juce::AudioBuffer<float> view (signal.getArrayOfWritePointers(), 2, start, length);
        p->processBlock (view, midi);
    }
};

TEST_F (ToneStageBypass, SwitchedOnMidStreamTheInputComesOutExactlyAsLateAsTheLatency)
{
    setMixLinearPhase (*p, 1.0f);
    const auto input = noise (8 * 512);
    auto signal = input;
    for (int b = 0; b < 4; ++b)
        processRange (signal, b * 512, 512);
    const int latency = p->getLatencySamples();
    ASSERT_GE (latency, 128);

    test::set (*p, Param::bypass, 1.0f);
    processRange (signal, 4 * 512, 512);
    processRange (signal, 5 * 512, 3 * 512); // longer than the prepared block
    EXPECT_EQ (p->getLatencySamples(), latency) << "bypass keeps reporting the latency in force";
    for (int ch = 0; ch < 2; ++ch)
        for (int n = 4 * 512; n < 8 * 512; ++n)
            ASSERT_EQ (signal.getSample (ch, n), input.getSample (ch, n - latency)) << ch << ":" << n;
}

TEST_F (ToneStageBypass, WithoutTheLinearPhaseEqTheInputComesOutAsLateAsTheRestOfTheChain)
{
    setMixLinearPhase (*p, 1.0f);
    test::set (*p, Param::eqon, 0.0f);
    const auto input = noise (2 * 512);
    auto signal = input;
    processRange (signal, 0, 512);
    const int latency = p->getLatencySamples();
    test::set (*p, Param::bypass, 1.0f);
    processRange (signal, 512, 512);
    for (int n = 512; n < 1024; ++n)
        ASSERT_EQ (signal.getSample (1, n), input.getSample (1, n - latency));
}

//==============================================================================
class ToneStageRender : public testing::Test
{
protected:
    juce::TemporaryFile folderName;
    juce::File folder = folderName.getFile();

    void SetUp() override { ASSERT_TRUE (folder.createDirectory()); }
    void TearDown() override { folder.deleteRecursively(); }

    /** Renders a click at `position` through the render tool's core and returns the rendered file. */
    juce::AudioBuffer<float> renderClick (int position, const juce::StringArray& settings)
    {
        juce::AudioBuffer<float> click (1, 9600);
        click.clear();
        click.setSample (0, position, 0.5f);
        const auto input = folder.getChildFile ("click.wav");
        const auto output = folder.getChildFile ("out.wav");
        EXPECT_EQ (audiofiles::writeWholeFile (input, click, fs, true), "");

        RenderOptions options;
        options.input = input;
        options.output = output;
        options.settings = settings;
        options.asFloat = true;
        std::atomic<bool> cancel { false };
        EXPECT_EQ (renderFile (options, {}, cancel).error, "");

        juce::String error;
        auto reader = audiofiles::openReader (output, error);
        juce::AudioBuffer<float> rendered (static_cast<int> (reader->numChannels),
                                           static_cast<int> (reader->lengthInSamples));
        reader->read (&rendered, 0, rendered.getNumSamples(), 0, true, true);
        return rendered;
    }

    static int loudestSample (const juce::AudioBuffer<float>& b)
    {
        int loudest = 0;
        for (int i = 0; i < b.getNumSamples(); ++i)
            if (std::abs (b.getSample (0, i)) > std::abs (b.getSample (0, loudest)))
                loudest = i;
        return loudest;
    }
};

TEST_F (ToneStageRender, ClickComesOutWhereItWentInWithAndWithoutBypass)
{
    const juce::StringArray linearPhase { "chainmode=0", "eqon=1",  "lineareq=0", "wildcardmode=0", "voicemode=0",
                                          "eqpct=1",     "eqlow=0", "eqmid=0",    "eqhigh=0" };
    auto processed = linearPhase;
    processed.addArray ({ "bypass=0", "dynamicson=0", "air=0" }); // see ChainLatency for why these two
    auto bypassed = linearPhase;
    bypassed.add ("bypass=1");

    EXPECT_EQ (loudestSample (renderClick (3000, processed)), 3000);
    const auto passed = renderClick (3000, bypassed);
    EXPECT_EQ (loudestSample (passed), 3000);
    EXPECT_EQ (passed.getSample (0, 3000), 0.5f);
}

//==============================================================================
TEST (ToneStageDeterminism, TheSameOfflineRenderTwiceIsBitIdentical)
{
    // Parameter moves mid-take force kernel rebuilds and a switch between the two EQ paths.
    const auto take = demo::makeDemoTake (fs, 3.0);
    const auto render = [&]
    {
        auto p = test::makeProcessor (fs, 256);
        setMixLinearPhase (*p, 0.7f);
        juce::AudioBuffer<float> signal (2, take.getNumSamples());
        for (int ch = 0; ch < 2; ++ch)
            signal.copyFrom (ch, 0, take, 0, 0, take.getNumSamples());
        const int third = (take.getNumSamples() / 3 / 256) * 256;
        juce::AudioBuffer<float> first (signal.getArrayOfWritePointers(), 2, 0, third);
        test::process (*p, first, 256);
        setAll (*p, { { Param::eqhigh, -3.0f }, { Param::chainmode, 1.0f }, { Param::lineareq, 1.0f } });
        juce::AudioBuffer<float> second (signal.getArrayOfWritePointers(), 2, third, third);
        test::process (*p, second, 256);
        setAll (*p, { { Param::lineareq, 0.0f }, { Param::cupped, 1.0f }, { Param::antifeedback, 1.0f } });
        juce::AudioBuffer<float> rest (signal.getArrayOfWritePointers(), 2, 2 * third,
                                       signal.getNumSamples() - 2 * third);
        test::process (*p, rest, 256);
        return signal;
    };
    const auto a = render();
    const auto b = render();
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_EQ (
            0, std::memcmp (a.getReadPointer (ch), b.getReadPointer (ch), sizeof (float) * size_t (a.getNumSamples())));
}

TEST (MicrophoneTable, EveryRowIsTheVoicingOfItsMicrophone)
{
    // P, A, M, H, L for each microphone, typed again from the microphone table.
    constexpr float rows[15][5] = {
        { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f },   { 1.6f, 2.2f, -0.4f, 0.0f, 0.1f },    { -1.4f, -0.6f, 0.0f, 6.0f, 0.05f },
        { 0.8f, -0.8f, 0.3f, 8.0f, 0.04f }, { 1.2f, 0.6f, -0.5f, 10.0f, 0.06f },  { 0.6f, 0.4f, -0.2f, 6.0f, 0.07f },
        { -0.4f, -1.6f, 0.0f, 0.0f, 0.0f }, { 0.3f, -1.0f, -0.1f, 0.0f, 0.0f },   { 0.9f, 0.7f, -0.3f, 5.0f, 0.06f },
        { 1.4f, 1.0f, -0.4f, 7.0f, 0.05f }, { -0.8f, -1.4f, 0.1f, 12.0f, 0.03f }, { 1.8f, 2.4f, -0.7f, 2.0f, 0.02f },
        { 0.5f, 0.8f, -0.3f, 8.0f, 0.05f }, { -0.2f, -0.5f, 0.1f, 10.0f, 0.06f }, { -0.9f, -0.9f, 0.2f, 12.0f, 0.04f },
    };
    const auto expectRow = [&rows] (int index, int row)
    {
        const auto& v = microphoneVoicing (index);
        const float got[5] { v.presenceDb, v.airDb, v.lowMidDb, v.highPassOffsetHz, v.lowOffset };
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ (got[k], rows[row][k]) << "microphone " << index << " column " << k;
    };
    for (int i = 0; i < 15; ++i)
        expectRow (i, i);
    expectRow (-3, 0);
    expectRow (15, 14);
}

namespace
{
/** Complex gain of the tone stage on channel 0 for a sine at a whole-hertz frequency and amplitude,
    over the last second of three. */
std::complex<double> stageResponse (QuorinProcessor& p, int f, float amplitude)
{
    const int rate = static_cast<int> (fs);
    auto signal = test::sine (2, 3 * rate, f, fs, amplitude);
    const auto input = signal;
    ToneRig (p).runOver (p, signal);
    return test::componentAt (signal, 0, 2 * rate, f, rate) / test::componentAt (input, 0, 2 * rate, f, rate);
}

/** The minimum-phase EQ: "Live Performance" with the linear-phase switch off and the user EQ set. */
std::unique_ptr<QuorinProcessor> minimumPhaseEq (float eqpct)
{
    auto p = test::makeProcessor();
    setAll (*p, { { Param::chainmode, 1.0f },
                  { Param::eqon, 1.0f },
                  { Param::lineareq, 0.0f },
                  { Param::wildcardmode, 0.0f },
                  { Param::voicemode, 0.0f },
                  { Param::antifeedback, 0.0f },
                  { Param::cupped, 0.0f },
                  { Param::mic, 1.0f },
                  { Param::eqlow, -6.0f },
                  { Param::eqmid, 4.0f },
                  { Param::eqhigh, 6.0f },
                  { Param::eqpct, eqpct } });
    return p;
}
} // namespace

TEST (ToneStageEqPass, TheMinimumPhaseEqBlendsWithItsInputByTheEqAmount)
{
    // Quiet tones (no de-essing): the stage is linear, so at an amount m its response is
    // (1 - m) + m·H, H being the full response.
    for (int f : { 90, 1250, 7000 })
    {
        const auto full = stageResponse (*minimumPhaseEq (1.0f), f, 0.01f);
        EXPECT_GT (std::abs (full - 1.0), 0.1) << f << " Hz: the EQ must do something here";
        EXPECT_LT (std::abs (stageResponse (*minimumPhaseEq (0.0f), f, 0.01f) - 1.0), 1.0e-4) << f << " Hz";
        EXPECT_LT (std::abs (stageResponse (*minimumPhaseEq (0.5f), f, 0.01f) - 0.5 * (1.0 + full)), 2.0e-3)
            << f << " Hz";
    }
}

namespace
{
/** The de-esser's gain on a tone at its detector's centre, worked from its rules: the detector passes
    the tone unchanged, the envelope follows |x| (0.16 up, 0.012 down per sample), and above the
    threshold the gain is 1 - depth·(e - T), at least 0.62. Returns the gain that a projection onto the
    tone sees over the last second of `seconds`. */
double deEsserToneGain (double amplitude, double threshold, double depth, int f, int seconds)
{
    const int rate = static_cast<int> (fs);
    double e = 0.0;
    std::complex<double> out, in;
    for (int n = 0; n < seconds * rate; ++n)
    {
        const double x = amplitude * std::sin (2.0 * test::pi * f * n / fs);
        const double d = std::abs (x);
        e += (d - e) * (d > e ? 0.16 : 0.012);
        const double g = e > threshold ? std::max (0.62, 1.0 - depth * (e - threshold)) : 1.0;
        if (n >= (seconds - 1) * rate)
        {
            out += x * g * std::polar (1.0, -2.0 * test::pi * f * n / fs);
            in += x * std::polar (1.0, -2.0 * test::pi * f * n / fs);
        }
    }
    return std::abs (out) / std::abs (in);
}

struct DeEsserCase
{
    const char* name;
    bool live;
    double tolerance; // the live tone curve in front of the de-esser saturates gently (its own tanh)
};
void PrintTo (const DeEsserCase& c, std::ostream* os) { *os << c.name; }

class DeEsser : public testing::TestWithParam<DeEsserCase>
{
};
} // namespace

TEST_P (DeEsser, ALoudToneAtItsCentreIsTurnedDownByItsThresholdAndDepth)
{
    constexpr int f = 6200;
    const bool live = GetParam().live;
    const auto make = [live]
    {
        auto p = test::makeProcessor();
        setAll (*p, { { Param::chainmode, live ? 1.0f : 0.0f },
                      { Param::eqon, 1.0f },
                      { Param::lineareq, 0.0f },
                      { Param::wildcardmode, 0.0f },
                      { Param::voicemode, 0.0f },
                      { Param::antifeedback, 0.0f },
                      { Param::cupped, 0.0f },
                      { Param::mic, 0.0f },
                      { Param::eqlow, 0.0f },
                      { Param::eqmid, 0.0f },
                      { Param::eqhigh, 0.0f },
                      { Param::eqpct, 1.0f },
                      { Param::airknobon, 0.0f },
                      { Param::smart, 0.3f },
                      { Param::smartknobon, 1.0f } });
        return p;
    };

    // What reaches the de-esser: the tone itself in "Mix / Master" (the tone curve follows in the FIR),
    // the tone through the live curve in "Live Performance"; a quiet tone measures that path.
    const double quietGain = std::abs (stageResponse (*make(), f, 0.01f));
    const double atDeEsser = 0.12; // the tone's amplitude at the detector: above threshold, above the floor
    const double before = live ? quietGain : 1.0;
    const auto amplitude = float (atDeEsser / before);
    const double loudGain = std::abs (stageResponse (*make(), f, amplitude));

    // Thresholds and depths of the two modes; in "Mix / Master" the air amount is 0.03 with its knob off.
    const double smartEff = live ? std::min (1.0, 1.16 * std::pow (std::log10 (1.0 + 9.0 * 0.3), 0.82)) : 0.0;
    const double threshold = live ? 0.08 - 0.02 * smartEff : 0.075 - 0.012 * 0.03;
    const double depth = 1.4 * smartEff + 2.8;
    const double expected = deEsserToneGain (atDeEsser, threshold, depth, f, 3);
    ASSERT_LT (expected, 0.95); // the case does de-ess
    EXPECT_NEAR (loudGain / quietGain, expected, GetParam().tolerance);
}

INSTANTIATE_TEST_SUITE_P (ToneStage, DeEsser,
                          testing::Values (DeEsserCase { "MixMaster", false, 0.003 },
                                           DeEsserCase { "LivePerformance", true, 0.009 }),
                          [] (const testing::TestParamInfo<DeEsserCase>& param)
                          { return std::string (param.param.name); });
