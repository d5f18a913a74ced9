// The space stage: the ducking level, and how ducking, the reverb amount and the macros scale each bus.
#include "chain/SpaceStage.h"
#include "StageDriving.h"
#include "engines/ModernReverb.h"

namespace
{
constexpr double rate = 48000.0;

juce::AudioBuffer<float> constant (int numChannels, int numSamples, float left, float right)
{
    juce::AudioBuffer<float> b (numChannels, numSamples);
    b.clear();
    for (int i = 0; i < numSamples; ++i)
    {
        b.setSample (0, i, left);
        if (numChannels > 1)
            b.setSample (1, i, right);
    }
    return b;
}

using Settings = std::vector<std::pair<Param, float>>;

/** Both buses reachable; the case picks one through the knob switches. */
const Settings spaceBase {
    { Param::reverbon, 1.0f },     { Param::revpct, 1.0f },        { Param::voicemode, 0.0f },
    { Param::wildcardmode, 0.0f }, { Param::live, 0.5f },          { Param::flavour, 0.6f },
    { Param::revdecay, 2.1f },     { Param::revlivedecay, 1.6f },  { Param::revflavourdecay, 2.0f },
    { Param::revducklive, 0.0f },  { Param::revduckflavour, 0.0f }
};

Settings with (Settings settings, const Settings& more)
{
    settings.insert (settings.end(), more.begin(), more.end());
    return settings;
}

/** What the stage adds to a loud sine (the ducking level pinned at 0.96), after the wet level has
    settled. */
juce::AudioBuffer<float> addedReverb (const Settings& settings)
{
    auto processor = test::preparedWith (settings);
    ModernReverb live (space::liveRoomScale), flavour (space::flavourRoomScale);
    space::prepareReverbs (live, flavour, { rate, 512, 2 });
    auto signal = test::sine (2, static_cast<int> (rate), 220.0, rate, 0.5f);
    const auto input = signal;
    test::driveStage (*processor, signal, 512,
                      [&] (juce::AudioBuffer<float>& b, const ChainBlock& block)
                      {
                          const auto ducking = space::measureDucking (b, block);
                          space::process (b, block, ducking.duckLevel, live, flavour);
                      });
    for (int ch = 0; ch < 2; ++ch)
        signal.addFrom (ch, 0, input, ch, 0, signal.getNumSamples(), -1.0f);
    return signal;
}

struct DuckCase
{
    const char* name;
    Settings bus;      // the bus switched on and the chain mode
    Settings settings; // what differs from the unducked twin at full amount
    double ratio;      // worked by hand from the duck rules
};

const Settings liveBus { { Param::liveknobon, 1.0f }, { Param::flavourknobon, 0.0f }, { Param::chainmode, 0.0f } };
const Settings flavourMix { { Param::liveknobon, 0.0f }, { Param::flavourknobon, 1.0f }, { Param::chainmode, 0.0f } };
const Settings flavourLive { { Param::liveknobon, 0.0f }, { Param::flavourknobon, 1.0f }, { Param::chainmode, 1.0f } };

const DuckCase duckCases[] {
    { "live_full_duck", liveBus, { { Param::revducklive, 1.0f } }, 1.0 - 0.96 },
    { "live_half_duck", liveBus, { { Param::revducklive, 0.5f } }, 1.0 - 0.48 },
    { "live_half_amount", liveBus, { { Param::revducklive, 1.0f }, { Param::revpct, 0.5f } }, 0.5 * (1.0 - 0.96) },
    { "live_knob_off", liveBus, { { Param::liveknobon, 0.0f } }, 0.0 },
    { "flavour_mix_full_duck", flavourMix, { { Param::revduckflavour, 1.0f } }, 1.0 - 0.42 * 0.96 },
    { "flavour_live_full_duck", flavourLive, { { Param::revduckflavour, 1.0f } }, 1.0 - 0.88 * 0.96 },
    { "flavour_no_amount", flavourMix, { { Param::revpct, 0.0f } }, 0.0 },
};

class SpaceDucking : public testing::TestWithParam<DuckCase>
{
};
} // namespace

TEST_P (SpaceDucking, WetLevelScalesByTheDuckGainAndAmount)
{
    const auto& c = GetParam();
    const auto twin = addedReverb (with (spaceBase, c.bus));
    const auto ducked = addedReverb (with (with (spaceBase, c.bus), c.settings));
    const int settled = 24000; // the wet glide (0.0028 per sample) has long arrived
    ASSERT_GT (test::rms (twin, 0, settled), 1.0e-4);
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_NEAR (test::rms (ducked, ch, settled) / test::rms (twin, ch, settled), c.ratio, 1.0e-3)
            << "channel " << ch;
}

INSTANTIATE_TEST_SUITE_P (Cases, SpaceDucking, testing::ValuesIn (duckCases),
                          [] (const auto& c) { return std::string (c.param.name); });

TEST (SpaceStage, DuckingLevelAndOutputEnergyOfTheBlock)
{
    const struct
    {
        const char* what;
        int channels;
        float left, right;
        bool voice;
        float duck;
        double energyPerSample;
    } cases[] {
        { "stereo", 2, 0.1f, 0.3f, false, 0.6f, 0.5 * (0.01 + 0.09) },
        { "one channel counts once", 1, 0.1f, 0.0f, false, 0.6f, 0.01 },
        { "voice mode", 2, 0.1f, 0.0f, true, 0.4f, 0.5 * 0.01 },
        { "loud block", 2, 0.5f, 0.5f, false, 0.96f, 0.25 },
        { "left channel only decides", 2, 0.0f, 0.5f, false, 0.0f, 0.125 },
    };

    for (const auto& c : cases)
    {
        auto processor = test::preparedWith ({ { Param::voicemode, c.voice ? 1.0f : 0.0f } });
        const auto block = constant (c.channels, 480, c.left, c.right);
        const auto record = processor->restingBlock (480);
        const auto measured = space::measureDucking (block, record);
        EXPECT_NEAR (measured.duckLevel, c.duck, 1.0e-6f) << c.what;
        EXPECT_NEAR (measured.outputEnergy, 480 * c.energyPerSample, 1.0e-5 * 480 * c.energyPerSample) << c.what;
    }
}
