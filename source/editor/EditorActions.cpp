// The editor over time: the click handlers of the action buttons with their status messages, and
// the 60 Hz timer that mirrors the processor's meters, captures and percussion learning.

#include "editor/EditorTexts.h"
#include "editor/PluginEditor.h"

namespace
{
constexpr float visualFollow = 0.17f;
constexpr float lampDecay = 0.86f;
constexpr float lampConfidence = 0.24f;
} // namespace

void QuorinProcessorEditor::setUpTooltips()
{
    for (const auto& tooltip : controlTooltips)
        if (auto* control = dynamic_cast<juce::SettableTooltipClient*> (findChildWithID (tooltip.componentId)))
            control->setTooltip (juce::String::fromUTF8 (tooltip.text));
}

//==============================================================================
void QuorinProcessorEditor::wireActionButtons()
{
    calibrateButton.onClick = [this] { audioProcessor.calibrateRequested.exchange (true); };
    analyzeButton.onClick = [this] { audioProcessor.analyzeRequested.exchange (true); };
    for (size_t i = 0; i < learnButtons.size(); ++i)
        learnButtons[i].onClick = [this, hitClass = static_cast<int> (i) + 1]
        { audioProcessor.requestAdaptiveHitLearn (hitClass); };
    clearLearnedButton.onClick = [this] { audioProcessor.clearAdaptiveHitLearnedModel(); };

    mixMasterButton.onClick = [this]
    {
        audioProcessor.loadMixCleanPreset();
        showStatus ("Loaded Mix Clean preset");
    };
    factoryPresetCombo.onChange = [this] { loadFactoryPresetFromCombo(); };
    liveTightButton.onClick = [this]
    {
        audioProcessor.loadBeatboxTightPreset();
        showStatus ("Loaded factory preset: Beatbox Tight");
    };
    wireProfileControls();
}

void QuorinProcessorEditor::wireProfileControls()
{
    saveButton.onClick = [this]
    {
        const auto slot = selectedProfileSlot();
        audioProcessor.saveUserProfile (slot);
        showStatus ("Saved to " + audioProcessor.getUserProfileName (slot));
    };
    loadButton.onClick = [this]
    {
        const auto slot = selectedProfileSlot();
        const auto name = audioProcessor.getUserProfileName (slot);
        showStatus (audioProcessor.loadUserProfile (slot) ? "Loaded " + name : name + " is empty");
    };
    renameButton.onClick = [this] { renameSelectedProfile(); };
    presetNameBox.onReturnKey = [this] { renameSelectedProfile(); };
    presetNameBox.onFocusLost = [this] { renameSelectedProfile(); };
    profileCombo.onChange = [this]
    { presetNameBox.setText (audioProcessor.getUserProfileName (selectedProfileSlot()), false); };
}

void QuorinProcessorEditor::loadFactoryPresetFromCombo()
{
    switch (factoryPresetCombo.getSelectedId())
    {
        case 2:
            audioProcessor.loadMixYouTubePunchPreset();
            break;
        case 3:
            audioProcessor.loadMixStreamingSafePreset();
            break;
        case 4:
            audioProcessor.loadMixMinimalPreset();
            break;
        default:
            audioProcessor.loadMixCleanPreset();
            break;
    }
    showStatus ("Loaded " + factoryPresetCombo.getText());
}

void QuorinProcessorEditor::renameSelectedProfile()
{
    const auto slot = selectedProfileSlot();
    audioProcessor.setUserProfileName (slot, presetNameBox.getText());
    const auto name = audioProcessor.getUserProfileName (slot);
    presetNameBox.setText (name, false);
    showStatus ("Renamed slot to " + name);
}

int QuorinProcessorEditor::selectedProfileSlot() const { return juce::jmax (0, profileCombo.getSelectedId() - 1); }

void QuorinProcessorEditor::showStatus (const juce::String& message)
{
    statusMessage = message;
    statusTicks = statusLifetimeTicks;
    repaint();
}

float QuorinProcessorEditor::getHitLamp (int hitClass) const
{
    switch (hitClass)
    {
        case 1:
            return kickFlash;
        case 2:
            return snareFlash;
        case 3:
            return hatFlash;
        default:
            return 0.0f;
    }
}

//==============================================================================
void QuorinProcessorEditor::timerCallback()
{
    advanceVisualizer();
    syncMicrophoneCombo();
    syncProfileControls();
    if (statusTicks > 0)
        --statusTicks;
    updateLearnButtons();
    updateHitLamps();
    updateCaptureButtons();
    // A relayout moves and repaints every control; only a changed view needs one. Otherwise only
    // the drawn areas that follow the processor are redrawn.
    if (readViewState() != laidOutView)
        updateControlVisibility();
    else
        repaintChangingAreas();
}

