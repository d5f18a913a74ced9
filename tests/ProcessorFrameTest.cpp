// Host-facing answers of the processor: buses, programs, name, tail, MIDI, the venue rule.
#include "TestSupport.h"

namespace
{
using Set = juce::AudioChannelSet;

struct LayoutCase
{
    const char* name;
    std::vector<Set> inputs, outputs;
    bool accepted;
};

void PrintTo (const LayoutCase& c, std::ostream* os) { *os << c.name; }

juce::AudioProcessor::BusesLayout layoutOf (const LayoutCase& c)
{
    juce::AudioProcessor::BusesLayout layout;
    for (auto& s : c.inputs)
        layout.inputBuses.add (s);
    for (auto& s : c.outputs)
        layout.outputBuses.add (s);
    return layout;
}

const LayoutCase layoutCases[] = {
    { "stereo in, stereo out", { Set::stereo() }, { Set::stereo() }, true },
    { "mono in, stereo out", { Set::mono() }, { Set::stereo() }, true },
    { "stereo in, mono out", { Set::stereo() }, { Set::mono() }, true },
    { "mono in, mono out", { Set::mono() }, { Set::mono() }, true },
    { "disabled in, stereo out", { Set::disabled() }, { Set::stereo() }, true },
    { "no input bus, stereo out", {}, { Set::stereo() }, true },
    { "stereo in, disabled out", { Set::stereo() }, { Set::disabled() }, false },
    { "stereo in, no output bus", { Set::stereo() }, {}, false },
    { "stereo in, three channels out", { Set::stereo() }, { Set::createLCR() }, false },
    { "stereo in, quadraphonic out", { Set::stereo() }, { Set::quadraphonic() }, false },
    { "5.1 in, stereo out", { Set::create5point1() }, { Set::stereo() }, false },
};

class BusLayouts : public testing::TestWithParam<LayoutCase>
{
};
} // namespace

TEST_P (BusLayouts, AcceptsMonoOrStereoOutputAndMonoStereoOrNoInput)
{
    QuorinProcessor processor;
    EXPECT_EQ (processor.isBusesLayoutSupported (layoutOf (GetParam())), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P (ProcessorFrame, BusLayouts, testing::ValuesIn (layoutCases),
                          [] (const auto& param)
                          {
                              return juce::String (param.param.name)
                                  .retainCharacters ("abcdefghijklmnopqrstuvwxyz0123456789 ")
                                  .replaceCharacter (' ', '_')
                                  .toStdString();
                          });

TEST (ProcessorFrame, AnswersTheHost)
{
    QuorinProcessor processor;
    EXPECT_EQ (processor.getName(), "Vantora v3");
    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    processor.setCurrentProgram (3);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    // A named single program: plug-in validators reject an unnamed factory program.
    EXPECT_EQ (processor.getProgramName (0), "Default");
    processor.changeProgramName (0, "Other");
    EXPECT_EQ (processor.getProgramName (0), "Default");
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_TRUE (processor.hasEditor());
    // The host's bypass is the processor's own, so a host shows one Bypass control.
    EXPECT_EQ (processor.getBypassParameter(), processor.parameters.getParameter ("bypass"));
    EXPECT_EQ (processor.getMainBusNumInputChannels(), 2);
    EXPECT_EQ (processor.getMainBusNumOutputChannels(), 2);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
}

TEST (ProcessorFrame, StartsWithMetersAtTheirFloors)
{
    QuorinProcessor processor;
    EXPECT_EQ (processor.loudnessLufs.load(), -70.0f);
    EXPECT_EQ (processor.blockLoudnessDb.load(), -70.0f);
    EXPECT_EQ (processor.truePeakDb.load(), -90.0f);
    EXPECT_EQ (processor.outputTargetLufs.load(), -14.0f);
    EXPECT_EQ (processor.outputPeakLeft.load(), 0.0f);
    EXPECT_EQ (processor.analysisCeilingDb.load(), -1.0f);
    EXPECT_EQ (processor.analysisAttack.load(), 0.42f);
    EXPECT_EQ (processor.analysisSustain.load(), 0.52f);
}

TEST (ProcessorFrame, VenueSetsLoudness)
{
    QuorinProcessor processor;
    test::set (processor, Param::venue, 0.0f); // "Stage"
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.09f);
    test::set (processor, Param::venue, 1.0f); // "Home"
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.28f);

    test::set (processor, Param::loudness, 0.5f);
    test::set (processor, Param::smack, 0.9f);
    test::set (processor, Param::mic, 5.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.5f);
}

TEST (ProcessorFrame, HitLabelNamesTheClass)
{
    QuorinProcessor processor;
    const std::pair<int, const char*> cases[] = { { 0, "None" },     { 1, "Kick" }, { 2, "Snare" }, { 3, "Hi-hat" },
                                                  { 4, "Inward K" }, { 5, "None" }, { -1, "None" } };
    for (auto [hitClass, label] : cases)
    {
        processor.adaptiveHitClass.store (hitClass);
        EXPECT_EQ (processor.getAdaptiveHitLabel(), label);
    }
}

TEST (ProcessorFrame, PluginFactoryMakesTheProcessor)
{
    std::unique_ptr<juce::AudioProcessor> plugin (createPluginFilter());
    EXPECT_NE (dynamic_cast<QuorinProcessor*> (plugin.get()), nullptr);
}
