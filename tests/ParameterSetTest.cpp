// The parameter set against the published table: order, ids, names, kinds, ranges, defaults, hints.
#include "TestSupport.h"

namespace
{
enum class Kind
{
    number,
    toggle,
    choice
};

struct Expected
{
    const char* id;
    const char* name;
    Kind kind;
    float minimum, maximum, step, skew, defaultValue;
    int hint;
};

Expected p01 (const char* id, const char* name, float def, int hint)
{
    return { id, name, Kind::number, 0, 1, 0, 1, def, hint };
}
Expected num (const char* id, const char* name, float lo, float hi, float step, float skew, float def, int hint)
{
    return { id, name, Kind::number, lo, hi, step, skew, def, hint };
}
Expected sw (const char* id, const char* name, bool def, int hint)
{
    return { id, name, Kind::toggle, 0, 1, 1, 1, def ? 1.0f : 0.0f, hint };
}
Expected ch (const char* id, const char* name, int choices, int def, int hint)
{
    return { id, name, Kind::choice, 0, float (choices - 1), 1, 1, float (def), hint };
}

// Transcribed from the parameter table, row by row.
const std::vector<Expected> table = {
    ch ("chainmode", "Chain Mode", 2, 0, 200),
    p01 ("gate", "Gate", 0, 101),
    p01 ("smack", "Smack", 0.26f, 102),
    p01 ("kickpunch", "Kick Punch", 0.42f, 114),
    p01 ("transientattack", "Transient Attack", 0.38f, 191),
    p01 ("transientsustain", "Transient Sustain", 0.66f, 192),
    num ("transientband", "Transient Band", 70, 340, 1, 0.5f, 160, 195),
    p01 ("transientsnap", "Transient Snap", 0.58f, 196),
    p01 ("transientceiling", "Transient Ceiling", 0.62f, 197),
    p01 ("transientsmooth", "Transient Smoothing", 0.4f, 198),
    p01 ("beast", "Beast", 0, 103),
    p01 ("sub", "Sub", 0.21f, 104),
    p01 ("detail", "Detail", 0.44f, 105),
    p01 ("loudness", "Loudness", 0.32f, 106),
    p01 ("width", "Width", 0.1f, 107),
    p01 ("air", "Air", 0.32f, 108),
    p01 ("smart", "Smart Auto", 0, 109),
    p01 ("live", "Live Space", 0, 110),
    p01 ("flavour", "Flavour", 0.2f, 111),
    num ("revdecay", "Reverb Decay", 0.3f, 8, 0.01f, 0.4f, 2.1f, 127),
    num ("revpredelay", "Reverb Pre-Delay", 0, 120, 0.1f, 0.55f, 0, 128),
    num ("revdamping", "Reverb Damping", 1200, 18000, 1, 0.45f, 6800, 129),
    num ("revlivedecay", "Live Reverb Decay", 0.3f, 8, 0.01f, 0.4f, 1.6f, 162),
    num ("revlivepredelay", "Live Reverb Pre-Delay", 0, 120, 0.1f, 0.55f, 10.5f, 163),
    num ("revlivedamping", "Live Reverb Damping", 1200, 18000, 1, 0.45f, 7200, 164),
    num ("revlivelowcut", "Live Reverb Low-Cut", 20, 2600, 1, 0.45f, 105, 165),
    num ("revlivehicut", "Live Reverb Hi-Cut", 2600, 20000, 1, 0.45f, 19850, 193),
    p01 ("revlivewidth", "Live Reverb Width", 0.74f, 189),
    num ("revflavourdecay", "Flavour Reverb Decay", 0.3f, 45, 0.01f, 0.42f, 2, 166),
    num ("revflavourpredelay", "Flavour Reverb Pre-Delay", 0, 120, 0.1f, 0.55f, 14, 167),
    num ("revflavourdamping", "Flavour Reverb Damping", 1200, 18000, 1, 0.45f, 7200, 168),
    num ("revflavourlowcut", "Flavour Reverb Low-Cut", 20, 2600, 1, 0.45f, 220, 169),
    num ("revflavourhicut", "Flavour Reverb Hi-Cut", 2600, 20000, 1, 0.45f, 19950, 194),
    p01 ("revflavourwidth", "Flavour Reverb Width", 0.55f, 190),
    p01 ("revducklive", "Reverb Duck Live", 1, 160),
    p01 ("revduckflavour", "Reverb Duck Flavour", 0.28f, 161),
    num ("inputgain", "Input Gain", -18, 18, 0.01f, 1, 0, 130),
    sw ("autogain", "Output Auto-Gain", false, 131),
    sw ("wildcardmode", "ZUD Wildcard Mode", false, 132),
    sw ("wildcardhybridfx", "Wildcard Hybrid FX", false, 170),
    sw ("loudnessmeter", "Loudness Meter", true, 135),
    sw ("loudnessmatch", "Match Loudness Target", true, 201),
    sw ("adaptivehit", "Adaptive Hit Engine", false, 133),
    p01 ("adaptmix", "Adaptive Mix", 0.58f, 134),
    sw ("eqon", "EQ On", true, 136),
    sw ("dynamicson", "Dynamics On", true, 137),
    sw ("saturationon", "Saturation On", true, 138),
    sw ("reverbon", "Reverb On", true, 139),
    sw ("widthon", "Width On", true, 140),
    sw ("limiteron", "Limiter On", true, 141),
    p01 ("eqpct", "EQ Amount", 0.9f, 183),
    p01 ("dynpct", "Dynamics Amount", 0.58f, 184),
    p01 ("satpct", "Saturation Amount", 0.15f, 185),
    p01 ("revpct", "Reverb Amount", 0.44f, 186),
    p01 ("widpct", "Width Amount", 0.6f, 187),
    p01 ("limpct", "Limiter Amount", 1, 188),
    p01 ("antipoppct", "Anti-Pop Strength", 1, 153),
    p01 ("makeuppct", "Body / Loudness Makeup", 0.62f, 154),
    p01 ("subharmpct", "Sub Harmonics", 0.1f, 155),
    num ("outputgain", "Output Gain", -24, 12, 0.01f, 1, -1.5f, 142),
    num ("revlowcut", "Reverb Low-Cut", 20, 2600, 1, 0.45f, 95, 143),
    num ("eqlow", "EQ Low", -12, 12, 0.01f, 1, -2, 147),
    num ("eqmid", "EQ Mid", -12, 12, 0.01f, 1, 1.3f, 148),
    num ("eqhigh", "EQ High", -12, 12, 0.01f, 1, 1.4f, 149),
    sw ("lineareq", "Linear Phase EQ", false, 150),
    ch ("responseprofile", "Response Profile", 3, 1, 144),
    ch ("outputtarget", "Output Target", 5, 2, 145),
    num ("limiterceiling", "Limiter Ceiling", -6, 0, 0.01f, 1, -1, 146),
    ch ("lookahead", "Limiter Speed", 3, 1, 112),
    sw ("bypass", "Bypass", false, 126),
    sw ("voicemode", "Voice Mode", false, 113),
    ch ("mixmode", "Beast Mode", 3, 0, 115),
    ch ("venue", "Venue", 2, 1, 116),
    ch ("mic", "Microphone", 15, 3, 117),
    sw ("cupped", "Cupped Mic", false, 118),
    sw ("popfilter", "Pop Filter", false, 121),
    sw ("antifeedback", "Anti Feedback", false, 122),
    sw ("gateknobon", "Gate Knob On", false, 171),
    sw ("smackknobon", "Smack Knob On", true, 172),
    sw ("punchknobon", "Transient Shaper On", false, 173),
    sw ("loudknobon", "Loud Knob On", true, 174),
    sw ("widthknobon", "Width Knob On", true, 175),
    sw ("airknobon", "Air Knob On", true, 176),
    sw ("smartknobon", "Smart Knob On", false, 177),
    sw ("liveknobon", "Live Knob On", false, 178),
    sw ("flavourknobon", "Flavour Knob On", true, 179),
    sw ("beastknobon", "Beast Knob On", false, 180),
    sw ("subknobon", "Sub Knob On", true, 181),
    sw ("detailknobon", "Detail Knob On", true, 182),
    ch ("fbfreq1", "Feedback Freq 1", 19, 0, 123),
    ch ("fbfreq2", "Feedback Freq 2", 19, 0, 124),
    ch ("fbfreq3", "Feedback Freq 3", 19, 0, 125),
    ch ("speaker", "Listening", 4, 0, 119),
    ch ("output", "Output", 3, 1, 120),
};

const std::map<juce::String, juce::StringArray> choiceTexts = {
    { "chainmode", { "Mix / Master", "Live Performance" } },
    { "responseprofile", { "Subtle", "Balanced", "Aggressive" } },
    { "outputtarget", { "Custom", "Live PA", "YouTube -14 LUFS", "Streaming Safe", "Broadcast -23 LUFS" } },
    { "lookahead", { "Punch", "Balanced", "Clamp" } },
    { "mixmode", { "Transparent", "Small Beast", "Total Beast" } },
    { "venue", { "Stage", "Home" } },
    { "mic",
      { "Flat", "Shure SM7B", "AKG D5", "Shure SM58", "Shure PGA58", "Sennheiser e835", "DPA 2028", "DPA d:facto",
        "sE V7", "Shure Beta 58", "Audix OM7", "Shure KSM 9", "Sennheiser e945", "Mackie EM-89D", "AKG D7" } },
    { "fbfreq1",
      { "Off", "160 Hz", "200 Hz", "250 Hz", "315 Hz", "400 Hz", "500 Hz", "630 Hz", "800 Hz", "1.0 kHz", "1.25 kHz",
        "1.6 kHz", "2.0 kHz", "2.5 kHz", "3.15 kHz", "4.0 kHz", "5.0 kHz", "6.3 kHz", "8.0 kHz" } },
    { "speaker", { "Off", "Small Speaker", "Small Room", "Large Room" } },
    { "output", { "0 dB", "-3 dB", "-6 dB" } },
};

class ParameterSet : public testing::Test
{
protected:
    QuorinProcessor processor;
    const juce::Array<juce::AudioProcessorParameter*>& params = processor.getParameters();

