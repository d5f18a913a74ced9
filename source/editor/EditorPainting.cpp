// Everything the window draws that is not a control: the visualizer, titles, the loudness meter,
// page panels and labels, the ANALYZE report, knob captions, the status toast, the calibration
// panel and the guide with its changelog.

#include "editor/EditorFonts.h"
#include "editor/EditorTexts.h"
#include "editor/PluginEditor.h"

namespace
{
using Rect = juce::Rectangle<int>;
using FocusModule = QuorinProcessorEditor::FocusModule;

constexpr juce::uint32 background = 0xff020304;
constexpr juce::uint32 orange = 0xfff15a00;
constexpr juce::uint32 blue = 0xff37c4ff;
constexpr juce::uint32 panel = 0xff0c0e12;
constexpr juce::uint32 reportBox = 0xff12161d;
constexpr juce::uint32 track = 0xff20242c;
constexpr juce::uint32 brightText = 0xffd7dde7;
constexpr juce::uint32 mutedText = 0xff9ea7b4;
constexpr juce::uint32 softText = 0xffb8c0cb;
constexpr juce::uint32 dimText = 0xff7d8694;
constexpr juce::uint32 divider = 0xff262b33;
constexpr const char* pageHint = "Click the same module again to close it, or select another module to switch.";

void fillRounded (juce::Graphics& g, Rect area, float radius, juce::Colour colour)
{
    g.setColour (colour);
    g.fillRoundedRectangle (area.toFloat(), radius);
}

void outlineRounded (juce::Graphics& g, Rect area, float radius, float thickness, juce::Colour colour)
{
    g.setColour (colour);
    g.drawRoundedRectangle (area.toFloat(), radius, thickness);
}

void text (juce::Graphics& g, const juce::String& s, Rect area, const juce::Font& font, juce::uint32 colour,
           juce::Justification justification = juce::Justification::centredLeft)
{
    g.setFont (font);
    g.setColour (juce::Colour (colour));
    g.drawText (s, area, justification, true);
}

void fittedText (juce::Graphics& g, const juce::String& s, Rect area, const juce::Font& font, juce::uint32 colour,
                 juce::Justification justification, int maxLines)
{
    g.setFont (font);
    g.setColour (juce::Colour (colour));
    g.drawFittedText (s, area, justification, maxLines);
}

/** A progress track with its fill; the fill is at least minimumFill wide. */
void progressBar (juce::Graphics& g, Rect trackArea, float progress, int minimumFill)
{
    fillRounded (g, trackArea, 3.0f, juce::Colour (track));
    const auto fill = juce::jmax (minimumFill, static_cast<int> (progress * static_cast<float> (trackArea.getWidth())));
    if (fill > 0)
        fillRounded (g, trackArea.withWidth (fill), 3.0f, juce::Colour (orange));
}

void drawInfoItem (juce::Graphics& g, Rect area, const juce::String& title, const juce::String& body)
{
    const auto titleHeight = juce::jmin (area.getHeight(), 20);
    text (g, title, area.withHeight (titleHeight), makeHeadlineFont (14.5f), orange);
    fittedText (g, body,
                { area.getX(), area.getY() + titleHeight + 4, area.getWidth(),
                  juce::jmax (area.getHeight() - titleHeight - 4, 0) },
                makeUiFont (12.5f, false), brightText, juce::Justification::topLeft, 4);
}

struct RowLabel
{
    const char* text;
    int x, y;
};

constexpr RowLabel engineRows[] { { "LIMITER SPEED", 82, 118 }, { "RESPONSE", 82, 156 },   { "TARGET", 82, 194 },
                                  { "BEAST MODE", 82, 232 },    { "VENUE", 82, 270 },      { "MIC PRESET", 82, 308 },
                                  { "FB NOTCH 1", 82, 342 },    { "FB NOTCH 2", 82, 372 }, { "FB NOTCH 3", 82, 402 },
                                  { "ADAPT MIX", 82, 434 } };
constexpr RowLabel outputRows[] { { "PROFILE", 82, 118 },   { "PRESET NAME", 82, 156 }, { "INPUT GAIN", 82, 194 },
                                  { "AUTO GAIN", 82, 232 }, { "MATCH", 330, 232 },      { "OUT GAIN", 82, 270 },
                                  { "PAD", 82, 308 },       { "LISTEN", 82, 346 },      { "LIMIT TP", 82, 384 } };
constexpr RowLabel eqRows[] { { "LINEAR PHASE", 82, 118 },
                              { "LOW", 82, 158 },
                              { "MID", 82, 196 },
                              { "HIGH", 82, 234 } };
constexpr RowLabel reverbRows[] { { "LEVEL", 386, 128 },   { "DECAY", 386, 166 },  { "COLOR", 386, 204 },
                                  { "LOW-CUT", 386, 242 }, { "HI-CUT", 386, 280 }, { "WIDTH", 386, 318 },
                                  { "DUCK", 386, 356 } };

template <size_t n>
void drawRowLabels (juce::Graphics& g, const RowLabel (&rows)[n], int width)
{
    for (const auto& row : rows)
        text (g, row.text, { row.x, row.y, width, 28 }, makeHeadlineFont (13.0f), mutedText);
}

/** One caption under a knob, coloured by its on-switch. */
struct Caption
{
    const char* text;
    int knob; // the editor's knob order; -1 for the transient shaper's switch
    int x;
};

struct CaptionStyle
{
    int y, width, height;
    float fontHeight;
    juce::uint32 onColour, offColour;
};
constexpr CaptionStyle smallCaption { 316, 120, 24, 17.0f, 0xff838b96, 0xff4f5866 };
constexpr CaptionStyle bigCaption { 540, 200, 30, 22.0f, 0xfff15a00, 0xff6a5a48 };

/** A row of knob captions, each coloured by whether its knob's switch is on. */
template <typename Captions, typename IsOn>
void drawCaptions (juce::Graphics& g, const Captions& captions, const CaptionStyle& style, IsOn isOn)
{
    for (const auto& c : captions)
        text (g, c.text, { c.x, style.y, style.width, style.height }, makeHeadlineFont (style.fontHeight),
              isOn (c.knob) ? style.onColour : style.offColour, juce::Justification::centred);
}
} // namespace

