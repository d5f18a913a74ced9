// Factory presets and the reset: final values and write order against the preset tables, typed
// again here in their own layout, with the venue rule worked through the sequence by the test.
#include "TestSupport.h"

namespace
{
using Writes = std::vector<std::pair<juce::String, float>>;

// The reset's write order.
const char* const resetOrder =
    "gate smack kickpunch transientattack transientsustain transientband transientsnap transientceiling "
    "transientsmooth beast sub detail loudness width air smart live flavour revdecay revpredelay revdamping "
    "revlivedecay revlivepredelay revlivedamping revlivelowcut revlivehicut revlivewidth revflavourdecay "
    "revflavourpredelay revflavourdamping revflavourlowcut revflavourhicut revflavourwidth revducklive revduckflavour "
    "inputgain autogain wildcardmode wildcardhybridfx loudnessmeter loudnessmatch adaptivehit adaptmix eqon dynamicson "
    "saturationon reverbon widthon limiteron eqpct dynpct satpct revpct widpct limpct antipoppct makeuppct subharmpct "
    "outputgain revlowcut eqlow eqmid eqhigh lineareq responseprofile outputtarget limiterceiling lookahead bypass "
    "voicemode mixmode venue mic cupped popfilter antifeedback fbfreq1 fbfreq2 fbfreq3 speaker output gateknobon "
    "smackknobon punchknobon loudknobon widthknobon airknobon smartknobon liveknobon flavourknobon beastknobon "
    "subknobon detailknobon chainmode";

// The SM58 base, left column then right column.
const char* const sm58Base =
    "chainmode=0 mic=3 gate=0.04 beast=0 sub=0.21 detail=0.44 smart=0 live=0 adaptivehit=0 reverbon=1 "
    "antifeedback=0 popfilter=0 eqlow=-2.0 eqmid=1.3 eqhigh=1.4 outputgain=0 output=0 limiterceiling=-1.0 "
    "lineareq=1 responseprofile=1 mixmode=0 venue=1 revflavourdecay=2.0 revflavourpredelay=14 "
    "revflavourdamping=7200 revflavourlowcut=220 revflavourhicut=19800 revflavourwidth=0.55 revduckflavour=0.28 "
    "gateknobon=1 smartknobon=0 liveknobon=0 beastknobon=0 flavourknobon=1 smackknobon=1 loudknobon=1 "
    "widthknobon=1 airknobon=1 subknobon=1 detailknobon=1 punchknobon=1 transientband=160 transientsnap=0.52 "
    "transientsmooth=0.48 loudnessmatch=1 loudnessmeter=1 limiteron=1 eqon=1 dynamicson=1 saturationon=1 "
    "widthon=1 limpct=1";

// The mix presets' own values in write order: Mix Clean, YT Punch, Streaming Safe, Minimal ("-": not written).
const char* const mixColumns = R"(
    smack 0.26 0.34 0.22 0.18
    loudness 0.24 0.30 0.20 0.12
    width 0 0 0 0
    air 0.32 0.36 0.28 0.24
    flavour 0.20 0.18 0.14 0
    eqpct 1.0 1.0 1.0 1.0
    dynpct 0.50 0.52 0.42 0
    satpct 0.15 0.18 0.10 0
    revpct 0.44 0.40 0.32 0
    widpct 0.60 0.55 0.50 0
    makeuppct 0.75 0.78 0.72 0.65
    subharmpct 0.10 0.12 0.08 0
    outputtarget 2 2 3 2
    limiterceiling - - -1.2 -
    dynamicson - - - 0
    saturationon - - - 0
    reverbon - - - 0
    widthon - - - 0
    flavourknobon - - - 0
    punchknobon - - - 0
    transientattack 0.26 0.38 0.22 0
    transientsustain 0.74 0.68 0.78 -
    transientceiling 0.42 0.50 0.38 -)";

