#include "editor/PluginEditor.h"

#include "editor/EditorFonts.h"

namespace
{
// Parameters whose changes alter which controls are live; the editor re-runs its view pass on them.
constexpr std::array<const char*, 20> kInteractWatchIds {
    "wildcardmode", "wildcardhybridfx", "eqon",        "dynamicson", "saturationon", "reverbon",   "widthon",
    "gateknobon",   "smackknobon",      "punchknobon", "loudknobon", "widthknobon",  "airknobon",  "smartknobon",
    "liveknobon",   "flavourknobon",    "beastknobon", "subknobon",  "detailknobon", "adaptivehit"
};

constexpr std::array<const char*, 11> knobParameterIds { "gate", "smack",   "loudness", "width", "air",   "smart",
                                                         "live", "flavour", "beast",    "sub",   "detail" };
constexpr std::array<const char*, 11> knobSwitchIds { "gateknobon",  "smackknobon", "loudknobon",  "widthknobon",
                                                      "airknobon",   "smartknobon", "liveknobon",  "flavourknobon",
                                                      "beastknobon", "subknobon",   "detailknobon" };
constexpr std::array<const char*, 6> moduleSwitchIds { "eqon",     "dynamicson", "saturationon",
                                                       "reverbon", "widthon",    "limiteron" };
constexpr std::array<const char*, 6> moduleSwitchTexts { "EQ", "DYN", "SAT", "REV", "WIDTH", "LIM" };
constexpr std::array<const char*, 6> chainBlendIds { "eqpct", "dynpct", "satpct", "revpct", "widpct", "limpct" };
constexpr std::array<const char*, 4> pathIds { "antipoppct", "makeuppct", "subharmpct", "adaptmix" };
constexpr std::array<const char*, 4> pathRowNames { "ANTI-POP", "MAKEUP", "SUB HARM", "ADAPT" };
constexpr std::array<const char*, 6> transientRowNames { "ATTACK", "SUSTAIN", "BAND", "SNAP", "CEIL", "SMOOTH" };
constexpr std::array<const char*, 5> pageButtonTexts { "ENGINE", "OUTPUT", "EQ", "REVERB", "CONTROL" };
constexpr std::array<const char*, 3> learnButtonTexts { "LEARN KICK", "LEARN SNARE", "LEARN HI-HAT" };

// The microphone menu is ordered by brand; each item's id minus one is the parameter's choice index.
struct MicrophoneItem
{
    const char* name;
    int id;
};
constexpr std::array<MicrophoneItem, 15> microphoneMenu { {
    { "Flat", 1 },
    { "Shure SM7B", 2 },
    { "Shure SM58", 4 },
    { "Shure PGA58", 5 },
    { "Shure Beta 58", 10 },
    { "Shure KSM 9", 12 },
    { "AKG D5", 3 },
    { "AKG D7", 15 },
    { "Sennheiser e835", 6 },
    { "Sennheiser e945", 13 },
    { "DPA 2028", 7 },
    { "DPA d:facto", 8 },
    { "Audix OM7", 11 },
    { "sE V7", 9 },
    { "Mackie EM-89D", 14 },
} };

constexpr juce::uint32 orangeAccent = 0xfff15a00;
constexpr juce::uint32 blueAccent = 0xff37c4ff;
constexpr juce::uint32 plainText = 0xffd7dde7;
constexpr juce::uint32 amberText = 0xfff6b05c;
} // namespace

QuorinProcessorEditor::QuorinProcessorEditor (QuorinProcessor& p) : juce::AudioProcessorEditor (p), audioProcessor (p)
{
    setLookAndFeel (&uiLookAndFeel);
    setResizable (true, true);
    setResizeLimits (720, 500, 4000, 2400);

    // Every control is set up and bound in the order below; a slider's set-up precedes its attachment,
    // so the parameter's range, text and double-click default win.
    setUpSliders();
    setUpSwitches();
    setUpPathBlock();
    setUpTransientBlock();
    setUpCombo (listeningCombo, { "Off", "Small Speaker", "Small Room", "Large Room" }, "speaker");
    setUpCombo (padCombo, { "0 dB", "-3 dB", "-6 dB" }, "output");
    setUpChainBlendBlock();

    setUpOnSwitches();
    setUpFooterAndHeaderButtons();
    setUpEngineCombos();
    setUpNotchSliders();

    collectPageControls();
    wireViewButtons();
    fillProfileControls();
    wireActionButtons();
    setUpTooltips();

    for (auto* id : kInteractWatchIds)
        audioProcessor.parameters.addParameterListener (id, this);

    updateControlVisibility();
    startTimerHz (60);
    setSize (1080, 732);
}