//==============================================================================
juce::AffineTransform QuorinProcessorEditor::canvasTransform() const
{
    return juce::AffineTransform::scale (uiScale).translated (static_cast<float> (uiOffsetX),
                                                              static_cast<float> (uiOffsetY));
}

void QuorinProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (background));
    paintVisualizer (g);

    g.addTransform (canvasTransform());
    const auto state = readViewState();
    paintHeaderAndTitle (g, state);
    if (! state.guide)
    {
        if (state.advanced && state.page != FocusModule::None)
            paintModulePage (g, state.page);
        else if (state.advanced)
            paintKnobCaptions (g, state);
        else
            paintCompactCaptions (g, state);
    }
    if (showCalibrationPanel || audioProcessor.calibrating.load())
        paintCalibrationPanel (g);
    if (state.guide)
        paintGuide (g);
}

void QuorinProcessorEditor::paintOverChildren (juce::Graphics& g)
{
    const auto state = readViewState();
    if (state.guide || state.page != FocusModule::Control)
        return;
    g.addTransform (canvasTransform());
    fillRounded (g, { 42, 84, 1156, 56 }, 8.0f, juce::Colour (panel));
    fittedText (g, "CONTROL - MODULE TOGGLES", { 56, 92, 1128, 24 }, makeHeadlineFont (18.0f), orange,
                juce::Justification::centredLeft, 1);
    fittedText (g, pageHint, { 56, 116, 1128, 24 }, makeUiFont (12.6f, false), mutedText,
                juce::Justification::centredRight, 2);
}

