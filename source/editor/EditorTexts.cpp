#include "editor/EditorTexts.h"

#include <cmath>

int roundHalfToEven (double value) { return static_cast<int> (std::nearbyint (value)); }

juce::String wholePercent (float proportion) { return juce::String (roundHalfToEven (proportion * 100.0)) + "%"; }

juce::String oneDecimal (float value) { return juce::String (value, 1); }

//==============================================================================
// Texts with dashes and plus-minus signs are UTF-8; readers convert them with String::fromUTF8.

const char* const guideTitle = "MIX & MASTER GUIDE";
const char* const guideSubtitle = "Recorded beatbox mix bus. For live stage use HALVEX.";

const std::array<GuideItem, 16> guideItems { {
    { "SMACK", "Adds attack and bite so snares, hats and clicks cut through a recorded mix." },
    { "LOUD", "Raises overall density and loudness toward your output target. Higher feels fuller and more compact." },
    { "WIDTH", "Expands the stereo image. Subtle settings work best on mono SM58 recordings." },
    { "AIR", "Adds top-end openness and shine without pushing harshness." },
    { "ROOM", "Compact view macro for Flavour reverb \xe2\x80\x94 subtle mix glue and space (default ~20%)." },
    { "LIVE", "Advanced: short ambience reverb. For stage performance use HALVEX instead." },
    { "FLAVOUR", "Advanced: stereo room reverb for depth and atmosphere on the mix bus." },
    { "SUB", "Adds low-end body and weight to the recorded beatbox." },
    { "DETAIL", "Keeps articulations and fine textures audible through the mix." },
    { "MIX PRESETS", "Mix Clean, YT Punch, Streaming Safe, or Minimal \xe2\x80\x94 SM58 mix/master starting points." },
    { "MATCH", "Bidirectional loudness assist toward Output Target in mix/master (\xc2\xb1"
               "6 dB, limiter-safe)." },
    { "LUFS METER", "Integrated + short-term LUFS and true peak shown top-right in mix mode." },
    { "ANALYZE", "5 s level capture: sets limiter, mix punch, MATCH and output target." },
    { "OUTPUT TARGET", "Choose Custom, YouTube -14 LUFS, Streaming Safe or Broadcast -23 LUFS." },
    { "MIC PRESET", "Starts from Shure SM58 by default. Other mics available in ENGINE." },
    { "EQ (3 BANDS)", "User Low / Mid / High trim on top of the built-in beatbox tone curve." },
} };

const char* const changelogTitle = "V3 CHANGELOG";
const char* const changelogIntro =
    "Vantora v3 is the dedicated mix and master plugin for recorded beatbox (SM58 takes, studio bus, YouTube and "
    "streaming exports). Live stage beatboxing now has its own plugin: HALVEX.";

juce::String changelogList()
{
    static const char* const items[] {
        "- Product focus: mix and master only \xe2\x80\x94 not a live PA plugin",
        "- Default Mix / Master mode with SM58-recorded beatbox endpoint preset",
        "- Mix macros: Smack, Loud, Width, Air, Live reverb, Flavour reverb, Sub, Detail",
        "- Compact view: Smack, Loud, Room (Flavour), Air + Sub and Detail",
        "- YouTube -14 LUFS output target with true-peak safe limiter",
        "- Subtle Flavour reverb on by default for mix glue (~20% Room)",
        "- Advanced pages: ENGINE, OUTPUT, EQ, REVERB and CONTROL",
        "- Dual reverb buses in Advanced: Live (short) and Flavour (room)",
        "- Click-free module bypass crossfades (~20 ms) on EQ / DYN / SAT / REV / WIDTH / LIM",
        "- Live-only tools kept for legacy sessions: gate, adaptive hit, beast mode, stage notches",
        "- For live battles, loops and stage use: install HALVEX instead",
        "- UI: centered mix layout, full-width visualizer in fullscreen, unified button styling",
        "- AU validation fixes and clearer plugin identity in DAW browsers",
    };
    juce::StringArray lines;
    for (auto* item : items)
        lines.add (juce::String::fromUTF8 (item));
    return lines.joinIntoString ("\n");
}

