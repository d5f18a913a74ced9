#pragma once

#include "editor/EditorSliders.h"
#include "processor/PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <vector>

/** The plug-in window: every control on a fixed 1240 x 840 canvas scaled uniformly to the window. */
class QuorinProcessorEditor : public juce::AudioProcessorEditor,
                              public juce::Timer,
                              public juce::AudioProcessorValueTreeState::Listener
{
public:
    /** Rotary and linear sliders. */
    class KnobLookAndFeel : public juce::LookAndFeel_V4
    {
    public:
        void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPosProportional,
                               float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;
        void drawLinearSlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                               float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle,
                               juce::Slider&) override;
    };

    /** Buttons, toggles, labels, combo boxes and menus. */
    class UiLookAndFeel : public juce::LookAndFeel_V4
    {
    public:
        void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                                   bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
        juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
        void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool shouldDrawButtonAsHighlighted,
                               bool shouldDrawButtonAsDown) override;
        juce::Font getLabelFont (juce::Label&) override;
        juce::Font getComboBoxFont (juce::ComboBox&) override;
        juce::Font getPopupMenuFont() override;
    };

    enum class FocusModule
    {
        None = 0,
        Engine = 1,
        Output = 2,
        Eq = 3,
        Reverb = 4,
        Control = 5
    };

    explicit QuorinProcessorEditor (QuorinProcessor&);
    ~QuorinProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;
    void updateUiScaleAndTransform();
    void timerCallback() override;
    void parameterChanged (const juce::String& parameterID, float newValue) override;

    void updateControlVisibility();
    void updatePanelVisibility();
    void setFocusModule (FocusModule module);
    void refreshWorkspaceAccentColours();

    static constexpr int canvasWidth = 1240;
    static constexpr int canvasHeight = 840;
    /** Timer ticks a status message stays on screen, fading as it goes. */
    static constexpr int statusLifetimeTicks = 140;

    // What the timer keeps between ticks, as the window shows it.
    const juce::String& getStatusMessage() const { return statusMessage; }
    int getStatusTicks() const { return statusTicks; }
    /** The hit lamp of a class (1 kick, 2 snare, 3 hi-hat), 1 when lit, fading toward 0. */
    float getHitLamp (int hitClass) const;
    const juce::String& getLearnStatusText() const { return learnStatusText; }
    float getVisualLevel() const { return visualLevel; }