void QuorinProcessorEditor::paintVisualizer (juce::Graphics& g) const
{
    const auto width = juce::jmax (1, getWidth());
    const auto s = uiScale;
    const auto t = visualPhase;
    const auto level = 1.2f * visualLevel;
    const auto baseline = static_cast<float> (uiOffsetY) + 205.0f * s;
    const auto amplitude = (level < 0.0f ? 10.0f : level > 1.0f ? 28.0f : 10.0f + 18.0f * level) * s;
    const auto ripple = 4.0f * s;

    juce::Path wave;
    for (int x = 0; x <= width; x += 4)
    {
        const auto u = juce::MathConstants<float>::twoPi * static_cast<float> (x) / static_cast<float> (width);
        const auto y = baseline + amplitude * std::sin (2.2f * u + t) + ripple * std::sin (5.0f * u - 0.6f * t);
        if (x == 0)
            wave.startNewSubPath (0.0f, y);
        else
            wave.lineTo (static_cast<float> (x), y);
    }
    g.setColour (juce::Colour (orange).withAlpha (0.48f));
    g.strokePath (wave, juce::PathStrokeType (juce::jmax (2.0f * s, 1.0f)));
}

void QuorinProcessorEditor::paintHeaderAndTitle (juce::Graphics& g, const ViewState& state) const
{
    fillRounded (g, { 300, 20, 640, 34 }, 8.0f, juce::Colour (panel));
    outlineRounded (g, { 300, 20, 640, 34 }, 8.0f, 1.2f, juce::Colour (blue));

    if (advancedView && focusModule != FocusModule::None)
        return;
    text (g, "VANTORA V3", { 0, 58, 1240, 64 }, makeDisplayFont (52.0f), 0xfff3f4f8, juce::Justification::centred);
    text (g, "MIX & MASTER FOR RECORDED BEATBOX", { 0, 124, 1240, 32 }, makeHeadlineFont (28.0f), orange,
          juce::Justification::centred);
    if (state.mix && isOn (Param::loudnessmeter))
        paintLufsMeter (g);
}

void QuorinProcessorEditor::paintLufsMeter (juce::Graphics& g) const
{
    fillRounded (g, { 892, 78, 326, 54 }, 8.0f, juce::Colour (panel).withAlpha (0.94f));
    outlineRounded (g, { 892, 78, 326, 54 }, 8.0f, 1.0f, juce::Colour (blue).withAlpha (0.55f));
    text (g, "LUFS METER", { 902, 82, 316, 14 }, makeHeadlineFont (11.5f), blue);

    const auto integrated = audioProcessor.loudnessLufs.load();
    text (g, meterReadingLine (integrated, audioProcessor.blockLoudnessDb.load(), audioProcessor.truePeakDb.load()),
          { 902, 96, 316, 16 }, makeUiFont (11.0f, false), brightText);
    text (g, meterTargetLine (integrated, audioProcessor.outputTargetLufs.load(), isOn (Param::loudnessmatch)),
          { 902, 112, 316, 16 }, makeUiFont (11.0f, false), mutedText);
}

void QuorinProcessorEditor::paintModulePage (juce::Graphics& g, FocusModule page) const
{
    fillRounded (g, { 34, 78, 1172, page == FocusModule::Control ? 820 : 498 }, 10.0f, juce::Colour (panel));
    if (page == FocusModule::Control)
        return; // its title bar lies over its controls (paintOverChildren)

    static const char* const titles[] { "", "ENGINE - FINE CONTROL", "OUTPUT - FINE CONTROL", "EQ - FINE CONTROL",
                                        "REVERB - FINE CONTROL" };
    text (g, titles[static_cast<int> (page)], { 48, 84, 1158, 24 }, makeHeadlineFont (18.0f), orange);
    text (g, pageHint, { 34, 86, 1158, 22 }, makeUiFont (12.8f, false), mutedText, juce::Justification::centredRight);

    switch (page)
    {
        case FocusModule::Engine:
            drawRowLabels (g, engineRows, 126);
            text (g, "Anti-feedback notches are always active (stage-safe).", { 82, 458, 520, 18 },
                  makeUiFont (10.5f, false), dimText);
            paintAnalyzeReport (g);
            break;
        case FocusModule::Output:
            drawRowLabels (g, outputRows, 126);
            break;
        case FocusModule::Eq:
            drawRowLabels (g, eqRows, 126);
            break;
        case FocusModule::Reverb:
            text (g, "LIVE REVERB", { 494, 94, 230, 22 }, makeHeadlineFont (13.0f), mutedText);
            text (g, "FLAVOUR REVERB", { 748, 94, 230, 22 }, makeHeadlineFont (13.0f), mutedText);
            drawRowLabels (g, reverbRows, 104);
            break;
        case FocusModule::None:
        case FocusModule::Control:
            break;
    }
}

