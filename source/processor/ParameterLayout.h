#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// The parameter ids in the order in which the layout adds them (the host's parameter order).
// clang-format off
#define VANTORA_PARAMETER_IDS(X)                                                                    \
    X (chainmode) X (gate) X (smack) X (kickpunch) X (transientattack) X (transientsustain)            \
    X (transientband) X (transientsnap) X (transientceiling) X (transientsmooth) X (beast) X (sub)     \
    X (detail) X (loudness) X (width) X (air) X (smart) X (live) X (flavour) X (revdecay)              \
    X (revpredelay) X (revdamping) X (revlivedecay) X (revlivepredelay) X (revlivedamping)            \
    X (revlivelowcut) X (revlivehicut) X (revlivewidth) X (revflavourdecay) X (revflavourpredelay)    \
    X (revflavourdamping) X (revflavourlowcut) X (revflavourhicut) X (revflavourwidth)                \
    X (revducklive) X (revduckflavour) X (inputgain) X (autogain) X (wildcardmode)                    \
    X (wildcardhybridfx) X (loudnessmeter) X (loudnessmatch) X (adaptivehit) X (adaptmix) X (eqon)    \
    X (dynamicson) X (saturationon) X (reverbon) X (widthon) X (limiteron) X (eqpct) X (dynpct)       \
    X (satpct) X (revpct) X (widpct) X (limpct) X (antipoppct) X (makeuppct) X (subharmpct)           \
    X (outputgain) X (revlowcut) X (eqlow) X (eqmid) X (eqhigh) X (lineareq) X (responseprofile)      \
    X (outputtarget) X (limiterceiling) X (lookahead) X (bypass) X (voicemode) X (mixmode) X (venue)  \
    X (mic) X (cupped) X (popfilter) X (antifeedback) X (gateknobon) X (smackknobon) X (punchknobon)  \
    X (loudknobon) X (widthknobon) X (airknobon) X (smartknobon) X (liveknobon) X (flavourknobon)     \
    X (beastknobon) X (subknobon) X (detailknobon) X (fbfreq1) X (fbfreq2) X (fbfreq3) X (speaker)    \
    X (output)
// clang-format on

enum class Param : int
{
#define VANTORA_PARAMETER_ENUM(name) name,
    VANTORA_PARAMETER_IDS (VANTORA_PARAMETER_ENUM)
#undef VANTORA_PARAMETER_ENUM
        count
};

constexpr int numParameters = static_cast<int> (Param::count);
static_assert (numParameters == 94, "the layout holds 94 parameters");

/** The id string of a parameter, as the host and the saved state know it. */
const char* parameterId (Param parameter) noexcept;

/** The unit of a parameter's real value ("dB", "Hz", "ms" or "s"), or "" for a proportion, switch or
    choice. For descriptions of the plug-in; the parameters themselves carry no unit label. */
const char* parameterUnit (Param parameter);

/** All 94 parameters in table order. */
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();
