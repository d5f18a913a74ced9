// The editor's views: compact and advanced, the five module pages, the guide, and which controls
// show, which are live and where each sits on the canvas in every view.

#include "editor/PluginEditor.h"

namespace
{
using Rect = juce::Rectangle<int>;

constexpr juce::uint32 enabledKnobText = 0xffeceff5;
constexpr juce::uint32 disabledKnobText = 0xff6c7480;
constexpr float disabledAlpha = 0.38f;
constexpr float emptySlotAlpha = 0.45f;

enum Module
{
    eqModule,
    dynModule,
    satModule,
    revModule,
    widthModule,
    limModule
};

// The module each macro knob (in the editor's knob order) belongs to: the knob greys out with it.
constexpr std::array<int, 11> knobModule { dynModule, dynModule, dynModule, widthModule, eqModule, dynModule,
                                           revModule, revModule, satModule, satModule,   dynModule };

struct KnobPlacement
{
    int knob;
    int x; // 0 ends a shorter row
};
using SmallKnobRow = std::array<KnobPlacement, 8>;
using BigKnobRow = std::array<KnobPlacement, 3>;

// Left to right, per view. Knobs are numbered in the editor's order: 0 gate, 1 smack, 2 loud, 3 width,
// 4 air, 5 smart, 6 live, 7 flavour, 8 beast, 9 sub, 10 detail.
constexpr SmallKnobRow compactMixSmallKnobs { { { 0, 320 }, { 1, 480 }, { 2, 640 }, { 7, 800 } } };
constexpr SmallKnobRow compactLiveSmallKnobs { { { 0, 320 }, { 1, 480 }, { 2, 640 }, { 5, 800 } } };
constexpr SmallKnobRow advancedMixSmallKnobs {
    { { 0, 116 }, { 1, 264 }, { 2, 412 }, { 3, 560 }, { 4, 708 }, { 6, 856 }, { 7, 1004 } }
};
constexpr SmallKnobRow advancedLiveSmallKnobs {
    { { 0, 112 }, { 1, 240 }, { 2, 368 }, { 3, 496 }, { 4, 624 }, { 5, 752 }, { 6, 880 }, { 7, 1008 } }
};
constexpr BigKnobRow mixBigKnobs { { { 9, 375 }, { 10, 665 } } };
constexpr BigKnobRow compactLiveBigKnobs { { { 8, 375 }, { 10, 665 } } };
constexpr BigKnobRow advancedLiveBigKnobs { { { 8, 230 }, { 9, 520 }, { 10, 810 } } };

// Small knobs 120 x 128 at y 348, big knobs 200 x 212 at y 574; an on-switch 52 x 22 sits under each.
constexpr int smallKnobY = 348, bigKnobY = 574, smallSwitchY = 478, bigSwitchY = 788;

void placeKnob (juce::Component& knob, juce::Component& onSwitch, int x, bool big)
{
    knob.setBounds (big ? Rect (x, bigKnobY, 200, 212) : Rect (x, smallKnobY, 120, 128));
    onSwitch.setBounds (big ? Rect (x + 74, bigSwitchY, 52, 22) : Rect (x + 34, smallSwitchY, 52, 22));
}
} // namespace

//==============================================================================
bool QuorinProcessorEditor::isOn (Param parameter) const
{
    return audioProcessor.parameters.getRawParameterValue (parameterId (parameter))->load() > 0.5f;
}