void QuorinProcessorEditor::paintAnalyzeReport (juce::Graphics& g) const
{
    fillRounded (g, { 56, 500, 1128, 68 }, 6.0f, juce::Colour (reportBox));
    const auto line = [] (int y, int height) { return Rect (68, y, 1104, height); };

    if (audioProcessor.analyzing.load())
    {
        const auto progress = audioProcessor.analyzeProgress.load();
        text (g, "ANALYZE: measuring input (5 seconds)", line (508, 18), makeHeadlineFont (12.6f), orange);
        text (g, "Perform normally; RMS and peak are tracked at the plugin input.", line (528, 34),
              makeUiFont (11.5f, false), softText);
        progressBar (g, { 68, 556, 1104, 6 }, progress, 4);
        text (g, wholePercent (progress), line (554, 14), makeUiFont (11.0f, false), mutedText,
              juce::Justification::centredRight);
    }
    else if (audioProcessor.analysisDone.load())
    {
        text (g, "ANALYZE: last pass", line (508, 18), makeHeadlineFont (12.6f), orange);
        const auto font = makeUiFont (11.4f, false);
        text (g,
              analysisLevelsLine (audioProcessor.analysisLufsEstimate.load(), audioProcessor.analysisRmsDb.load(),
                                  audioProcessor.analysisPeakDb.load()),
              line (528, 18), font, brightText);
        text (g, "Applied: target mode, limiter, mix punch + MATCH assist.", line (544, 14), font, mutedText);
        text (g,
              analysisSettingsLine (audioProcessor.analysisCeilingDb.load(), audioProcessor.analysisAttack.load(),
                                    audioProcessor.analysisSustain.load()),
              line (558, 16), font, mutedText);
    }
    else
    {
        text (g, "ANALYZE", line (508, 16), makeHeadlineFont (12.4f), dimText);
        text (g,
              "Captures 5 seconds of input level (RMS + peak), then sets limiter ceiling and transient "
              "Attack/Sustain toward a stable -14 LUFS-style balance.",
              line (526, 46), makeUiFont (11.2f, false), softText);
    }
}

void QuorinProcessorEditor::paintKnobCaptions (juce::Graphics& g, const ViewState& state) const
{
    static const Caption mixSmall[] { { "GATE", gateKnob, 116 },       { "SMACK", smackKnob, 264 },
                                      { "LOUD", loudKnob, 412 },       { "WIDTH", widthKnob, 560 },
                                      { "AIR", airKnob, 708 },         { "LIVE", liveKnob, 856 },
                                      { "FLAVOUR", flavourKnob, 1004 } };
    static const Caption liveSmall[] { { "GATE", gateKnob, 112 }, { "SMACK", smackKnob, 240 },
                                       { "LOUD", loudKnob, 368 }, { "WIDTH", widthKnob, 496 },
                                       { "AIR", airKnob, 624 },   { "SMART", smartKnob, 752 },
                                       { "LIVE", liveKnob, 880 }, { "ROOM", flavourKnob, 1008 } };
    static const Caption mixBig[] { { "SUB", subKnob, 375 }, { "DETAIL", detailKnob, 665 } };
    static const Caption liveBig[] { { "BEAST", beastKnob, 230 },
                                     { "SUB", subKnob, 520 },
                                     { "DETAIL", detailKnob, 810 } };

    const auto knobOn = [&state] (int knob) { return state.knobOn[static_cast<size_t> (knob)]; };
    if (state.mix)
        drawCaptions (g, mixSmall, smallCaption, knobOn);
    else
        drawCaptions (g, liveSmall, smallCaption, knobOn);
    g.setColour (juce::Colour (divider));
    g.fillRect (70, 520, 1100, 1);
    if (state.mix)
        drawCaptions (g, mixBig, bigCaption, knobOn);
    else
        drawCaptions (g, liveBig, bigCaption, knobOn);
    paintStatusToast (g);
}