//==============================================================================
const std::array<ControlTooltip, 50> controlTooltips { {
    { "air", "High shelf brightness plus a level-aware harmonic exciter on very highs (~9.8 kHz+); quiets down when "
             "there is little real HF signal so hiss does not get exaggerated." },
    { "revlivewidth", "Stereo width for this reverb tail only (0% = mono tail, 100% = widest). Independent from the "
                      "main WIDTH control." },
    { "revflavourwidth", "Stereo width for this reverb tail only (0% = mono tail, 100% = widest). Independent from "
                         "the main WIDTH control." },
    { "wildcardmode", "Hard bypass for advanced color modules to keep a strict clean chain." },
    { "wildcardhybridfx", "When enabled, other modules can still run while Wildcard is ON." },
    { "cupped", "On when you cup the mic: less mud, more top end." },
    { "popfilter", "Enable when your microphone is used behind a pop filter. Restores clarity and a little air." },
    { "adaptivehit", "Adaptive percussion detection (kick, snare, hi-hat, inward K). Turn on to morph macros toward "
                     "each hit; use KICK / SNARE / HI-HAT to capture personal profiles." },
    { "button.LEARN KICK", "Record your own kick profile for Adaptive Hit. When learned, real kicks can get a short "
                           "~50 Hz punch; throat bass is filtered out by the fingerprint." },
    { "button.LEARN SNARE", "Record your own snare profile for Adaptive Hit." },
    { "button.LEARN HI-HAT", "Record your own hi-hat profile for Adaptive Hit." },
    { "button.CLEAR", "Clear all learned Adaptive Hit profiles." },
    { "autogain", "Keeps overall output level stable when tone controls change." },
    { "loudnessmatch", "Mix/master: bidirectional loudness assist toward Output Target (\xc2\xb1"
                       "6 dB, limiter-safe)." },
    { "lineareq", "Studio mode: linear-phase FIR EQ (higher latency)." },
    { "antipoppct", "Anti-pop high-pass (~35 Hz) blend toward dry. Lower = retain more low-end transients." },
    { "makeuppct", "Scales dynamics body + loudness makeup gain toward unity. Tame macro loudness boosts." },
    { "subharmpct", "Harmonic enhancement under the SUB macro: 100% follows Sub knob harmonic amount." },
    { "path.adaptmix", "Adaptive Hit modulation depth (duplicate of ENGINE). Only active when Adaptive Hit is on." },
    { "transientattack", "Boosts detected low-band attack energy. CEIL sets how hard this can push; SMOOTH reduces "
                         "zipper if Attack+Ceil are high." },
    { "transientsustain", "Perceived decay after the hit: lower = shorter, drier tail (with high Attack = tight "
                          "slap); higher = more body." },
    { "transientband", "Low-pass corner for transient detection: lower = more sub/kick focus; higher = wider low-mid "
                       "energy (snares, chest hits)." },
    { "transientsnap", "Envelope speed: higher = faster transient catch and tighter slap (more click risk if "
                       "Smoothing is low); lower = rounder." },
    { "transientceiling", "Attack boost headroom: higher = stronger peak emphasis \xe2\x80\x94 stays mathematically "
                          "bounded; pair with limiter / input trim to avoid digital overs upstream." },
    { "transientsmooth", "Gain slew after the follower: higher = smoother riding when Attack and Ceil are pushed." },
    { "speaker", "Headphone/monitor simulator: softly darkens treble." },
    { "output", "Fixed output pad before OUTPUT GAIN slider (streaming / headphone headroom)." },
    { "eqpct", "EQ path blend (percentage). Maps how much shaping from the EQ chain is applied; 100% = full." },
    { "dynpct", "Multiband dynamics + tone compressor blend. 100% = full processed." },
    { "satpct", "Beast saturation blend (when Beast mode is active)." },
    { "revpct", "Reverb wet blend (both Live and Flavour busses scale with this)." },
    { "widpct", "Stereo width processing blend." },
    { "limpct", "Limiter stage blend when LIMITER is on (dry vs clipped). Ignored when limiter is off (safety clip "
                "still applies)." },
    { "gateknobon", "Enable/disable Gate knob processing." },
    { "smackknobon", "Enable/disable Smack knob processing." },
    { "punchknobon", "Enable/disable transient shaper (Attack / Sustain sliders below)." },
    { "loudknobon", "Enable/disable Loud knob processing." },
    { "widthknobon", "Enable/disable Width knob processing." },
    { "airknobon", "Enable/disable Air knob processing." },
    { "smartknobon", "Enable/disable Smart knob processing." },
    { "liveknobon", "Enable/disable Live reverb amount knob." },
    { "flavourknobon", "Enable/disable Flavour reverb amount knob." },
    { "beastknobon", "Enable/disable Beast knob processing." },
    { "subknobon", "Enable/disable Sub knob processing." },
    { "detailknobon", "Enable/disable Detail knob processing." },
    { "button.ANALYZE", "Measures 5 seconds of incoming audio (RMS + peak), then sets limiter ceiling, transient "
                        "Attack/Sustain, and Output Target for YouTube -14 LUFS." },
    { "factorypreset", "SM58 mix/master factory presets." },
    { "fbfreq1", "Sweep to pick a notch centre, or slide left for Off." },
    { "fbfreq2", "Sweep to pick a notch centre, or slide left for Off." },
    { "fbfreq3", "Sweep to pick a notch centre, or slide left for Off." },
} };