QuorinProcessorEditor::ViewState QuorinProcessorEditor::readViewState() const
{
    ViewState state;
    state.guide = showGuide;
    state.advanced = advancedView && ! showGuide;
    state.page = state.advanced ? focusModule : FocusModule::None;
    state.home = ! showGuide && (! advancedView || state.page == FocusModule::None);
    state.mix = audioProcessor.parameters.getRawParameterValue ("chainmode")->load() < 0.5f;
    state.colourModulesEnabled = ! (isOn (Param::wildcardmode) && ! isOn (Param::wildcardhybridfx));
    state.transientOn = isOn (Param::punchknobon);
    state.adaptiveHitOn = isOn (Param::adaptivehit);

    constexpr std::array<Param, numModules> moduleParams { Param::eqon,     Param::dynamicson, Param::saturationon,
                                                           Param::reverbon, Param::widthon,    Param::limiteron };
    for (size_t m = 0; m < moduleParams.size(); ++m)
        state.moduleOn[m] = isOn (moduleParams[m]) && state.colourModulesEnabled;

    constexpr std::array<Param, numKnobs> knobSwitches { Param::gateknobon,  Param::smackknobon,   Param::loudknobon,
                                                         Param::widthknobon, Param::airknobon,     Param::smartknobon,
                                                         Param::liveknobon,  Param::flavourknobon, Param::beastknobon,
                                                         Param::subknobon,   Param::detailknobon };
    for (size_t k = 0; k < knobSwitches.size(); ++k)
        state.knobOn[k] = isOn (knobSwitches[k]);

    state.advancedChosen = advancedView;
    state.changelog = showChangelog;
    state.profileSlotStored = audioProcessor.hasUserProfile (selectedProfileSlot());
    return state;
}

bool QuorinProcessorEditor::ViewState::operator== (const ViewState& other) const
{
    return guide == other.guide && advanced == other.advanced && home == other.home && mix == other.mix
           && page == other.page && colourModulesEnabled == other.colourModulesEnabled
           && transientOn == other.transientOn && adaptiveHitOn == other.adaptiveHitOn && moduleOn == other.moduleOn
           && knobOn == other.knobOn && advancedChosen == other.advancedChosen && changelog == other.changelog
           && profileSlotStored == other.profileSlotStored;
}

//==============================================================================
void QuorinProcessorEditor::setFocusModule (FocusModule module)
{
    focusModule = (module == FocusModule::None || focusModule == module) ? FocusModule::None : module;
    updateControlVisibility();
}

void QuorinProcessorEditor::wireViewButtons()
{
    showAdvancedButton.onClick = [this]
    {
        juce::MessageManager::callAsync (
            [editor = safeThis]
            {
                if (editor == nullptr)
                    return;
                editor->advancedView = editor->showAdvancedButton.getToggleState();
                editor->focusModule = FocusModule::None;
                editor->updateControlVisibility();
            });
    };

    constexpr std::array<FocusModule, 5> pages { FocusModule::Engine, FocusModule::Output, FocusModule::Eq,
                                                 FocusModule::Reverb, FocusModule::Control };
    for (size_t i = 0; i < pages.size(); ++i)
        pageButtons[i].onClick = [this, page = pages[i]] { setFocusModule (page); };

    infoButton.onClick = [this]
    {
        showGuide = infoButton.getToggleState();
        showChangelog = false;
        updatesButton.setToggleState (false, juce::dontSendNotification);
        updateControlVisibility();
    };

    updatesButton.onClick = [this]
    {
        showChangelog = updatesButton.getToggleState();
        if (showChangelog || showGuide)
        {
            showGuide = showChangelog;
            infoButton.setToggleState (showGuide, juce::dontSendNotification);
        }
        updateControlVisibility();
        repaint();
    };

    calibrationInfoButton.onClick = [this]
    {
        showCalibrationPanel = calibrationInfoButton.getToggleState();
        repaint();
    };
}

//==============================================================================
void QuorinProcessorEditor::updateControlVisibility()
{
    const auto state = readViewState();
    laidOutView = state;
    applyVisibility (state);
    applyEnablement (state);
    applyTextsAndToggles (state);
    applyZOrder (state);
    refreshWorkspaceAccentColours();
    resized();
    repaint();
}