// Beatbox Tight, left column then right column (62 writes).
const char* const beatboxTight =
    "chainmode=1 gate=0.045 smack=0.46 kickpunch=0.58 transientattack=0.60 transientsustain=0.47 "
    "transientband=148 transientsnap=0.64 transientceiling=0.68 transientsmooth=0.32 beast=0.24 sub=0.43 "
    "detail=0.62 loudness=0.32 width=0.22 air=0.23 smart=0.74 live=0.035 flavour=0.02 inputgain=-3.0 eqpct=0.88 "
    "dynpct=0.66 satpct=0.26 revpct=0.12 widpct=0.55 limpct=1.0 antipoppct=0.78 makeuppct=0.55 subharmpct=0.16 "
    "eqlow=-1.4 eqmid=1.5 eqhigh=0.25 outputgain=-3.0 limiterceiling=-1.0 lookahead=1 outputtarget=1 "
    "responseprofile=1 autogain=0 adaptivehit=1 adaptmix=0.42 lineareq=0 mixmode=0 venue=0 mic=0 popfilter=1 "
    "antifeedback=1 speaker=0 output=1 revlivedecay=1.05 revlivepredelay=11 revlivedamping=6800 revlivelowcut=190 "
    "revlivehicut=19700 revlivewidth=0.52 revflavourdecay=4.2 revflavourpredelay=15 revflavourdamping=8200 "
    "revflavourlowcut=195 revflavourhicut=19900 revflavourwidth=0.72 revducklive=1.0 revduckflavour=1.0";

Writes parseWrites (const char* text)
{
    Writes writes;
    for (const auto& token : juce::StringArray::fromTokens (text, false))
        writes.emplace_back (token.upToFirstOccurrenceOf ("=", false, false),
                             token.fromFirstOccurrenceOf ("=", false, false).getFloatValue());
    return writes;
}

Writes mixColumn (int column)
{
    Writes writes;
    for (const auto& line : juce::StringArray::fromLines (juce::String (mixColumns).trim()))
    {
        const auto cells = juce::StringArray::fromTokens (line.trim(), false);
        if (cells[column + 1] != "-")
            writes.emplace_back (cells[0], cells[column + 1].getFloatValue());
    }
    return writes;
}

float realDefault (QuorinProcessor& p, const juce::String& id)
{
    auto* parameter = p.parameters.getParameter (id);
    return parameter->convertFrom0to1 (parameter->getDefaultValue());
}

/** Works a write sequence through by hand: the values it leaves and the order in which the host
    hears of the writes. A change of "venue" writes "loudness" (0.28 "Home", 0.09 "Stage") from
    inside the venue write, so the host hears of loudness first. */
struct WorkedSequence
{
    std::map<juce::String, float> values;
    juce::StringArray notified;

    void write (const juce::String& id, float value)
    {
        if (id == "venue" && juce::roundToInt (value) != juce::roundToInt (values[id]))
        {
            values["loudness"] = value > 0.5f ? 0.28f : 0.09f;
            notified.add ("loudness");
        }
        values[id] = value;
        notified.add (id);
    }

    void write (const Writes& writes)
    {
        for (const auto& [id, value] : writes)
            write (id, value);
    }
};

struct PresetCase
{
    const char* name;
    void (QuorinProcessor::*load)();
    bool onBase;
    Writes own;
};

void PrintTo (const PresetCase& c, std::ostream* os) { *os << c.name; }

std::vector<PresetCase> presetCases()
{
    return { { "Mix Clean", &QuorinProcessor::loadMixCleanPreset, true, mixColumn (0) },
             { "YT Punch", &QuorinProcessor::loadMixYouTubePunchPreset, true, mixColumn (1) },
             { "Streaming Safe", &QuorinProcessor::loadMixStreamingSafePreset, true, mixColumn (2) },
             { "Minimal", &QuorinProcessor::loadMixMinimalPreset, true, mixColumn (3) },
             { "Beatbox Tight", &QuorinProcessor::loadBeatboxTightPreset, false, parseWrites (beatboxTight) } };
}

/** Records what the host is told. */
struct HostListener : juce::AudioProcessorListener
{
    juce::StringArray changed;
    int gestures = 0;

    void audioProcessorParameterChanged (juce::AudioProcessor* p, int index, float) override
    {
        changed.add (static_cast<juce::AudioProcessorParameterWithID*> (p->getParameters()[index])->paramID);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override { ++gestures; }
};

class FactoryPresets : public testing::TestWithParam<PresetCase>
{
protected:
    QuorinProcessor processor;

    /** Every parameter away from its default, so that the reset shows. */
    void scramble()
    {
        for (auto* p : processor.getParameters())
            p->setValueNotifyingHost (p->getDefaultValue() > 0.5f ? 0.0f : 1.0f);
    }