private:
    // Macro knobs, in the order the knob table and the on-switches use.
    enum Knob
    {
        gateKnob,
        smackKnob,
        loudKnob,
        widthKnob,
        airKnob,
        smartKnob,
        liveKnob,
        flavourKnob,
        beastKnob,
        subKnob,
        detailKnob,
        numKnobs
    };
    static constexpr int numModules = 6; // EQ, DYN, SAT, REV, WIDTH, LIM

    /** The view and the parameters that decide what shows and what is live, read once per pass. */
    struct ViewState
    {
        bool guide = false, advanced = false, home = false, mix = true;
        FocusModule page = FocusModule::None;
        bool colourModulesEnabled = true, transientOn = false, adaptiveHitOn = false;
        std::array<bool, numModules> moduleOn {};
        std::array<bool, numKnobs> knobOn {};
        bool advancedChosen = false, changelog = false, profileSlotStored = false;

        bool operator== (const ViewState&) const;
        bool operator!= (const ViewState& other) const { return ! (*this == other); }
    };

    /** The seven Reverb-page sliders of one bus, top to bottom. */
    struct ReverbColumn
    {
        PercentSlider level;
        juce::Slider decay, colour, lowCut, hiCut;
        PercentSlider width, duck;

        std::array<juce::Slider*, 7> rows() { return { &level, &decay, &colour, &lowCut, &hiCut, &width, &duck }; }
    };

    // Construction steps.
    void setUpKnob (juce::Slider&, bool big, const juce::String& parameterId);
    void setUpLinear (juce::Slider&, int boxWidth, int boxHeight, const juce::String& parameterId,
                      const juce::String& componentId);
    void setUpToggle (juce::ToggleButton&, const juce::String& text, const juce::String& parameterId);
    void setUpCombo (juce::ComboBox&, const juce::StringArray& items, const juce::String& parameterId);
    void setUpButton (juce::TextButton&, const juce::String& text, juce::Colour onColour, juce::Colour offTextColour);
    void setUpLabel (juce::Label&, const juce::String& text, bool header);
    void setUpSliders();
    void setUpSwitches();
    void setUpOnSwitches();
    void setUpNotchSliders();
    void setUpPathBlock();
    void setUpTransientBlock();
    void setUpChainBlendBlock();
    void setUpFooterAndHeaderButtons();
    void setUpEngineCombos();
    void setUpMicrophoneCombo();
    void wireViewButtons();
    void fillProfileControls();
    void setUpTooltips();

    // Actions and the timer's steps.
    void wireActionButtons();
    void wireProfileControls();
    void showStatus (const juce::String& message);
    int selectedProfileSlot() const;
    void renameSelectedProfile();
    void loadFactoryPresetFromCombo();
    void advanceVisualizer();
    void syncProfileControls();
    void updateLearnButtons();
    void updateHitLamps();
    void updateCaptureButtons();
    void repaintChangingAreas();
    void repaintCanvasArea (juce::Rectangle<int> canvasArea);

    // Painting, in the order the window is drawn.
    void paintVisualizer (juce::Graphics&) const;
    void paintHeaderAndTitle (juce::Graphics&, const ViewState&) const;
    void paintLufsMeter (juce::Graphics&) const;
    void paintModulePage (juce::Graphics&, FocusModule page) const;
    void paintAnalyzeReport (juce::Graphics&) const;
    void paintKnobCaptions (juce::Graphics&, const ViewState&) const;
    void paintCompactCaptions (juce::Graphics&, const ViewState&) const;
    void paintStatusToast (juce::Graphics&) const;
    void paintCalibrationPanel (juce::Graphics&) const;
    void paintGuide (juce::Graphics&) const;
    juce::AffineTransform canvasTransform() const;
    /** Shows a control and names it: its parameter id, or "button." / "label." and its text. */
    void addControl (juce::Component&, const juce::String& componentId);
    void attach (juce::Slider&, const juce::String& parameterId);

    // Views.
    ViewState readViewState() const;
    bool isOn (Param parameter) const;
    void applyVisibility (const ViewState&);
    void applyEnablement (const ViewState&);
    void applyTextsAndToggles (const ViewState&);
    void applyZOrder (const ViewState&);
    bool isKnobVisible (Knob, const ViewState&) const;
    void collectPageControls();
    void layoutHeader();
    void layoutFooter (const ViewState&);
    void layoutKnobArea (const ViewState&);
    void layoutEnginePage();
    void layoutOutputPage();
    void layoutEqPage();
    void layoutReverbPage();
    void layoutControlPage();
    void syncMicrophoneCombo();

    QuorinProcessor& audioProcessor;

    KnobLookAndFeel knobLookAndFeel;
    UiLookAndFeel uiLookAndFeel;

    // Sliders: knobs, Engine adapt mix, Control page, decibel sliders, Reverb page, feedback notches.
    std::array<PercentSlider, numKnobs> knobs;
    PercentSlider engineAdaptMix;
    PercentSlider transientAttack, transientSustain;
    juce::Slider transientBand;
    PercentSlider transientSnap, transientCeiling, transientSmooth;
    std::array<PercentSlider, 4> pathSliders; // anti-pop, makeup, sub harmonics, adapt
    std::array<PercentSlider, numModules> chainBlendSliders;
    juce::Label transientHeader, pathHeader, chainBlendHeader;
    std::array<juce::Label, 6> transientRowLabels;
    std::array<juce::Label, 4> pathRowLabels;
    std::array<juce::Label, numModules> chainBlendRowLabels;
    juce::ComboBox listeningCombo, padCombo;
    DecibelSlider inputGain;
    std::array<DecibelSlider, 3> eqSliders; // low, mid, high
    DecibelSlider outputGain, limiterCeiling;
    ReverbColumn liveColumn, flavourColumn;

    // Toggles bound to switches.
    juce::ToggleButton bypassToggle, voiceModeToggle, wildcardToggle, wildcardHybridToggle, cuppedToggle,
        popFilterToggle, learnPercussionToggle, autoGainToggle, matchToggle, linearPhaseToggle;
    std::array<juce::ToggleButton, numModules> moduleSwitches;
    std::array<juce::ToggleButton, numKnobs> knobOnSwitches;
    juce::ToggleButton transientOnSwitch; // the transient shaper's "ON", on the Control page

    // Action, view and page buttons.
    juce::TextButton showAdvancedButton;
    std::array<juce::TextButton, 5> pageButtons; // ENGINE, OUTPUT, EQ, REVERB, CONTROL
    juce::TextButton calibrateButton, analyzeButton, calibrationInfoButton;
    std::array<juce::TextButton, 3> learnButtons; // kick, snare, hi-hat
    juce::TextButton clearLearnedButton, mixMasterButton, liveTightButton, saveButton, loadButton, renameButton,
        infoButton, updatesButton;

    // Combo boxes of presets, profiles and the Engine page.
    juce::ComboBox factoryPresetCombo, profileCombo;
    juce::ComboBox limiterSpeedCombo, responseCombo, outputTargetCombo, chainModeCombo, beastModeCombo, venueCombo,
        microphoneCombo;
    juce::TextEditor presetNameBox;
    std::array<FeedbackNotchSlider, 3> notchSliders;

    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>> sliderAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment>> buttonAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment>> comboAttachments;

    juce::TooltipWindow tooltipWindow { this };

    // Made on the message thread, copied by the listener on any thread.
    juce::Component::SafePointer<QuorinProcessorEditor> safeThis { this };

    // Every control in construction order: the canvas transform and the alpha pass reach them all.
    std::vector<juce::Component*> controls;
    // The controls of each module page, indexed by FocusModule (None holds none).
    std::array<std::vector<juce::Component*>, 6> pageControlLists;

    float uiScale = 1.0f;
    int uiOffsetX = 0, uiOffsetY = 0;
    bool showGuide = false;
    bool showChangelog = false;
    bool showCalibrationPanel = false;
    bool advancedView = false;
    FocusModule focusModule = FocusModule::None;

    // The view the controls were last laid out for; the timer relayouts only when it changes.
    ViewState laidOutView;

    // Kept by the timer.
    float visualLevel = 0.0f, visualPhase = 0.0f;
    juce::String statusMessage;
    int statusTicks = 0;
    juce::String learnStatusText;
    float kickFlash = 0.0f, snareFlash = 0.0f, hatFlash = 0.0f;
    int learningClassShown = 0; // the learning run the buttons showed at the last tick

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuorinProcessorEditor)
};