bool QuorinProcessorEditor::isKnobVisible (Knob knob, const ViewState& state) const
{
    const bool advancedKnobArea = state.advanced && state.page == FocusModule::None;
    switch (knob)
    {
        case gateKnob:
        case smackKnob:
        case loudKnob:
        case detailKnob:
            return state.home;
        case smartKnob:
        case beastKnob:
            return state.home && ! state.mix;
        case widthKnob:
        case airKnob:
        case liveKnob:
            return advancedKnobArea;
        case flavourKnob:
        case subKnob:
            return advancedKnobArea || (! advancedView && ! state.guide && state.mix);
        case numKnobs:
            break;
    }
    return false;
}

void QuorinProcessorEditor::applyVisibility (const ViewState& state)
{
    for (auto* button : { &showAdvancedButton, &infoButton, &updatesButton })
        button->setVisible (true);
    for (auto& button : pageButtons)
        button.setVisible (state.advanced);

    for (int k = 0; k < numKnobs; ++k)
    {
        const bool visible = isKnobVisible (static_cast<Knob> (k), state);
        knobs[static_cast<size_t> (k)].setVisible (visible);
        knobOnSwitches[static_cast<size_t> (k)].setVisible (visible);
    }

    const bool liveHome = state.home && ! state.mix;
    for (auto* control :
         std::initializer_list<juce::Component*> { &calibrateButton, &calibrationInfoButton, &liveTightButton })
        control->setVisible (liveHome);
    analyzeButton.setVisible ((state.home && state.mix) || state.page == FocusModule::Engine);
    factoryPresetCombo.setVisible (state.home && state.mix);
    mixMasterButton.setVisible (state.home);

    updatePanelVisibility();
}

void QuorinProcessorEditor::collectPageControls()
{
    auto add = [this] (FocusModule page, std::initializer_list<juce::Component*> more)
    {
        for (auto* control : more)
            pageControlLists[static_cast<size_t> (page)].push_back (control);
    };

    // The Engine page lists its combo boxes in construction order, so the chain-mode selector lies
    // above the output-target one.
    add (FocusModule::Engine, { &limiterSpeedCombo, &responseCombo, &outputTargetCombo, &chainModeCombo,
                                &beastModeCombo, &venueCombo, &microphoneCombo, &engineAdaptMix });
    for (auto& notch : notchSliders)
        add (FocusModule::Engine, { &notch });

    add (FocusModule::Output,
         { &profileCombo, &saveButton, &loadButton, &presetNameBox, &renameButton, &inputGain, &autoGainToggle,
           &matchToggle, &outputGain, &padCombo, &listeningCombo, &limiterCeiling });

    add (FocusModule::Eq, { &eqSliders[0], &eqSliders[1], &eqSliders[2], &linearPhaseToggle });

    for (auto* column : { &liveColumn, &flavourColumn })
        for (auto* slider : column->rows())
            add (FocusModule::Reverb, { slider });

    add (FocusModule::Control,
         { &bypassToggle,       &voiceModeToggle,       &wildcardToggle,   &wildcardHybridToggle, &cuppedToggle,
           &popFilterToggle,    &learnPercussionToggle, &learnButtons[0],  &learnButtons[1],      &learnButtons[2],
           &clearLearnedButton, &transientOnSwitch,     &transientHeader,  &transientAttack,      &transientSustain,
           &transientBand,      &transientSnap,         &transientCeiling, &transientSmooth,      &pathHeader,
           &chainBlendHeader });
    for (auto& label : transientRowLabels)
        add (FocusModule::Control, { &label });
    for (size_t k = 0; k < pathSliders.size(); ++k)
        add (FocusModule::Control, { &pathRowLabels[k], &pathSliders[k] });
    for (size_t m = 0; m < chainBlendSliders.size(); ++m)
        add (FocusModule::Control, { &moduleSwitches[m], &chainBlendRowLabels[m], &chainBlendSliders[m] });
}

void QuorinProcessorEditor::updatePanelVisibility()
{
    const auto state = readViewState();
    for (auto page :
         { FocusModule::Engine, FocusModule::Output, FocusModule::Eq, FocusModule::Reverb, FocusModule::Control })
    {
        const bool open = state.page == page;
        for (auto* control : pageControlLists[static_cast<size_t> (page)])
        {
            control->setVisible (open);
            if (open)
                control->toFront (false);
        }
    }
    // MATCH assists toward the output target, which only the mix chain has.
    matchToggle.setVisible (state.page == FocusModule::Output && state.mix);
    if (state.page == FocusModule::Engine)
        analyzeButton.toFront (false);
}