//==============================================================================
juce::String meterReadingLine (float integratedLufs, float shortTermLufs, float truePeakDb)
{
    return "INT " + oneDecimal (integratedLufs) + "   ST " + oneDecimal (shortTermLufs) + "   TP "
           + oneDecimal (truePeakDb) + " dBTP";
}

juce::String meterTargetLine (float integratedLufs, float targetLufs, bool matchOn)
{
    const auto difference = integratedLufs - targetLufs;
    return "Target " + juce::String (roundHalfToEven (targetLufs)) + " LUFS   " + (difference >= 0.0f ? "+" : "")
           + oneDecimal (difference) + " LU" + (matchOn ? "   MATCH ON" : "   MATCH OFF");
}

juce::String analysisLevelsLine (float lufsEstimate, float rmsDb, float peakDb)
{
    return "Est. program ~ " + oneDecimal (lufsEstimate) + " LUFS   RMS " + oneDecimal (rmsDb) + " dB   Peak "
           + oneDecimal (peakDb) + " dB";
}

juce::String analysisSettingsLine (float ceilingDb, float attack, float sustain)
{
    return "Limiter ceiling " + juce::String (ceilingDb, 2) + " dB   Attack " + wholePercent (attack) + "   Sustain "
           + wholePercent (sustain);
}

juce::String calibrationAmountsLine (float gate, float loudness, float smart)
{
    return "GATE " + wholePercent (gate) + "   LOUD " + wholePercent (loudness) + "   AUTO " + wholePercent (smart);
}

juce::String calibrationLevelsLine (float noiseFloorDb, float peakDb)
{
    return "Noise floor " + oneDecimal (noiseFloorDb) + " dB   Peak " + oneDecimal (peakDb) + " dB";
}

//==============================================================================
juce::String learnButtonText (int buttonClass, int learningClass, float learningProgress, int learnedMask)
{
    static const char* const running[] { "KICK ", "SNARE ", "HI-HAT " };
    static const char* const idle[] { "LEARN KICK", "LEARN SNARE", "LEARN HI-HAT" };
    const auto index = static_cast<size_t> (juce::jlimit (1, 3, buttonClass) - 1);
    if (learningClass == buttonClass)
        return running[index] + wholePercent (learningProgress);
    const bool learned = (learnedMask & (1 << index)) != 0;
    return juce::String (idle[index]) + (learned ? " *" : "");
}

juce::String analyzeButtonText (bool analyzing, float progress)
{
    return analyzing ? "ANALYZE " + wholePercent (progress) : juce::String ("ANALYZE");
}

int lampHitClass (int learningClass, const juce::String& hitLabel)
{
    if (learningClass >= 1)
        return learningClass;
    const auto label = hitLabel.toLowerCase();
    if (label.contains ("kick"))
        return 1;
    if (label.contains ("snare"))
        return 2;
    if (label.contains ("hat"))
        return 3;
    return 0;
}

juce::String learnStatusLine (bool calibrating, int hitClass)
{
    if (! calibrating)
        return {};
    switch (hitClass)
    {
        case 1:
            return "Analyzing Kick transients...";
        case 2:
            return "Analyzing Snare transients...";
        case 3:
            return "Analyzing Hi-Hat transients...";
        default:
            return "Listening for Kick / Snare / Hi-Hat...";
    }
}
