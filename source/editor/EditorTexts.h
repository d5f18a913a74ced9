#pragma once

#include <juce_core/juce_core.h>

#include <array>

// The editor's fixed wording (guide, changelog, tooltips) and the texts it builds from the
// processor's published values, kept apart from the drawing so each can be checked on its own.

/** Halfway cases go to the even neighbour (the default rounding mode), so 12.5 shows as 12. */
int roundHalfToEven (double value);

/** A proportion 0..1 as a whole percentage, "38%". */
juce::String wholePercent (float proportion);

/** A value with one decimal, as the meters and reports show it. */
juce::String oneDecimal (float value);

//==============================================================================
struct GuideItem
{
    const char* title;
    const char* text;
};

extern const char* const guideTitle;
extern const char* const guideSubtitle;
/** Left column top to bottom (7), then the right column (9). */
extern const std::array<GuideItem, 16> guideItems;

extern const char* const changelogTitle;
extern const char* const changelogIntro;
/** The changelog list, one item per line. */
juce::String changelogList();

//==============================================================================
struct ControlTooltip
{
    const char* componentId;
    const char* text;
};

/** Every control that explains itself, by the component id the editor gives it. */
extern const std::array<ControlTooltip, 50> controlTooltips;

//==============================================================================
// Meter, report and panel lines.

/** "INT -12.5   ST -10.0   TP -1.2 dBTP" */
juce::String meterReadingLine (float integratedLufs, float shortTermLufs, float truePeakDb);
/** "Target -14 LUFS   +1.5 LU   MATCH ON" */
juce::String meterTargetLine (float integratedLufs, float targetLufs, bool matchOn);

/** "Est. program ~ -13.2 LUFS   RMS -18.0 dB   Peak -2.1 dB" */
juce::String analysisLevelsLine (float lufsEstimate, float rmsDb, float peakDb);
/** "Limiter ceiling -1.00 dB   Attack 42%   Sustain 52%" */
juce::String analysisSettingsLine (float ceilingDb, float attack, float sustain);

/** "GATE 31%   LOUD 50%   AUTO 62%" */
juce::String calibrationAmountsLine (float gate, float loudness, float smart);
/** "Noise floor -61.2 dB   Peak -3.0 dB" */
juce::String calibrationLevelsLine (float noiseFloorDb, float peakDb);

//==============================================================================
// Button and status texts of the timed actions. Hit classes: 1 kick, 2 snare, 3 hi-hat.

/** A learn button's text: its progress while it learns, else its name, starred once learned. */
juce::String learnButtonText (int buttonClass, int learningClass, float learningProgress, int learnedMask);
/** "ANALYZE 50%" while a capture runs, else "ANALYZE". */
juce::String analyzeButtonText (bool analyzing, float progress);
/** The class a lamp shows: the one being learned, else the one the engine's label names, else 0. */
int lampHitClass (int learningClass, const juce::String& hitLabel);
/** What the calibration panel says it listens for; empty when no calibration runs. */
juce::String learnStatusLine (bool calibrating, int hitClass);