//==============================================================================
void QuorinProcessorEditor::applyEnablement (const ViewState& state)
{
    const bool colour = state.colourModulesEnabled;
    const auto& moduleOn = state.moduleOn;

    for (size_t k = 0; k < knobs.size(); ++k)
    {
        const bool enabled = state.knobOn[k] && moduleOn[static_cast<size_t> (knobModule[k])];
        knobs[k].setEnabled (enabled);
        knobs[k].setColour (juce::Slider::textBoxTextColourId,
                            juce::Colour (enabled ? enabledKnobText : disabledKnobText));
    }

    for (size_t m = 0; m < chainBlendSliders.size(); ++m)
    {
        chainBlendSliders[m].setEnabled (moduleOn[m]);
        chainBlendRowLabels[m].setEnabled (colour);
    }
    chainBlendHeader.setEnabled (colour);

    for (auto* slider : std::initializer_list<juce::Slider*> { &transientAttack, &transientSustain, &transientBand,
                                                               &transientSnap, &transientCeiling, &transientSmooth })
        slider->setEnabled (colour && state.transientOn);
    pathSliders[3].setEnabled (colour && state.adaptiveHitOn);

    for (auto* control : std::initializer_list<juce::Component*> {
             &transientOnSwitch, &pathSliders[0], &pathSliders[2], &moduleSwitches[satModule],
             &moduleSwitches[widthModule], &learnPercussionToggle, &learnButtons[0], &learnButtons[1], &learnButtons[2],
             &clearLearnedButton, &cuppedToggle, &popFilterToggle, &engineAdaptMix, &notchSliders[0], &notchSliders[1],
             &notchSliders[2], &inputGain, &autoGainToggle, &matchToggle })
        control->setEnabled (colour);

    for (auto& slider : eqSliders)
        slider.setEnabled (moduleOn[eqModule]);
    linearPhaseToggle.setEnabled (moduleOn[eqModule] && ! state.mix);

    for (auto* column : { &liveColumn, &flavourColumn })
        for (auto* slider : column->rows())
            slider->setEnabled (moduleOn[revModule]);

    loadButton.setEnabled (state.profileSlotStored);

    for (auto* control : controls)
        control->setAlpha (! control->isVisible() ? 0.0f : control->isEnabled() ? 1.0f : disabledAlpha);
    // An empty slot has nothing to load: greyed a little less than a switched-off module.
    if (loadButton.isVisible() && ! loadButton.isEnabled())
        loadButton.setAlpha (emptySlotAlpha);
}

void QuorinProcessorEditor::applyTextsAndToggles (const ViewState& state)
{
    showAdvancedButton.setButtonText (advancedView ? "HIDE ADVANCED" : "SHOW ADVANCED");
    constexpr std::array<FocusModule, 5> pages { FocusModule::Engine, FocusModule::Output, FocusModule::Eq,
                                                 FocusModule::Reverb, FocusModule::Control };
    for (size_t i = 0; i < pages.size(); ++i)
        pageButtons[i].setToggleState (state.page == pages[i], juce::dontSendNotification);
    infoButton.setButtonText (showGuide ? "X" : "?");
    updatesButton.setToggleState (showChangelog, juce::dontSendNotification);
}

void QuorinProcessorEditor::applyZOrder (const ViewState& state)
{
    showAdvancedButton.toFront (false);
    for (auto& button : pageButtons)
        button.toFront (false);
    for (auto* button : { &calibrationInfoButton, &analyzeButton, &updatesButton, &infoButton })
        button->toFront (false);
    for (size_t k = 0; k < knobOnSwitches.size(); ++k)
    {
        if (k == smackKnob + 1)
            transientOnSwitch.toFront (false);
        knobOnSwitches[k].toFront (false);
    }
    if (state.advanced)
        for (auto& moduleSwitch : moduleSwitches)
            moduleSwitch.toFront (false);
}