    juce::RangedAudioParameter& parameter (const char* id) { return *processor.parameters.getParameter (id); }
};
} // namespace

TEST_F (ParameterSet, HoldsTheTableInOrder)
{
    ASSERT_EQ (params.size(), 94);
    ASSERT_EQ (table.size(), 94u);

    int floats = 0, toggles = 0, choices = 0;
    for (int i = 0; i < 94; ++i)
    {
        const auto& e = table[static_cast<size_t> (i)];
        SCOPED_TRACE (e.id);
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->paramID, e.id);
        EXPECT_EQ (p->getName (100), e.name);
        EXPECT_EQ (p->getVersionHint(), e.hint);
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_FALSE (p->isMetaParameter());
        EXPECT_EQ (p->getLabel(), "");

        const auto& range = p->getNormalisableRange();
        EXPECT_FLOAT_EQ (range.start, e.minimum);
        EXPECT_FLOAT_EQ (range.end, e.maximum);
        EXPECT_FALSE (range.symmetricSkew);
        EXPECT_NEAR (p->convertFrom0to1 (p->getDefaultValue()), e.defaultValue, 1.0e-5f * (e.maximum - e.minimum));

        switch (e.kind)
        {
            case Kind::number:
                ++floats;
                EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (p), nullptr);
                EXPECT_FLOAT_EQ (range.interval, e.step);
                EXPECT_FLOAT_EQ (range.skew, e.skew);
                break;
            case Kind::toggle:
                ++toggles;
                EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (p), nullptr);
                break;
            case Kind::choice:
                ++choices;
                EXPECT_NE (dynamic_cast<juce::AudioParameterChoice*> (p), nullptr);
                break;
        }
    }
    EXPECT_EQ (floats, 52);
    EXPECT_EQ (toggles, 30);
    EXPECT_EQ (choices, 12);
}