QuorinProcessorEditor::~QuorinProcessorEditor()
{
    for (auto* id : kInteractWatchIds)
        audioProcessor.parameters.removeParameterListener (id, this);

    stopTimer();
    setLookAndFeel (nullptr);
    for (auto* control : controls)
        if (auto* slider = dynamic_cast<juce::Slider*> (control))
            slider->setLookAndFeel (nullptr);
}

//==============================================================================
void QuorinProcessorEditor::setUpSliders()
{
    for (int k = gateKnob; k <= flavourKnob; ++k)
        setUpKnob (knobs[static_cast<size_t> (k)], false, knobParameterIds[static_cast<size_t> (k)]);
    setUpLinear (engineAdaptMix, 76, 22, "adaptmix", "adaptmix");
    setUpLinear (inputGain, 76, 22, "inputgain", "inputgain");
    setUpLinear (eqSliders[0], 76, 22, "eqlow", "eqlow");
    setUpLinear (eqSliders[1], 76, 22, "eqmid", "eqmid");
    setUpLinear (eqSliders[2], 76, 22, "eqhigh", "eqhigh");
    for (auto* column : { &liveColumn, &flavourColumn })
    {
        const juce::String bus = column == &liveColumn ? "live" : "flavour";
        setUpLinear (column->decay, 76, 22, "rev" + bus + "decay", "rev" + bus + "decay");
        setUpLinear (column->colour, 76, 22, "rev" + bus + "damping", "rev" + bus + "damping");
        setUpLinear (column->lowCut, 76, 22, "rev" + bus + "lowcut", "rev" + bus + "lowcut");
        setUpLinear (column->hiCut, 76, 22, "rev" + bus + "hicut", "rev" + bus + "hicut");
        setUpLinear (column->level, 76, 22, bus, "reverb." + bus);
        setUpLinear (column->width, 76, 22, "rev" + bus + "width", "rev" + bus + "width");
    }
    setUpLinear (liveColumn.duck, 76, 22, "revducklive", "revducklive");
    setUpLinear (flavourColumn.duck, 76, 22, "revduckflavour", "revduckflavour");
    setUpLinear (outputGain, 76, 22, "outputgain", "outputgain");
    setUpLinear (limiterCeiling, 76, 22, "limiterceiling", "limiterceiling");
    for (int k = beastKnob; k <= detailKnob; ++k)
        setUpKnob (knobs[static_cast<size_t> (k)], true, knobParameterIds[static_cast<size_t> (k)]);
}

void QuorinProcessorEditor::setUpSwitches()
{
    setUpToggle (bypassToggle, "BYPASS", "bypass");
    setUpToggle (voiceModeToggle, "VOICE MODE", "voicemode");
    setUpToggle (wildcardToggle, "WILDCARD", "wildcardmode");
    setUpToggle (wildcardHybridToggle, "WILDCARD HYBRID FX", "wildcardhybridfx");
    setUpToggle (cuppedToggle, "CUPPED MIC", "cupped");
    setUpToggle (popFilterToggle, "POP FILTER", "popfilter");
    setUpToggle (learnPercussionToggle, "LEARN PERCUSSION", "adaptivehit");
    for (size_t i = 0; i < learnButtons.size(); ++i)
        setUpButton (learnButtons[i], learnButtonTexts[i], juce::Colour (orangeAccent), juce::Colour (plainText));
    setUpButton (clearLearnedButton, "CLEAR", juce::Colour (orangeAccent), juce::Colour (plainText));
    setUpToggle (autoGainToggle, "AUTO GAIN", "autogain");
    setUpToggle (matchToggle, "MATCH", "loudnessmatch");
    for (size_t m = 0; m < moduleSwitches.size(); ++m)
        setUpToggle (moduleSwitches[m], moduleSwitchTexts[m], moduleSwitchIds[m]);
    setUpToggle (linearPhaseToggle, "LINEAR PHASE", "lineareq");
}