void QuorinProcessorEditor::refreshWorkspaceAccentColours()
{
    for (auto* combo : { &limiterSpeedCombo, &responseCombo, &outputTargetCombo, &chainModeCombo, &beastModeCombo,
                         &venueCombo, &microphoneCombo, &profileCombo, &listeningCombo, &padCombo })
    {
        combo->setColour (juce::ComboBox::outlineColourId, juce::Colour (0xff37414d));
        combo->setColour (juce::ComboBox::focusedOutlineColourId, juce::Colour (0xff37c4ff));
    }
    presetNameBox.setColour (juce::TextEditor::outlineColourId, juce::Colour (0xff37414d));
    presetNameBox.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colour (0xfff15a00));
    for (auto* button : { &mixMasterButton, &updatesButton })
    {
        button->setColour (juce::TextButton::textColourOffId, juce::Colour (0xff37c4ff));
        button->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff37c4ff));
    }
}

//==============================================================================
void QuorinProcessorEditor::resized()
{
    const auto state = readViewState();
    layoutHeader();
    layoutFooter (state);
    layoutKnobArea (state);
    layoutEnginePage();
    layoutOutputPage();
    layoutEqPage();
    layoutReverbPage();
    layoutControlPage();
    updateUiScaleAndTransform();
}

void QuorinProcessorEditor::layoutHeader()
{
    showAdvancedButton.setBounds (34, 18, 156, 28);
    for (size_t i = 0; i < 4; ++i)
        pageButtons[i].setBounds (346 + 106 * static_cast<int> (i), 20, 98, 24);
    pageButtons[4].setBounds (770, 20, 124, 24);
    updatesButton.setBounds (1064, 18, 90, 24);
    infoButton.setBounds (1158, 18, 54, 24);
}

void QuorinProcessorEditor::layoutFooter (const ViewState& state)
{
    calibrateButton.setBounds (34, 764, 150, 34);
    calibrationInfoButton.setBounds (190, 764, 34, 34);
    factoryPresetCombo.setBounds (190, 764, 220, 34);
    mixMasterButton.setBounds (1090, 764, 150, 34);
    liveTightButton.setBounds (1090, 722, 150, 34);
    analyzeButton.setBounds (state.page == FocusModule::Engine ? Rect (494, 492, 360, 28) : Rect (34, 764, 150, 34));
}

void QuorinProcessorEditor::layoutKnobArea (const ViewState& state)
{
    const bool advanced = advancedView;
    const auto& small = advanced ? (state.mix ? advancedMixSmallKnobs : advancedLiveSmallKnobs)
                                 : (state.mix ? compactMixSmallKnobs : compactLiveSmallKnobs);
    const auto& big = advanced && ! state.mix ? advancedLiveBigKnobs : state.mix ? mixBigKnobs : compactLiveBigKnobs;
    for (const auto& placement : small)
        if (placement.x > 0)
            placeKnob (knobs[static_cast<size_t> (placement.knob)],
                       knobOnSwitches[static_cast<size_t> (placement.knob)], placement.x, false);
    for (const auto& placement : big)
        if (placement.x > 0)
            placeKnob (knobs[static_cast<size_t> (placement.knob)],
                       knobOnSwitches[static_cast<size_t> (placement.knob)], placement.x, true);
}

void QuorinProcessorEditor::layoutEnginePage()
{
    const std::array<juce::Component*, 6> combos { &limiterSpeedCombo, &responseCombo, &outputTargetCombo,
                                                   &beastModeCombo,    &venueCombo,    &microphoneCombo };
    for (size_t i = 0; i < combos.size(); ++i)
        combos[i]->setBounds (494, 118 + 38 * static_cast<int> (i), 360, 30);
    // Beside the TARGET row rather than on top of the output-target combo, so both stay reachable.
    chainModeCombo.setBounds (874, 194, 300, 30);
    for (size_t i = 0; i < notchSliders.size(); ++i)
        notchSliders[i].setBounds (494, 342 + 30 * static_cast<int> (i), 360, 30);
    engineAdaptMix.setBounds (494, 434, 360, 22);
}