TEST_F (ParameterSet, ChoiceListsMatchTheirTexts)
{
    for (auto& [id, texts] : choiceTexts)
    {
        SCOPED_TRACE (id);
        auto* c = dynamic_cast<juce::AudioParameterChoice*> (processor.parameters.getParameter (id));
        ASSERT_NE (c, nullptr);
        EXPECT_EQ (c->choices, texts);
    }
    for (const char* id : { "fbfreq2", "fbfreq3" })
        EXPECT_EQ (dynamic_cast<juce::AudioParameterChoice&> (parameter (id)).choices, choiceTexts.at ("fbfreq1"));
}

TEST_F (ParameterSet, ValuesSnapToTheirStep)
{
    test::set (processor, Param::transientband, 100.4f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::transientband), 100.0f);
    test::set (processor, Param::revlivedecay, 1.234f);
    EXPECT_NEAR (test::get (processor, Param::revlivedecay), 1.23f, 1.0e-5f);
}

TEST_F (ParameterSet, SkewedRangeMapsTheMiddleOfTravelBelowTheMidpoint)
{
    // 1200 + 16800 × 0.5^(1/0.45) = 4800.2, snapped to the 1 Hz step.
    parameter ("revlivedamping").setValueNotifyingHost (0.5f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::revlivedamping), 4800.0f);
}

TEST_F (ParameterSet, OnlyTheFlavourDecayReachesFortyFiveSeconds)
{
    test::set (processor, Param::revflavourdecay, 45.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::revflavourdecay), 45.0f);
    for (auto p : { Param::revlivedecay, Param::revdecay })
    {
        test::set (processor, p, 45.0f);
        EXPECT_FLOAT_EQ (test::get (processor, p), 8.0f);
    }
}

TEST_F (ParameterSet, ChoiceRawValuesAreWholeIndices)
{
    for (auto* p : params)
        if (auto* c = dynamic_cast<juce::AudioParameterChoice*> (p))
            for (float normalised : { 0.0f, 0.13f, 0.5f, 0.77f, 1.0f })
            {
                c->setValueNotifyingHost (normalised);
                const float raw = processor.parameters.getRawParameterValue (c->paramID)->load();
                EXPECT_EQ (raw, std::round (raw)) << c->paramID;
                EXPECT_GE (raw, 0.0f);
                EXPECT_LE (raw, float (c->choices.size() - 1));
            }
}