void QuorinProcessorEditor::setUpOnSwitches()
{
    for (size_t k = 0; k < knobOnSwitches.size(); ++k)
    {
        // The transient shaper's switch stands third, where the on-switches list it.
        if (k == smackKnob + 1)
            setUpToggle (transientOnSwitch, "ON", "punchknobon");
        setUpToggle (knobOnSwitches[k], "ON", knobSwitchIds[k]);
    }
}

void QuorinProcessorEditor::setUpNotchSliders()
{
    for (size_t i = 0; i < notchSliders.size(); ++i)
    {
        const auto id = "fbfreq" + juce::String (i + 1);
        notchSliders[i].setLookAndFeel (&knobLookAndFeel);
        addControl (notchSliders[i], id);
        attach (notchSliders[i], id);
    }
}

//==============================================================================
void QuorinProcessorEditor::addControl (juce::Component& control, const juce::String& componentId)
{
    control.setComponentID (componentId);
    addAndMakeVisible (control);
    controls.push_back (&control);
}

void QuorinProcessorEditor::attach (juce::Slider& slider, const juce::String& parameterId)
{
    sliderAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (
        audioProcessor.parameters, parameterId, slider));
}

void QuorinProcessorEditor::setUpKnob (juce::Slider& knob, bool big, const juce::String& parameterId)
{
    styleKnob (knob, knobLookAndFeel, big);
    addControl (knob, parameterId);
    attach (knob, parameterId);
}

void QuorinProcessorEditor::setUpLinear (juce::Slider& slider, int boxWidth, int boxHeight,
                                         const juce::String& parameterId, const juce::String& componentId)
{
    slider.setLookAndFeel (&knobLookAndFeel);
    slider.setSliderStyle (juce::Slider::LinearHorizontal);
    slider.setTextBoxStyle (juce::Slider::TextBoxRight, false, boxWidth, boxHeight);
    addControl (slider, componentId);
    attach (slider, parameterId);
}

void QuorinProcessorEditor::setUpToggle (juce::ToggleButton& toggle, const juce::String& text,
                                         const juce::String& parameterId)
{
    toggle.setButtonText (text);
    addControl (toggle, parameterId);
    buttonAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (
        audioProcessor.parameters, parameterId, toggle));
}

namespace
{
void colourCombo (juce::ComboBox& combo)
{
    combo.setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xff1b2128));
    combo.setColour (juce::ComboBox::textColourId, juce::Colour (plainText));
    combo.setColour (juce::ComboBox::outlineColourId, juce::Colour (0xff37414d));
    combo.setColour (juce::ComboBox::arrowColourId, juce::Colour (0xff7fa6c9));
}

void addItems (juce::ComboBox& combo, const juce::StringArray& items)
{
    for (int i = 0; i < items.size(); ++i)
        combo.addItem (items[i], i + 1);
}
} // namespace

void QuorinProcessorEditor::setUpCombo (juce::ComboBox& combo, const juce::StringArray& items,
                                        const juce::String& parameterId)
{
    addItems (combo, items);
    colourCombo (combo);
    addControl (combo, parameterId);
    comboAttachments.push_back (std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (
        audioProcessor.parameters, parameterId, combo));
}

void QuorinProcessorEditor::setUpButton (juce::TextButton& button, const juce::String& text, juce::Colour onColour,
                                         juce::Colour offTextColour)
{
    button.setButtonText (text);
    button.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff1b2128));
    button.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff020304));
    button.setColour (juce::TextButton::buttonOnColourId, onColour);
    button.setColour (juce::TextButton::textColourOffId, offTextColour);
    addControl (button, "button." + text);
}