void QuorinProcessorEditor::repaintChangingAreas()
{
    // The wave's band: baseline 205 with amplitude and ripple up to 32, plus the stroke.
    const auto waveTop = juce::roundToInt (static_cast<float> (uiOffsetY) + 169.0f * uiScale) - 2;
    const auto waveBottom = juce::roundToInt (static_cast<float> (uiOffsetY) + 241.0f * uiScale) + 2;
    repaint (0, waveTop, getWidth(), waveBottom - waveTop);

    const auto& view = laidOutView;
    if (view.home && view.mix)
        repaintCanvasArea ({ 892, 78, 326, 54 }); // loudness meter
    if (view.advanced && view.page == FocusModule::None)
        repaintCanvasArea ({ 872, 742, 322, 24 }); // status toast
    if (view.page == FocusModule::Engine)
        repaintCanvasArea ({ 56, 500, 1128, 68 }); // ANALYZE report
    repaintCanvasArea ({ 34, 662, 346, 94 });      // calibration panel, which a capture shows in any view
}

void QuorinProcessorEditor::repaintCanvasArea (juce::Rectangle<int> canvasArea)
{
    repaint (canvasArea.toFloat().transformedBy (canvasTransform()).getSmallestIntegerContainer().expanded (2));
}

void QuorinProcessorEditor::advanceVisualizer()
{
    const auto level = (audioProcessor.outputPeakLeft.load() + audioProcessor.outputPeakRight.load()) * 0.5f;
    visualLevel += (level - visualLevel) * visualFollow;
    visualPhase += 0.18f * visualLevel + 0.036f;
    if (visualPhase > juce::MathConstants<float>::twoPi)
        visualPhase -= juce::MathConstants<float>::twoPi;
}

void QuorinProcessorEditor::syncProfileControls()
{
    // The combo shows its selection by text, so a renamed selected item is selected again.
    const auto selectedId = profileCombo.getSelectedId();
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
    {
        const auto name = audioProcessor.getUserProfileName (slot);
        if (profileCombo.getItemText (slot) != name)
            profileCombo.changeItemText (slot + 1, name);
    }
    profileCombo.setSelectedId (selectedId, juce::dontSendNotification);
    // Never overwrite what the user is typing.
    if (! presetNameBox.hasKeyboardFocus (true))
        presetNameBox.setText (audioProcessor.getUserProfileName (selectedProfileSlot()), false);
}

void QuorinProcessorEditor::updateLearnButtons()
{
    const auto learningClass = audioProcessor.getAdaptiveHitLearningClass();
    const auto progress = audioProcessor.getAdaptiveHitLearningProgress();
    const auto mask = audioProcessor.getAdaptiveHitLearnedMask();
    for (size_t i = 0; i < learnButtons.size(); ++i)
        learnButtons[i].setButtonText (learnButtonText (static_cast<int> (i) + 1, learningClass, progress, mask));
    clearLearnedButton.setButtonText ("CLEAR");

    // A run that ended without hearing a single hit installed nothing: say so rather than look done.
    if (learningClassShown != 0 && learningClass == 0 && audioProcessor.getAdaptiveHitLearningHits() == 0)
        showStatus ("No hits heard - nothing learned");
    learningClassShown = learningClass;
}

void QuorinProcessorEditor::updateHitLamps()
{
    const auto hitClass =
        lampHitClass (audioProcessor.getAdaptiveHitLearningClass(), audioProcessor.getAdaptiveHitLabel());
    for (auto* lamp : { &kickFlash, &snareFlash, &hatFlash })
        *lamp = juce::jmax (0.0f, *lamp * lampDecay);
    if (audioProcessor.adaptiveHitConfidence.load() > lampConfidence)
    {
        if (hitClass == 1)
            kickFlash = 1.0f;
        else if (hitClass == 2)
            snareFlash = 1.0f;
        else if (hitClass == 3)
            hatFlash = 1.0f;
    }
    learnStatusText = learnStatusLine (audioProcessor.calibrating.load(), hitClass);
}

void QuorinProcessorEditor::updateCaptureButtons()
{
    calibrateButton.setToggleState (audioProcessor.calibrating.load(), juce::dontSendNotification);
    calibrateButton.setButtonText ("CALIBRATE");
    const auto analyzing = audioProcessor.analyzing.load();
    analyzeButton.setToggleState (analyzing, juce::dontSendNotification);
    analyzeButton.setButtonText (analyzeButtonText (analyzing, audioProcessor.analyzeProgress.load()));
}