void QuorinProcessorEditor::paintCompactCaptions (juce::Graphics& g, const ViewState& state) const
{
    static const std::array<Caption, 4> mixSmall { { { "GATE", gateKnob, 320 },
                                                     { "SMACK", smackKnob, 480 },
                                                     { "LOUD", loudKnob, 640 },
                                                     { "ROOM", flavourKnob, 800 } } };
    // In Live the SMACK caption follows the transient shaper's switch.
    static const std::array<Caption, 4> liveSmall {
        { { "GATE", gateKnob, 320 }, { "SMACK", -1, 480 }, { "LOUD", loudKnob, 640 }, { "SMART", smartKnob, 800 } }
    };
    static const std::array<Caption, 2> mixBig { { { "SUB", subKnob, 375 }, { "DETAIL", detailKnob, 665 } } };
    static const std::array<Caption, 2> liveBig { { { "BEAST", beastKnob, 375 }, { "DETAIL", detailKnob, 665 } } };

    const auto knobOn = [&state] (int knob)
    { return knob < 0 ? state.transientOn : state.knobOn[static_cast<size_t> (knob)]; };
    drawCaptions (g, state.mix ? mixSmall : liveSmall, smallCaption, knobOn);
    g.setColour (juce::Colour (divider));
    g.fillRect (300, 520, 640, 1);
    drawCaptions (g, state.mix ? mixBig : liveBig, bigCaption, knobOn);
}

void QuorinProcessorEditor::paintStatusToast (juce::Graphics& g) const
{
    if (statusTicks <= 0 || statusMessage.isEmpty())
        return;
    const auto fade = juce::jlimit (0.0f, 1.0f, static_cast<float> (statusTicks) / statusLifetimeTicks);
    fillRounded (g, { 872, 742, 322, 24 }, 6.0f, juce::Colour (panel).withAlpha (0.95f * fade));
    text (g, statusMessage, { 882, 744, 302, 20 }, makeUiFont (12.0f, true), mutedText);
}