void QuorinProcessorEditor::setUpLabel (juce::Label& label, const juce::String& text, bool header)
{
    label.setText (text, juce::dontSendNotification);
    label.setFont (makeUiFont (header ? 13.8f : 13.0f, true));
    label.setColour (juce::Label::textColourId, juce::Colour (header ? 0xffaab6c8 : plainText));
    label.setJustificationType (header ? juce::Justification::centredLeft : juce::Justification::centredRight);
    addControl (label, "label." + text);
}

void QuorinProcessorEditor::setUpPathBlock()
{
    setUpLabel (pathHeader, "PATH", true);
    for (size_t k = 0; k < pathSliders.size(); ++k)
    {
        setUpLabel (pathRowLabels[k], pathRowNames[k], false);
        // The adapt row is the second control on "adaptmix"; the Engine page holds the first.
        const juce::String componentId = k == 3 ? "path.adaptmix" : pathIds[k];
        setUpLinear (pathSliders[k], 56, 24, pathIds[k], componentId);
    }
}

void QuorinProcessorEditor::setUpTransientBlock()
{
    setUpLabel (transientHeader, "TRANSIENT SHAPER", true);
    const std::array<std::pair<juce::Slider*, const char*>, 6> rows { {
        { &transientAttack, "transientattack" },
        { &transientSustain, "transientsustain" },
        { &transientBand, "transientband" },
        { &transientSnap, "transientsnap" },
        { &transientCeiling, "transientceiling" },
        { &transientSmooth, "transientsmooth" },
    } };
    transientBand.setTextValueSuffix (" Hz");
    for (size_t i = 0; i < rows.size(); ++i)
    {
        setUpLabel (transientRowLabels[i], transientRowNames[i], false);
        const bool isBand = rows[i].first == &transientBand;
        setUpLinear (*rows[i].first, isBand ? 64 : 56, isBand ? 22 : 24, rows[i].second, rows[i].second);
    }
}

void QuorinProcessorEditor::setUpChainBlendBlock()
{
    setUpLabel (chainBlendHeader, "CHAIN BLEND (%)", true);
    for (size_t k = 0; k < chainBlendSliders.size(); ++k)
    {
        setUpLabel (chainBlendRowLabels[k], moduleSwitchTexts[k], false);
        chainBlendRowLabels[k].setComponentID ("label.blend." + juce::String (moduleSwitchTexts[k]));
        setUpLinear (chainBlendSliders[k], 56, 24, chainBlendIds[k], chainBlendIds[k]);
    }
}

void QuorinProcessorEditor::setUpFooterAndHeaderButtons()
{
    const juce::Colour orange (orangeAccent), blue (blueAccent), plain (plainText), amber (amberText);
    setUpButton (calibrateButton, "CALIBRATE", orange, orange);
    setUpButton (analyzeButton, "ANALYZE", orange, amber);
    setUpButton (calibrationInfoButton, "i", orange, plain);
    calibrationInfoButton.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff111419));
    setUpButton (mixMasterButton, "MIX MASTER", blue, blue);

    addItems (factoryPresetCombo, { "Mix Clean", "YT Punch", "Streaming Safe", "Minimal" });
    factoryPresetCombo.setSelectedId (1, juce::dontSendNotification);
    addControl (factoryPresetCombo, "factorypreset");

    setUpButton (liveTightButton, "LIVE TIGHT", orange, amber);
    setUpButton (saveButton, "SAVE", orange, plain);
    setUpButton (loadButton, "LOAD", orange, plain);

    presetNameBox.setMultiLine (false);
    presetNameBox.setReturnKeyStartsNewLine (false);
    presetNameBox.setScrollToShowCursor (false);
    presetNameBox.setTextToShowWhenEmpty ("Preset name", juce::Colour (0xff5c6570));
    presetNameBox.setFont (makeUiFont (12.0f, false));
    presetNameBox.setIndents (8, 0);
    presetNameBox.setJustification (juce::Justification::centredLeft);
    presetNameBox.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff12161d));
    presetNameBox.setColour (juce::TextEditor::textColourId, plain);
    presetNameBox.setColour (juce::TextEditor::outlineColourId, juce::Colour (0xff37414d));
    presetNameBox.setColour (juce::TextEditor::focusedOutlineColourId, orange);
    addControl (presetNameBox, "presetname");

    setUpButton (renameButton, "RENAME", amber, plain);
    colourCombo (profileCombo);
    addControl (profileCombo, "profile");

    setUpButton (showAdvancedButton, "SHOW ADVANCED", orange, plain);
    // Constructed in the order ENGINE, OUTPUT, CONTROL, EQ, REVERB.
    for (size_t page : { 0, 1, 4, 2, 3 })
        setUpButton (pageButtons[page], pageButtonTexts[page], orange, plain);
    setUpButton (infoButton, "?", orange, plain);
    infoButton.setComponentID ("button.INFO");
    setUpButton (updatesButton, "UPDATES", blue, blue);

    for (auto* button : { &showAdvancedButton, &pageButtons[0], &pageButtons[1], &pageButtons[2], &pageButtons[3],
                          &pageButtons[4], &calibrationInfoButton, &infoButton, &updatesButton })
        button->setClickingTogglesState (true);
}