void QuorinProcessorEditor::layoutOutputPage()
{
    profileCombo.setBounds (494, 118, 160, 30);
    saveButton.setBounds (660, 118, 58, 30);
    loadButton.setBounds (722, 118, 58, 30);
    presetNameBox.setBounds (494, 156, 286, 28);
    renameButton.setBounds (786, 156, 68, 28);
    inputGain.setBounds (494, 194, 360, 28);
    autoGainToggle.setBounds (494, 232, 172, 28);
    matchToggle.setBounds (674, 232, 180, 28);
    outputGain.setBounds (494, 270, 360, 28);
    padCombo.setBounds (494, 308, 360, 28);
    listeningCombo.setBounds (494, 346, 360, 28);
    limiterCeiling.setBounds (494, 384, 360, 28);
}

void QuorinProcessorEditor::layoutEqPage()
{
    linearPhaseToggle.setBounds (674, 118, 180, 24);
    for (size_t i = 0; i < eqSliders.size(); ++i)
        eqSliders[i].setBounds (494, 158 + 38 * static_cast<int> (i), 360, 28);
}

void QuorinProcessorEditor::layoutReverbPage()
{
    for (auto* column : { &liveColumn, &flavourColumn })
    {
        const int x = column == &liveColumn ? 494 : 748;
        const auto rows = column->rows();
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i]->setBounds (x, 128 + 38 * static_cast<int> (i), 230, 28);
    }
}

void QuorinProcessorEditor::layoutControlPage()
{
    const std::array<juce::Component*, 4> topRow { &bypassToggle, &voiceModeToggle, &wildcardToggle,
                                                   &wildcardHybridToggle };
    for (size_t i = 0; i < topRow.size(); ++i)
        topRow[i]->setBounds (94 + 280 * static_cast<int> (i), 146, 272, 26);
    cuppedToggle.setBounds (94, 180, 552, 26);
    popFilterToggle.setBounds (654, 180, 552, 26);
    const std::array<juce::Component*, 5> learnRow { &learnPercussionToggle, &learnButtons[0], &learnButtons[1],
                                                     &learnButtons[2], &clearLearnedButton };
    for (size_t i = 0; i < learnRow.size(); ++i)
        learnRow[i]->setBounds (94 + 224 * static_cast<int> (i), 214, 216, 26);

    transientHeader.setBounds (94, 254, 560, 20);
    transientOnSwitch.setBounds (308, 252, 72, 26);
    const std::array<juce::Slider*, 6> transientRows { &transientAttack, &transientSustain, &transientBand,
                                                       &transientSnap,   &transientCeiling, &transientSmooth };
    for (size_t i = 0; i < transientRows.size(); ++i)
    {
        const int y = 278 + 29 * static_cast<int> (i);
        transientRowLabels[i].setBounds (94, y, 72, 28);
        transientRows[i]->setBounds (174, y, 962, 28);
    }

    pathHeader.setBounds (94, 453, 440, 20);
    for (size_t k = 0; k < pathSliders.size(); ++k)
    {
        const int y = 475 + 29 * static_cast<int> (k);
        pathRowLabels[k].setBounds (94, y, 72, 28);
        pathSliders[k].setBounds (174, y, 962, 28);
    }

    chainBlendHeader.setBounds (94, 611, 440, 20);
    for (size_t k = 0; k < chainBlendSliders.size(); ++k)
    {
        // The module switches stand in the label column, so the row names take no room.
        moduleSwitches[k].setBounds (94, 637 + 29 * static_cast<int> (k), 70, 24);
        chainBlendSliders[k].setBounds (176, 635 + 29 * static_cast<int> (k), 960, 28);
        chainBlendRowLabels[k].setBounds ({});
    }
}