    std::map<juce::String, float> currentValues()
    {
        std::map<juce::String, float> values;
        for (int i = 0; i < numParameters; ++i)
            values[parameterId (Param (i))] = test::get (processor, Param (i));
        return values;
    }

    WorkedSequence worked (const PresetCase& c)
    {
        WorkedSequence sequence { currentValues(), {} };
        for (const auto& id : juce::StringArray::fromTokens (resetOrder, false))
            sequence.write (id, realDefault (processor, id));
        if (c.onBase)
            sequence.write (parseWrites (sm58Base));
        sequence.write (c.own);
        return sequence;
    }

    void expectValues (const std::map<juce::String, float>& expected)
    {
        for (const auto& [id, value] : expected)
            EXPECT_NEAR (test::get (processor, Param (parameterIndexOf (id))), value,
                         1.0e-4f * std::max (1.0f, std::abs (value)))
                << id;
    }

    static int parameterIndexOf (const juce::String& id)
    {
        for (int i = 0; i < numParameters; ++i)
            if (id == parameterId (Param (i)))
                return i;
        ADD_FAILURE() << "no parameter " << id;
        return 0;
    }
};
} // namespace

TEST_P (FactoryPresets, LeaveThePresetsValuesAndDefaultsElsewhere)
{
    scramble();
    const auto expected = worked (GetParam());
    ASSERT_EQ (expected.values.size(), size_t (numParameters));
    (processor.*GetParam().load)();
    expectValues (expected.values);
}

TEST_P (FactoryPresets, WriteInTheirOrderThroughTheHostNotificationPathWithoutGestures)
{
    scramble();
    const auto expected = worked (GetParam());
    HostListener host;
    processor.addListener (&host);
    (processor.*GetParam().load)();
    processor.removeListener (&host);
    EXPECT_EQ (host.changed.joinIntoString (" "), expected.notified.joinIntoString (" "));
    EXPECT_EQ (host.gestures, 0);
}

TEST_P (FactoryPresets, LoadingTwiceEqualsLoadingOnce)
{
    scramble();
    (processor.*GetParam().load)();
    const auto once = currentValues();
    (processor.*GetParam().load)();
    EXPECT_EQ (currentValues(), once);
}

INSTANTIATE_TEST_SUITE_P (Presets, FactoryPresets, testing::ValuesIn (presetCases()),
                          [] (const auto& param)
                          { return juce::String (param.param.name).removeCharacters (" ").toStdString(); });

TEST (FactoryPresetValues, MixPresetsSitAtHomeAndBeatboxTightEndsOnStageLoudness)
{
    QuorinProcessor processor;
    processor.loadBeatboxTightPreset();
    EXPECT_EQ (test::get (processor, Param::venue), 0.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.09f); // not the 0.32 it writes

    processor.loadMixYouTubePunchPreset();
    EXPECT_EQ (test::get (processor, Param::venue), 1.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.30f);
}

TEST (FactoryPresetValues, AMixPresetAfterBeatboxTightRestoresTheMixChain)
{
    QuorinProcessor processor;
    processor.loadBeatboxTightPreset();
    processor.loadMixMinimalPreset();
    EXPECT_EQ (test::get (processor, Param::chainmode), 0.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::kickpunch), 0.42f);
    EXPECT_EQ (test::get (processor, Param::adaptivehit), 0.0f);
}

TEST (FactoryPresetValues, ResetMovesLoudnessWhenItsVenueWriteChangesVenue)
{
    QuorinProcessor processor;
    test::set (processor, Param::venue, 0.0f);
    test::set (processor, Param::loudness, 0.6f);
    processor.resetToDefaults();
    EXPECT_EQ (test::get (processor, Param::venue), 1.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.28f); // the default 0.32 is overwritten
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.26f);
}

TEST (FactoryPresetValues, ANewProcessorStartsWithMixClean)
{
    QuorinProcessor fresh, loaded;
    for (auto* p : loaded.getParameters())
        p->setValueNotifyingHost (p->getDefaultValue() > 0.5f ? 0.0f : 1.0f);
    loaded.loadMixCleanPreset();
    for (int i = 0; i < numParameters; ++i)
        EXPECT_EQ (test::get (fresh, Param (i)), test::get (loaded, Param (i))) << parameterId (Param (i));
}