void QuorinProcessorEditor::setUpEngineCombos()
{
    setUpCombo (limiterSpeedCombo, { "Punch", "Balanced", "Clamp" }, "lookahead");
    setUpCombo (responseCombo, { "Subtle", "Balanced", "Aggressive" }, "responseprofile");
    setUpCombo (outputTargetCombo, { "Custom", "Live PA", "YouTube -14 LUFS", "Streaming Safe", "Broadcast -23 LUFS" },
                "outputtarget");
    setUpCombo (chainModeCombo, { "Mix / Master", "Live Performance" }, "chainmode");
    setUpCombo (beastModeCombo, { "Transparent", "Small Beast", "Total Beast" }, "mixmode");
    setUpCombo (venueCombo, { "Stage", "Home" }, "venue");
    setUpMicrophoneCombo();
}

void QuorinProcessorEditor::setUpMicrophoneCombo()
{
    for (const auto& item : microphoneMenu)
        microphoneCombo.addItem (item.name, item.id);
    colourCombo (microphoneCombo);
    addControl (microphoneCombo, "mic");
    syncMicrophoneCombo();
    microphoneCombo.onChange = [this]
    {
        const auto id = microphoneCombo.getSelectedId();
        if (id <= 0)
            return;
        auto* mic = audioProcessor.parameters.getParameter ("mic");
        mic->beginChangeGesture();
        mic->setValueNotifyingHost (mic->convertTo0to1 (static_cast<float> (id - 1)));
        mic->endChangeGesture();
    };
}

void QuorinProcessorEditor::syncMicrophoneCombo()
{
    const auto index = juce::roundToInt (audioProcessor.parameters.getRawParameterValue ("mic")->load());
    microphoneCombo.setSelectedId (index < 0 ? 1 : index < 15 ? index + 1 : 15, juce::dontSendNotification);
}

void QuorinProcessorEditor::fillProfileControls()
{
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
        profileCombo.addItem (audioProcessor.getUserProfileName (slot), slot + 1);
    profileCombo.setSelectedId (1, juce::dontSendNotification);
    presetNameBox.setText (audioProcessor.getUserProfileName (0), false);
}

//==============================================================================
void QuorinProcessorEditor::updateUiScaleAndTransform()
{
    const auto w = getWidth(), h = getHeight();
    auto scale = juce::jmin (static_cast<float> (w) / canvasWidth, static_cast<float> (h) / canvasHeight);
    if (scale <= 0.1f)
        scale = 0.1f;

    uiScale = scale;
    uiOffsetX = (w - juce::roundToInt (canvasWidth * scale)) / 2;
    uiOffsetY = (h - juce::roundToInt (canvasHeight * scale)) / 2;

    const auto transform = juce::AffineTransform::scale (uiScale).translated (static_cast<float> (uiOffsetX),
                                                                              static_cast<float> (uiOffsetY));
    for (auto* control : controls)
        control->setTransform (transform);
}

void QuorinProcessorEditor::parameterChanged (const juce::String&, float)
{
    // May run on the audio thread (a capture writing its results): only post the view pass.
    juce::MessageManager::callAsync (
        [editor = safeThis]
        {
            if (editor != nullptr)
                editor->updateControlVisibility();
        });
}
