#include "processor/ParameterLayout.h"

namespace
{
enum class Kind
{
    continuous,
    toggle,
    choice
};

struct ParameterRow
{
    Param parameter;
    const char* name;
    Kind kind;
    float minimum, maximum, step, skew;
    float defaultValue; // real units, 0/1 for a switch, the index for a choice
    int versionHint;
    juce::StringArray choices;
    const char* unit = ""; // of the real value; not given to the parameter, which carries no label
};

ParameterRow proportion (Param p, const char* name, float defaultValue, int hint)
{
    return { p, name, Kind::continuous, 0.0f, 1.0f, 0.0f, 1.0f, defaultValue, hint, {} };
}

ParameterRow ranged (Param p, const char* name, float minimum, float maximum, float step, float skew,
                     float defaultValue, int hint, const char* unit)
{
    return { p, name, Kind::continuous, minimum, maximum, step, skew, defaultValue, hint, {}, unit };
}

ParameterRow toggle (Param p, const char* name, bool defaultOn, int hint)
{
    return { p, name, Kind::toggle, 0.0f, 1.0f, 1.0f, 1.0f, defaultOn ? 1.0f : 0.0f, hint, {} };
}

ParameterRow choice (Param p, const char* name, juce::StringArray choices, int defaultIndex, int hint)
{
    return {
        p, name, Kind::choice, 0.0f, 0.0f, 0.0f, 1.0f, static_cast<float> (defaultIndex), hint, std::move (choices)
    };
}

// Recurring skewed ranges.
ParameterRow decay (Param p, const char* name, float maximum, float skew, float defaultValue, int hint)
{
    return ranged (p, name, 0.3f, maximum, 0.01f, skew, defaultValue, hint, "s");
}
ParameterRow preDelay (Param p, const char* name, float defaultValue, int hint)
{
    return ranged (p, name, 0.0f, 120.0f, 0.1f, 0.55f, defaultValue, hint, "ms");
}
ParameterRow damping (Param p, const char* name, float defaultValue, int hint)
{
    return ranged (p, name, 1200.0f, 18000.0f, 1.0f, 0.45f, defaultValue, hint, "Hz");
}
ParameterRow lowCut (Param p, const char* name, float defaultValue, int hint)
{
    return ranged (p, name, 20.0f, 2600.0f, 1.0f, 0.45f, defaultValue, hint, "Hz");
}
ParameterRow hiCut (Param p, const char* name, float defaultValue, int hint)
{
    return ranged (p, name, 2600.0f, 20000.0f, 1.0f, 0.45f, defaultValue, hint, "Hz");
}
ParameterRow trimDb (Param p, const char* name, float minimum, float maximum, float defaultValue, int hint)
{
    return ranged (p, name, minimum, maximum, 0.01f, 1.0f, defaultValue, hint, "dB");
}

const juce::StringArray feedbackChoices { "Off",      "160 Hz",  "200 Hz",  "250 Hz",   "315 Hz",  "400 Hz",  "500 Hz",
                                          "630 Hz",   "800 Hz",  "1.0 kHz", "1.25 kHz", "1.6 kHz", "2.0 kHz", "2.5 kHz",
                                          "3.15 kHz", "4.0 kHz", "5.0 kHz", "6.3 kHz",  "8.0 kHz" };

std::vector<ParameterRow> parameterTable()
{
    using P = Param;
    return {
        choice (P::chainmode, "Chain Mode", { "Mix / Master", "Live Performance" }, 0, 200),
        proportion (P::gate, "Gate", 0.0f, 101),
        proportion (P::smack, "Smack", 0.26f, 102),
        proportion (P::kickpunch, "Kick Punch", 0.42f, 114),
        proportion (P::transientattack, "Transient Attack", 0.38f, 191),
        proportion (P::transientsustain, "Transient Sustain", 0.66f, 192),
        ranged (P::transientband, "Transient Band", 70.0f, 340.0f, 1.0f, 0.5f, 160.0f, 195, "Hz"),
        proportion (P::transientsnap, "Transient Snap", 0.58f, 196),
        proportion (P::transientceiling, "Transient Ceiling", 0.62f, 197),
        proportion (P::transientsmooth, "Transient Smoothing", 0.4f, 198),
        proportion (P::beast, "Beast", 0.0f, 103),
        proportion (P::sub, "Sub", 0.21f, 104),
        proportion (P::detail, "Detail", 0.44f, 105),
        proportion (P::loudness, "Loudness", 0.32f, 106),
        proportion (P::width, "Width", 0.1f, 107),
        proportion (P::air, "Air", 0.32f, 108),
        proportion (P::smart, "Smart Auto", 0.0f, 109),
        proportion (P::live, "Live Space", 0.0f, 110),
        proportion (P::flavour, "Flavour", 0.2f, 111),
        decay (P::revdecay, "Reverb Decay", 8.0f, 0.4f, 2.1f, 127),
        preDelay (P::revpredelay, "Reverb Pre-Delay", 0.0f, 128),
        damping (P::revdamping, "Reverb Damping", 6800.0f, 129),
        decay (P::revlivedecay, "Live Reverb Decay", 8.0f, 0.4f, 1.6f, 162),
        preDelay (P::revlivepredelay, "Live Reverb Pre-Delay", 10.5f, 163),
        damping (P::revlivedamping, "Live Reverb Damping", 7200.0f, 164),
        lowCut (P::revlivelowcut, "Live Reverb Low-Cut", 105.0f, 165),
        hiCut (P::revlivehicut, "Live Reverb Hi-Cut", 19850.0f, 193),
        proportion (P::revlivewidth, "Live Reverb Width", 0.74f, 189),
        decay (P::revflavourdecay, "Flavour Reverb Decay", 45.0f, 0.42f, 2.0f, 166),
        preDelay (P::revflavourpredelay, "Flavour Reverb Pre-Delay", 14.0f, 167),
        damping (P::revflavourdamping, "Flavour Reverb Damping", 7200.0f, 168),
        lowCut (P::revflavourlowcut, "Flavour Reverb Low-Cut", 220.0f, 169),
        hiCut (P::revflavourhicut, "Flavour Reverb Hi-Cut", 19950.0f, 194),
        proportion (P::revflavourwidth, "Flavour Reverb Width", 0.55f, 190),
        proportion (P::revducklive, "Reverb Duck Live", 1.0f, 160),
        proportion (P::revduckflavour, "Reverb Duck Flavour", 0.28f, 161),
        trimDb (P::inputgain, "Input Gain", -18.0f, 18.0f, 0.0f, 130),
        toggle (P::autogain, "Output Auto-Gain", false, 131),
        toggle (P::wildcardmode, "ZUD Wildcard Mode", false, 132),
        toggle (P::wildcardhybridfx, "Wildcard Hybrid FX", false, 170),
        toggle (P::loudnessmeter, "Loudness Meter", true, 135),
        toggle (P::loudnessmatch, "Match Loudness Target", true, 201),
        toggle (P::adaptivehit, "Adaptive Hit Engine", false, 133),
        proportion (P::adaptmix, "Adaptive Mix", 0.58f, 134),
        toggle (P::eqon, "EQ On", true, 136),
        toggle (P::dynamicson, "Dynamics On", true, 137),
        toggle (P::saturationon, "Saturation On", true, 138),
        toggle (P::reverbon, "Reverb On", true, 139),
        toggle (P::widthon, "Width On", true, 140),
        toggle (P::limiteron, "Limiter On", true, 141),
        proportion (P::eqpct, "EQ Amount", 0.9f, 183),
        proportion (P::dynpct, "Dynamics Amount", 0.58f, 184),
        proportion (P::satpct, "Saturation Amount", 0.15f, 185),
        proportion (P::revpct, "Reverb Amount", 0.44f, 186),
        proportion (P::widpct, "Width Amount", 0.6f, 187),
        proportion (P::limpct, "Limiter Amount", 1.0f, 188),
        proportion (P::antipoppct, "Anti-Pop Strength", 1.0f, 153),
        proportion (P::makeuppct, "Body / Loudness Makeup", 0.62f, 154),
        proportion (P::subharmpct, "Sub Harmonics", 0.1f, 155),
        trimDb (P::outputgain, "Output Gain", -24.0f, 12.0f, -1.5f, 142),
        lowCut (P::revlowcut, "Reverb Low-Cut", 95.0f, 143),
        trimDb (P::eqlow, "EQ Low", -12.0f, 12.0f, -2.0f, 147),
        trimDb (P::eqmid, "EQ Mid", -12.0f, 12.0f, 1.3f, 148),
        trimDb (P::eqhigh, "EQ High", -12.0f, 12.0f, 1.4f, 149),
        toggle (P::lineareq, "Linear Phase EQ", false, 150),
        choice (P::responseprofile, "Response Profile", { "Subtle", "Balanced", "Aggressive" }, 1, 144),
        choice (P::outputtarget, "Output Target",
                { "Custom", "Live PA", "YouTube -14 LUFS", "Streaming Safe", "Broadcast -23 LUFS" }, 2, 145),
        trimDb (P::limiterceiling, "Limiter Ceiling", -6.0f, 0.0f, -1.0f, 146),
        choice (P::lookahead, "Limiter Speed", { "Punch", "Balanced", "Clamp" }, 1, 112),
        toggle (P::bypass, "Bypass", false, 126),
        toggle (P::voicemode, "Voice Mode", false, 113),
        choice (P::mixmode, "Beast Mode", { "Transparent", "Small Beast", "Total Beast" }, 0, 115),
        choice (P::venue, "Venue", { "Stage", "Home" }, 1, 116),
        choice (P::mic, "Microphone",
                { "Flat", "Shure SM7B", "AKG D5", "Shure SM58", "Shure PGA58", "Sennheiser e835", "DPA 2028",
                  "DPA d:facto", "sE V7", "Shure Beta 58", "Audix OM7", "Shure KSM 9", "Sennheiser e945",
                  "Mackie EM-89D", "AKG D7" },
                3, 117),
        toggle (P::cupped, "Cupped Mic", false, 118),
        toggle (P::popfilter, "Pop Filter", false, 121),
        toggle (P::antifeedback, "Anti Feedback", false, 122),
        toggle (P::gateknobon, "Gate Knob On", false, 171),
        toggle (P::smackknobon, "Smack Knob On", true, 172),
        toggle (P::punchknobon, "Transient Shaper On", false, 173),
        toggle (P::loudknobon, "Loud Knob On", true, 174),
        toggle (P::widthknobon, "Width Knob On", true, 175),
        toggle (P::airknobon, "Air Knob On", true, 176),
        toggle (P::smartknobon, "Smart Knob On", false, 177),
        toggle (P::liveknobon, "Live Knob On", false, 178),
        toggle (P::flavourknobon, "Flavour Knob On", true, 179),
        toggle (P::beastknobon, "Beast Knob On", false, 180),
        toggle (P::subknobon, "Sub Knob On", true, 181),
        toggle (P::detailknobon, "Detail Knob On", true, 182),
        choice (P::fbfreq1, "Feedback Freq 1", feedbackChoices, 0, 123),
        choice (P::fbfreq2, "Feedback Freq 2", feedbackChoices, 0, 124),
        choice (P::fbfreq3, "Feedback Freq 3", feedbackChoices, 0, 125),
        choice (P::speaker, "Listening", { "Off", "Small Speaker", "Small Room", "Large Room" }, 0, 119),
        choice (P::output, "Output", { "0 dB", "-3 dB", "-6 dB" }, 1, 120),
    };
}

std::unique_ptr<juce::RangedAudioParameter> makeParameter (const ParameterRow& row)
{
    const juce::ParameterID id { parameterId (row.parameter), row.versionHint };

    switch (row.kind)
    {
        case Kind::toggle:
            return std::make_unique<juce::AudioParameterBool> (id, row.name, row.defaultValue > 0.5f);
        case Kind::choice:
            return std::make_unique<juce::AudioParameterChoice> (id, row.name, row.choices,
                                                                 static_cast<int> (row.defaultValue));
        case Kind::continuous:
            break;
    }

    return std::make_unique<juce::AudioParameterFloat> (
        id, row.name, juce::NormalisableRange<float> (row.minimum, row.maximum, row.step, row.skew), row.defaultValue);
}
} // namespace

const char* parameterId (Param parameter) noexcept
{
    static constexpr const char* ids[] = {
#define VANTORA_PARAMETER_STRING(name) #name,
        VANTORA_PARAMETER_IDS (VANTORA_PARAMETER_STRING)
#undef VANTORA_PARAMETER_STRING
    };
    return ids[static_cast<int> (parameter)];
}

const char* parameterUnit (Param parameter)
{
    static const auto table = parameterTable();
    return table[static_cast<size_t> (parameter)].unit;
}

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    const auto table = parameterTable();
    for (size_t i = 0; i < table.size(); ++i)
    {
        // Rows stand in enum order, so that parameterId() and the host order agree.
        jassert (static_cast<size_t> (table[i].parameter) == i);
        layout.add (makeParameter (table[i]));
    }

    return layout;
}