void QuorinProcessorEditor::paintCalibrationPanel (juce::Graphics& g) const
{
    fillRounded (g, { 34, 662, 346, 94 }, 6.0f, juce::Colour (panel));
    const auto line = [] (int y, int height) { return Rect (46, y, 322, height); };

    if (audioProcessor.calibrating.load())
    {
        const auto progress = audioProcessor.calibrateProgress.load();
        text (g, "LISTENING " + wholePercent (progress), line (670, 20), makeHeadlineFont (14.0f), orange);
        text (g, "Keep beatboxing in your normal volume.", line (692, 18), makeUiFont (12.0f, false), 0xff9399a4);
        text (g, learnStatusText.isEmpty() ? juce::String ("Listening for kick/snare/hi-hat...") : learnStatusText,
              line (710, 16), makeUiFont (11.5f, false), softText);

        const std::array<std::pair<const char*, float>, 3> lamps {
            { { "K", kickFlash }, { "S", snareFlash }, { "H", hatFlash } }
        };
        for (size_t i = 0; i < lamps.size(); ++i)
        {
            const int x0 = 46 + 68 * static_cast<int> (i);
            fillRounded (g, { x0, 726, 62, 16 }, 6.0f, juce::Colour (track));
            g.setColour (juce::Colour (blue).withAlpha (juce::jlimit (0.08f, 1.0f, 0.88f * lamps[i].second + 0.12f)));
            g.fillEllipse (static_cast<float> (x0 + 4), 729.0f, 9.0f, 9.0f);
            text (g, lamps[i].first, { x0 + 16, 726, 44, 16 }, makeUiFont (10.5f, true), 0xffced6e1);
        }
        progressBar (g, { 46, 738, 322, 6 }, progress, 0);
    }
    else if (audioProcessor.calibrationDone.load())
    {
        text (g, "CALIBRATED", line (668, 18), makeHeadlineFont (13.0f), blue);
        text (g,
              calibrationAmountsLine (audioProcessor.calibratedGate.load(), audioProcessor.calibratedLoudness.load(),
                                      audioProcessor.calibratedSmart.load()),
              line (692, 18), makeUiFont (12.0f, false), brightText);
        text (g,
              calibrationLevelsLine (audioProcessor.calibratedNoiseFloorDb.load(),
                                     audioProcessor.calibratedPeakDb.load()),
              line (712, 18), makeUiFont (11.0f, false), dimText);
        text (g, "Press CALIBRATE to re-run", line (730, 18), makeUiFont (10.5f, false), 0xff5f6772);
    }
    else
    {
        g.setFont (makeUiFont (12.5f, false));
        g.setColour (juce::Colour (0xff9399a4));
        g.drawMultiLineText ("Press CALIBRATE and beatbox 4 sec.\nAuto-sets Gate, Loud and Smart.\n"
                             "Tip: keep your normal performance volume.",
                             46, 680, 322);
    }
}

void QuorinProcessorEditor::paintGuide (juce::Graphics& g) const
{
    g.setColour (juce::Colours::black.withAlpha (0.86f));
    g.fillRect (0, 0, canvasWidth, canvasHeight);
    fillRounded (g, { 50, 54, 1140, 732 }, 14.0f, juce::Colour (panel));
    outlineRounded (g, { 50, 54, 1140, 732 }, 14.0f, 1.4f, juce::Colour (0xff2a313c));
    text (g, guideTitle, { 50, 54, 320, 70 }, makeDisplayFont (28.0f), 0xfff3f4f8);
    text (g, guideSubtitle, { 370, 64, 820, 50 }, makeUiFont (13.5f, false), 0xff8d97a5,
          juce::Justification::centredRight);

    if (showChangelog)
    {
        fillRounded (g, { 100, 160, 1040, 590 }, 10.0f, juce::Colour (0xff10151c));
        outlineRounded (g, { 100, 160, 1040, 590 }, 10.0f, 1.0f, juce::Colour (0xff27303a));
        text (g, changelogTitle, { 120, 176, 1000, 34 }, makeDisplayFont (24.0f), orange);
        // Two lines: the introduction does not fit on one at this width.
        fittedText (g, changelogIntro, { 120, 210, 1000, 44 }, makeUiFont (12.8f, false), 0xff7f8b9a,
                    juce::Justification::topLeft, 2);
        fittedText (g, changelogList(), { 120, 264, 1000, 470 }, makeUiFont (12.2f, false), mutedText,
                    juce::Justification::topLeft, 22);
        return;
    }

    constexpr int leftRows = 7;
    for (size_t i = 0; i < guideItems.size(); ++i)
    {
        const auto row = static_cast<int> (i) < leftRows ? static_cast<int> (i) : static_cast<int> (i) - leftRows;
        const auto x = static_cast<int> (i) < leftRows ? 78 : 632;
        const auto last = i + 1 == guideItems.size();
        drawInfoItem (g, { x, 142 + 74 * row, 530, last ? 34 : 64 }, juce::String::fromUTF8 (guideItems[i].title),
                      juce::String::fromUTF8 (guideItems[i].text));
    }
}
