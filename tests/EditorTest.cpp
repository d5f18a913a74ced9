#include "AllocationCounter.h"
#include "editor/EditorSliders.h"
#include "editor/EditorTexts.h"
#include "editor/PluginEditor.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <set>
#include <thread>

void createWindowManagerAtoms(); // tests/hosting/BareXServer.cpp

namespace juce
{
// The framework's own step of its message loop (the one its dispatch loop calls): runs one pending
// message, or returns false when none is waiting.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
/** One turn of the message loop: everything already posted runs, nothing is waited for. */
void runPendingMessages()
{
    for (int i = 0; i < 1000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}

/** Runs the message loop for a while, so that the editor's 60 Hz timer ticks a few times. */
void runMessagesFor (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (milliseconds);
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

/** Runs the message loop until the condition holds or half a second has passed. */
template <typename Condition>
bool runMessagesUntil (Condition condition)
{
    const auto end = juce::Time::getMillisecondCounter() + 500;
    while (! condition() && juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    return condition();
}

using Editor = QuorinProcessorEditor;

/** Closes the window as a host does: the processor hears of it before the editor goes. */
struct CloseAsHost
{
    void operator() (Editor* editor) const
    {
        editor->processor.editorBeingDeleted (editor);
        delete editor;
    }
};
using HostedEditor = std::unique_ptr<Editor, CloseAsHost>;

HostedEditor openEditor (QuorinProcessor& processor)
{
    HostedEditor editor (dynamic_cast<Editor*> (processor.createEditorIfNeeded()));
    runPendingMessages();
    return editor;
}

class EditorTest : public testing::Test
{
protected:
    QuorinProcessor processor;
    HostedEditor editor = openEditor (processor);

    juce::Component* find (const juce::String& id) const { return editor->findChildWithID (id); }

    template <typename Control>
    Control& control (const juce::String& id) const
    {
        auto* found = dynamic_cast<Control*> (find (id));
        if (found == nullptr)
            throw std::runtime_error ("no control " + id.toStdString() + " of the expected class");
        return *found;
    }

    juce::RangedAudioParameter& parameter (const juce::String& id) const
    {
        return *processor.parameters.getParameter (id);
    }

    void setParameter (const juce::String& id, float realValue) const
    {
        auto& p = parameter (id);
        p.setValueNotifyingHost (p.convertTo0to1 (realValue));
    }

    float realValue (const juce::String& id) const { return processor.parameters.getRawParameterValue (id)->load(); }

    void click (const juce::String& id) const
    {
        control<juce::Button> (id).triggerClick();
        runPendingMessages();
    }

    std::set<juce::String> visibleControls() const
    {
        std::set<juce::String> ids;
        for (auto* child : editor->getChildren())
            if (child->isVisible() && child->getComponentID().isNotEmpty())
                ids.insert (child->getComponentID());
        return ids;
    }
};

//==============================================================================
// Slider text conversions, by hand-worked cases.
struct TextCase
{
    double value;
    const char* text;
};

TEST (EditorSliders, PercentShowsWholePercentTiesToEven)
{
    PercentSlider slider;
    for (const auto& c : { TextCase { 0.004, "0%" }, TextCase { 0.006, "1%" }, TextCase { 0.125, "12%" },
                           TextCase { 0.135, "14%" }, TextCase { 1.2, "100%" }, TextCase { -0.5, "0%" } })
        EXPECT_EQ (slider.getTextFromValue (c.value), c.text) << c.value;
}

TEST (EditorSliders, PercentParsesUpToThePercentSign)
{
    PercentSlider slider;
    for (const auto& c : { TextCase { 0.55, "55%" }, TextCase { 0.55, "55" }, TextCase { 1.0, "150%" },
                           TextCase { 0.0, "-3%" }, TextCase { 0.125, "12.5 %" } })
        EXPECT_DOUBLE_EQ (slider.getValueFromText (c.text), c.value) << c.text;
}

TEST (EditorSliders, DecibelShowsOneDecimal)
{
    DecibelSlider slider;
    for (const auto& c : { TextCase { -0.04, "0.0 dB" }, TextCase { 0.049, "0.0 dB" }, TextCase { -6.0, "-6.0 dB" },
                           TextCase { 3.5, "3.5 dB" }, TextCase { 12.0, "12.0 dB" } })
        EXPECT_EQ (slider.getTextFromValue (c.value), c.text) << c.value;
}

TEST (EditorSliders, FeedbackNotchShowsItsLabels)
{
    FeedbackNotchSlider slider;
    for (const auto& c : { TextCase { 0.0, "Off" }, TextCase { 9.0, "1.0 kHz" }, TextCase { 18.4, "8.0 kHz" },
                           TextCase { 25.0, "8.0 kHz" }, TextCase { -2.0, "Off" }, TextCase { 1.5, "200 Hz" } })
        EXPECT_EQ (slider.getTextFromValue (c.value), c.text) << c.value;
    EXPECT_EQ (slider.getMaximum(), 18.0);
    EXPECT_EQ (slider.getInterval(), 1.0);
    EXPECT_EQ (slider.getDoubleClickReturnValue(), 0.0);
}

TEST (EditorSliders, FeedbackNotchParsesLabelsOffAndHertz)
{
    FeedbackNotchSlider slider;
    for (const auto& c :
         { TextCase { 0, "OFF" }, TextCase { 0, "" }, TextCase { 0, "  off  " }, TextCase { 10, "1.25 KHZ" },
           TextCase { 7, "640" }, TextCase { 7, "700" }, TextCase { 1, "180" }, TextCase { 0, "0" },
           TextCase { 1, "2k" }, TextCase { 18, "9000 Hz" } })
        EXPECT_EQ (slider.getValueFromText (c.text), c.value) << '"' << c.text << '"';
}

//==============================================================================
// The canvas scale: uniform, centred, never below a tenth.
struct CanvasCase
{
    int width, height;
    float scale;
    int offsetX, offsetY, canvasWidth, canvasHeight;
};

TEST_F (EditorTest, CanvasIsScaledUniformlyAndLetterboxed)
{
    const CanvasCase cases[] = {
        { 1240, 840, 1.0f, 0, 0, 1240, 840 },    { 2480, 840, 1.0f, 620, 0, 1240, 840 },
        { 720, 500, 0.580645f, 0, 6, 720, 488 }, { 1080, 732, 0.870968f, 0, 0, 1080, 732 },
        { 1240, 1680, 1.0f, 0, 420, 1240, 840 }, { 100, 60, 0.1f, -12, -12, 124, 84 },
    };
    for (const auto& c : cases)
    {
        editor->setSize (c.width, c.height);
        // Every control carries the same transform, whether it shows or not.
        for (auto* id : { "gate", "button.ENGINE", "eqlow" })
        {
            const auto t = find (id)->getTransform();
            EXPECT_NEAR (t.mat00, c.scale, 1.0e-5f) << c.width << " x " << c.height << " " << id;
            EXPECT_NEAR (t.mat11, c.scale, 1.0e-5f);
            EXPECT_EQ (t.mat02, static_cast<float> (c.offsetX)) << c.width << " x " << c.height;
            EXPECT_EQ (t.mat12, static_cast<float> (c.offsetY)) << c.width << " x " << c.height;
            EXPECT_EQ (juce::roundToInt (Editor::canvasWidth * t.mat00), c.canvasWidth);
            EXPECT_EQ (juce::roundToInt (Editor::canvasHeight * t.mat11), c.canvasHeight);
        }
    }
}

TEST_F (EditorTest, OpensAt1080By732WithinItsResizeLimits)
{
    EXPECT_EQ (editor->getWidth(), 1080);
    EXPECT_EQ (editor->getHeight(), 732);
    EXPECT_TRUE (editor->isResizable());

    editor->setBoundsConstrained ({ 0, 0, 300, 200 });
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 720, 500));
    editor->setBoundsConstrained ({ 0, 0, 9000, 6000 });
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 4000, 2400));
}

//==============================================================================
// Every control bound to a parameter: it exists with its class, follows the parameter, writes the
// parameter the host sees, and converts text as its class should.
enum class Kind
{
    percent,
    decibel,
    plain,
    notch,
    toggle,
    combo
};

struct BoundControl
{
    const char* componentId;
    const char* parameterId;
    Kind kind;
    const char* suffix = ""; // of plain sliders
};

const BoundControl boundControls[] = {
    { "gate", "gate", Kind::percent },
    { "smack", "smack", Kind::percent },
    { "loudness", "loudness", Kind::percent },
    { "width", "width", Kind::percent },
    { "air", "air", Kind::percent },
    { "smart", "smart", Kind::percent },
    { "live", "live", Kind::percent },
    { "flavour", "flavour", Kind::percent },
    { "beast", "beast", Kind::percent },
    { "sub", "sub", Kind::percent },
    { "detail", "detail", Kind::percent },
    { "adaptmix", "adaptmix", Kind::percent },
    { "inputgain", "inputgain", Kind::decibel },
    { "eqlow", "eqlow", Kind::decibel },
    { "eqmid", "eqmid", Kind::decibel },
    { "eqhigh", "eqhigh", Kind::decibel },
    { "outputgain", "outputgain", Kind::decibel },
    { "limiterceiling", "limiterceiling", Kind::decibel },
    { "reverb.live", "live", Kind::percent },
    { "revlivedecay", "revlivedecay", Kind::plain },
    { "revlivedamping", "revlivedamping", Kind::plain },
    { "revlivelowcut", "revlivelowcut", Kind::plain },
    { "revlivehicut", "revlivehicut", Kind::plain },
    { "revlivewidth", "revlivewidth", Kind::percent },
    { "revducklive", "revducklive", Kind::percent },
    { "reverb.flavour", "flavour", Kind::percent },
    { "revflavourdecay", "revflavourdecay", Kind::plain },
    { "revflavourdamping", "revflavourdamping", Kind::plain },
    { "revflavourlowcut", "revflavourlowcut", Kind::plain },
    { "revflavourhicut", "revflavourhicut", Kind::plain },
    { "revflavourwidth", "revflavourwidth", Kind::percent },
    { "revduckflavour", "revduckflavour", Kind::percent },
    { "eqpct", "eqpct", Kind::percent },
    { "dynpct", "dynpct", Kind::percent },
    { "satpct", "satpct", Kind::percent },
    { "revpct", "revpct", Kind::percent },
    { "widpct", "widpct", Kind::percent },
    { "limpct", "limpct", Kind::percent },
    { "transientattack", "transientattack", Kind::percent },
    { "transientsustain", "transientsustain", Kind::percent },
    { "transientband", "transientband", Kind::plain, " Hz" },
    { "transientsnap", "transientsnap", Kind::percent },
    { "transientceiling", "transientceiling", Kind::percent },
    { "transientsmooth", "transientsmooth", Kind::percent },
    { "antipoppct", "antipoppct", Kind::percent },
    { "makeuppct", "makeuppct", Kind::percent },
    { "subharmpct", "subharmpct", Kind::percent },
    { "path.adaptmix", "adaptmix", Kind::percent },
    { "fbfreq1", "fbfreq1", Kind::notch },
    { "fbfreq2", "fbfreq2", Kind::notch },
    { "fbfreq3", "fbfreq3", Kind::notch },
    { "bypass", "bypass", Kind::toggle },
    { "voicemode", "voicemode", Kind::toggle },
    { "wildcardmode", "wildcardmode", Kind::toggle },
    { "wildcardhybridfx", "wildcardhybridfx", Kind::toggle },
    { "cupped", "cupped", Kind::toggle },
    { "popfilter", "popfilter", Kind::toggle },
    { "adaptivehit", "adaptivehit", Kind::toggle },
    { "autogain", "autogain", Kind::toggle },
    { "loudnessmatch", "loudnessmatch", Kind::toggle },
    { "eqon", "eqon", Kind::toggle },
    { "dynamicson", "dynamicson", Kind::toggle },
    { "saturationon", "saturationon", Kind::toggle },
    { "reverbon", "reverbon", Kind::toggle },
    { "widthon", "widthon", Kind::toggle },
    { "limiteron", "limiteron", Kind::toggle },
    { "lineareq", "lineareq", Kind::toggle },
    { "gateknobon", "gateknobon", Kind::toggle },
    { "smackknobon", "smackknobon", Kind::toggle },
    { "punchknobon", "punchknobon", Kind::toggle },
    { "loudknobon", "loudknobon", Kind::toggle },
    { "widthknobon", "widthknobon", Kind::toggle },
    { "airknobon", "airknobon", Kind::toggle },
    { "smartknobon", "smartknobon", Kind::toggle },
    { "liveknobon", "liveknobon", Kind::toggle },
    { "flavourknobon", "flavourknobon", Kind::toggle },
    { "beastknobon", "beastknobon", Kind::toggle },
    { "subknobon", "subknobon", Kind::toggle },
    { "detailknobon", "detailknobon", Kind::toggle },
    { "speaker", "speaker", Kind::combo },
    { "output", "output", Kind::combo },
    { "lookahead", "lookahead", Kind::combo },
    { "responseprofile", "responseprofile", Kind::combo },
    { "outputtarget", "outputtarget", Kind::combo },
    { "chainmode", "chainmode", Kind::combo },
    { "mixmode", "mixmode", Kind::combo },
    { "venue", "venue", Kind::combo },
};

class BoundControlTest : public EditorTest, public testing::WithParamInterface<BoundControl>
{
protected:
    void checkSlider (juce::Slider& slider, const BoundControl& row)
    {
        auto& p = parameter (row.parameterId);
        // Parameter to control: a value a third of the way along the parameter's range.
        p.setValueNotifyingHost (0.3f);
        EXPECT_NEAR (slider.getValue(), realValue (row.parameterId), 1.0e-4);
        EXPECT_NEAR (slider.getMinimum(), p.getNormalisableRange().start, 1.0e-6);
        EXPECT_NEAR (slider.getMaximum(), p.getNormalisableRange().end, 1.0e-6);

        // Control to parameter.
        const auto target = static_cast<double> (p.convertFrom0to1 (0.7f));
        slider.setValue (target, juce::sendNotificationSync);
        EXPECT_NEAR (realValue (row.parameterId), slider.getValue(), 1.0e-4);
        EXPECT_NEAR (realValue (row.parameterId), target, p.getNormalisableRange().interval + 1.0e-4);

        switch (row.kind)
        {
            case Kind::percent:
                EXPECT_NE (dynamic_cast<PercentSlider*> (&slider), nullptr);
                EXPECT_EQ (slider.getTextFromValue (0.55), "55%");
                EXPECT_DOUBLE_EQ (slider.getValueFromText ("40%"), 0.4);
                break;
            case Kind::decibel:
                EXPECT_NE (dynamic_cast<DecibelSlider*> (&slider), nullptr);
                EXPECT_EQ (slider.getTextFromValue (-6.0), "-6.0 dB");
                EXPECT_NEAR (slider.getValueFromText ("-4.5 dB"), -4.5, 1.0e-4);
                break;
            case Kind::notch:
                EXPECT_NE (dynamic_cast<FeedbackNotchSlider*> (&slider), nullptr);
                EXPECT_EQ (slider.getTextFromValue (9.0), "1.0 kHz");
                break;
            case Kind::plain:
            {
                const auto value = slider.getValue();
                EXPECT_EQ (slider.getTextFromValue (value),
                           p.getText (p.convertTo0to1 (static_cast<float> (value)), 0) + row.suffix);
                EXPECT_NEAR (slider.getValueFromText (slider.getTextFromValue (value)), value,
                             p.getNormalisableRange().interval + 1.0e-3);
                break;
            }
            case Kind::toggle:
            case Kind::combo:
                break;
        }
    }
};

TEST_P (BoundControlTest, FollowsAndWritesItsParameter)
{
    const auto& row = GetParam();
    auto* component = find (row.componentId);
    ASSERT_NE (component, nullptr) << row.componentId;
    auto& p = parameter (row.parameterId);

    if (auto* toggle = dynamic_cast<juce::ToggleButton*> (component))
    {
        ASSERT_EQ (row.kind, Kind::toggle);
        for (const bool on : { true, false, true })
        {
            p.setValueNotifyingHost (on ? 1.0f : 0.0f);
            EXPECT_EQ (toggle->getToggleState(), on);
        }
        toggle->setToggleState (false, juce::sendNotificationSync);
        EXPECT_EQ (realValue (row.parameterId), 0.0f);
    }
    else if (auto* combo = dynamic_cast<juce::ComboBox*> (component))
    {
        ASSERT_EQ (row.kind, Kind::combo);
        const auto choices = dynamic_cast<juce::AudioParameterChoice&> (p).choices;
        ASSERT_EQ (combo->getNumItems(), choices.size());
        for (int index = 0; index < choices.size(); ++index)
        {
            setParameter (row.parameterId, static_cast<float> (index));
            EXPECT_EQ (combo->getText(), choices[index]);
            EXPECT_EQ (combo->getSelectedId(), index + 1);
        }
        combo->setSelectedId (1, juce::sendNotificationSync);
        EXPECT_EQ (realValue (row.parameterId), 0.0f);
    }
    else if (auto* slider = dynamic_cast<juce::Slider*> (component))
    {
        checkSlider (*slider, row);
    }
    else
    {
        ADD_FAILURE() << row.componentId << " is neither a slider, a toggle nor a combo box";
    }
}

INSTANTIATE_TEST_SUITE_P (EveryBoundControl, BoundControlTest, testing::ValuesIn (boundControls),
                          [] (const auto& row)
                          { return juce::String (row.param.componentId).replaceCharacter ('.', '_').toStdString(); });

TEST_F (EditorTest, UnboundControlsCarryTheirTexts)
{
    const char* buttons[] = { "SHOW ADVANCED", "ENGINE",       "OUTPUT",  "EQ",         "REVERB",
                              "CONTROL",       "CALIBRATE",    "ANALYZE", "i",          "LEARN KICK",
                              "LEARN SNARE",   "LEARN HI-HAT", "CLEAR",   "MIX MASTER", "LIVE TIGHT",
                              "SAVE",          "LOAD",         "RENAME",  "UPDATES" };
    for (auto* text : buttons)
        EXPECT_EQ (control<juce::TextButton> (juce::String ("button.") + text).getButtonText(), text);
    EXPECT_EQ (control<juce::TextButton> ("button.INFO").getButtonText(), "?");

    const char* labels[] = {
        "TRANSIENT SHAPER", "PATH",     "CHAIN BLEND (%)", "ATTACK",   "SUSTAIN", "BAND", "SNAP", "CEIL",
        "SMOOTH",           "ANTI-POP", "MAKEUP",          "SUB HARM", "ADAPT"
    };
    for (auto* text : labels)
        EXPECT_EQ (control<juce::Label> (juce::String ("label.") + text).getText(), text);
    for (auto* text : { "EQ", "DYN", "SAT", "REV", "WIDTH", "LIM" })
        EXPECT_EQ (control<juce::Label> (juce::String ("label.blend.") + text).getText(), text);

    auto& presets = control<juce::ComboBox> ("factorypreset");
    EXPECT_EQ (presets.getNumItems(), 4);
    EXPECT_EQ (presets.getText(), "Mix Clean");
    auto& profiles = control<juce::ComboBox> ("profile");
    ASSERT_EQ (profiles.getNumItems(), 5);
    for (int slot = 0; slot < 5; ++slot)
        EXPECT_EQ (profiles.getItemText (slot), processor.getUserProfileName (slot));
    EXPECT_EQ (profiles.getSelectedId(), 1);
    EXPECT_EQ (control<juce::TextEditor> ("presetname").getText(), processor.getUserProfileName (0));
}

TEST_F (EditorTest, MicrophoneMenuIsOrderedByBrandAndWritesTheChoiceIndex)
{
    auto& mic = control<juce::ComboBox> ("mic");
    ASSERT_EQ (mic.getNumItems(), 15);
    EXPECT_EQ (mic.getItemText (2), "Shure SM58");
    EXPECT_EQ (mic.getItemText (6), "AKG D5");

    const auto choices = dynamic_cast<juce::AudioParameterChoice&> (parameter ("mic")).choices;
    for (int i = 0; i < mic.getNumItems(); ++i)
        EXPECT_EQ (choices[mic.getItemId (i) - 1], mic.getItemText (i)) << "item " << i;

    mic.setSelectedId (2, juce::sendNotificationSync); // Shure SM7B
    EXPECT_EQ (realValue ("mic"), 1.0f);
    mic.setText ("Shure SM58", juce::sendNotificationSync);
    EXPECT_EQ (realValue ("mic"), 3.0f);

    // Reopened, the menu shows the parameter's item.
    setParameter ("mic", 14.0f);
    editor.reset();
    editor = openEditor (processor);
    EXPECT_EQ (control<juce::ComboBox> ("mic").getText(), "AKG D7");
}

TEST_F (EditorTest, PadComboShowsMinus3DbForTheLayoutDefault)
{
    auto& pad = parameter ("output");
    pad.setValueNotifyingHost (pad.getDefaultValue());
    EXPECT_EQ (control<juce::ComboBox> ("output").getText(), "-3 dB");
}

//==============================================================================
// Which controls show in each view.
const std::set<juce::String> header { "button.SHOW ADVANCED", "button.INFO", "button.UPDATES" };
const std::set<juce::String> pageButtons { "button.ENGINE", "button.OUTPUT", "button.EQ", "button.REVERB",
                                           "button.CONTROL" };
const std::set<juce::String> mixFooter { "button.ANALYZE", "factorypreset", "button.MIX MASTER" };
const std::set<juce::String> liveFooter { "button.CALIBRATE", "button.i", "button.LIVE TIGHT", "button.MIX MASTER" };

std::set<juce::String> knobsWithSwitches (std::initializer_list<const char*> knobs)
{
    const std::map<juce::String, juce::String> switches {
        { "gate", "gateknobon" },   { "smack", "smackknobon" },     { "loudness", "loudknobon" },
        { "width", "widthknobon" }, { "air", "airknobon" },         { "smart", "smartknobon" },
        { "live", "liveknobon" },   { "flavour", "flavourknobon" }, { "beast", "beastknobon" },
        { "sub", "subknobon" },     { "detail", "detailknobon" },
    };
    std::set<juce::String> ids;
    for (auto* knob : knobs)
        ids.insert ({ knob, switches.at (knob) });
    return ids;
}

std::set<juce::String> unite (std::initializer_list<std::set<juce::String>> parts)
{
    std::set<juce::String> all;
    for (const auto& part : parts)
        all.insert (part.begin(), part.end());
    return all;
}

const std::set<juce::String> enginePage { "lookahead", "responseprofile", "outputtarget", "chainmode",
                                          "mixmode",   "venue",           "mic",          "adaptmix",
                                          "fbfreq1",   "fbfreq2",         "fbfreq3",      "button.ANALYZE" };
const std::set<juce::String> outputPageLive { "profile",       "button.SAVE", "button.LOAD",   "presetname",
                                              "button.RENAME", "inputgain",   "autogain",      "outputgain",
                                              "output",        "speaker",     "limiterceiling" };
const std::set<juce::String> eqPage { "eqlow", "eqmid", "eqhigh", "lineareq" };
const std::set<juce::String> reverbPage { "reverb.live",     "revlivedecay",      "revlivedamping",   "revlivelowcut",
                                          "revlivehicut",    "revlivewidth",      "revducklive",      "reverb.flavour",
                                          "revflavourdecay", "revflavourdamping", "revflavourlowcut", "revflavourhicut",
                                          "revflavourwidth", "revduckflavour" };
const std::set<juce::String> controlPage { "bypass",
                                           "voicemode",
                                           "wildcardmode",
                                           "wildcardhybridfx",
                                           "cupped",
                                           "popfilter",
                                           "adaptivehit",
                                           "button.LEARN KICK",
                                           "button.LEARN SNARE",
                                           "button.LEARN HI-HAT",
                                           "button.CLEAR",
                                           "eqon",
                                           "dynamicson",
                                           "saturationon",
                                           "reverbon",
                                           "widthon",
                                           "limiteron",
                                           "punchknobon",
                                           "label.TRANSIENT SHAPER",
                                           "label.PATH",
                                           "label.CHAIN BLEND (%)",
                                           "label.ATTACK",
                                           "label.SUSTAIN",
                                           "label.BAND",
                                           "label.SNAP",
                                           "label.CEIL",
                                           "label.SMOOTH",
                                           "label.ANTI-POP",
                                           "label.MAKEUP",
                                           "label.SUB HARM",
                                           "label.ADAPT",
                                           "label.blend.EQ",
                                           "label.blend.DYN",
                                           "label.blend.SAT",
                                           "label.blend.REV",
                                           "label.blend.WIDTH",
                                           "label.blend.LIM",
                                           "eqpct",
                                           "dynpct",
                                           "satpct",
                                           "revpct",
                                           "widpct",
                                           "limpct",
                                           "transientattack",
                                           "transientsustain",
                                           "transientband",
                                           "transientsnap",
                                           "transientceiling",
                                           "transientsmooth",
                                           "antipoppct",
                                           "makeuppct",
                                           "subharmpct",
                                           "path.adaptmix" };

struct ViewCase
{
    const char* name;
    bool live;
    std::vector<const char*> clicks;
    std::set<juce::String> visible;
};

class ViewTest : public EditorTest, public testing::WithParamInterface<ViewCase>
{
};

TEST_P (ViewTest, ShowsExactlyItsControls)
{
    const auto& view = GetParam();
    setParameter ("chainmode", view.live ? 1.0f : 0.0f);
    runMessagesFor (50); // the chain mode is not watched: the timer's pass picks it up
    for (auto* button : view.clicks)
        click (juce::String ("button.") + button);
    EXPECT_EQ (visibleControls(), view.visible);
}

const ViewCase viewCases[] = {
    { "CompactMix",
      false,
      {},
      unite ({ header, mixFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "flavour", "sub", "detail" }) }) },
    { "CompactLive",
      true,
      {},
      unite ({ header, liveFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "smart", "beast", "detail" }) }) },
    { "AdvancedMix",
      false,
      { "SHOW ADVANCED" },
      unite ({ header, pageButtons, mixFooter,
               knobsWithSwitches (
                   { "gate", "smack", "loudness", "width", "air", "live", "flavour", "sub", "detail" }) }) },
    { "AdvancedLive",
      true,
      { "SHOW ADVANCED" },
      unite ({ header, pageButtons, liveFooter,
               knobsWithSwitches ({ "gate", "smack", "loudness", "width", "air", "smart", "live", "flavour", "beast",
                                    "sub", "detail" }) }) },
    { "EnginePage", false, { "SHOW ADVANCED", "ENGINE" }, unite ({ header, pageButtons, enginePage }) },
    { "EnginePageLive", true, { "SHOW ADVANCED", "ENGINE" }, unite ({ header, pageButtons, enginePage }) },
    { "OutputPageMix",
      false,
      { "SHOW ADVANCED", "OUTPUT" },
      unite ({ header, pageButtons, outputPageLive, { "loudnessmatch" } }) },
    { "OutputPageLiveHasNoMatch",
      true,
      { "SHOW ADVANCED", "OUTPUT" },
      unite ({ header, pageButtons, outputPageLive }) },
    { "EqPage", false, { "SHOW ADVANCED", "EQ" }, unite ({ header, pageButtons, eqPage }) },
    { "ReverbPage", true, { "SHOW ADVANCED", "REVERB" }, unite ({ header, pageButtons, reverbPage }) },
    { "ControlPage", false, { "SHOW ADVANCED", "CONTROL" }, unite ({ header, pageButtons, controlPage }) },
    { "SecondClickClosesThePage",
      false,
      { "SHOW ADVANCED", "ENGINE", "ENGINE" },
      unite ({ header, pageButtons, mixFooter,
               knobsWithSwitches (
                   { "gate", "smack", "loudness", "width", "air", "live", "flavour", "sub", "detail" }) }) },
    { "AnotherPageSwitchesDirectly",
      false,
      { "SHOW ADVANCED", "ENGINE", "EQ" },
      unite ({ header, pageButtons, eqPage }) },
    { "HideAdvancedForgetsThePage",
      true,
      { "SHOW ADVANCED", "REVERB", "SHOW ADVANCED" },
      unite ({ header, liveFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "smart", "beast", "detail" }) }) },
    { "GuideCoversTheCompactView", false, { "INFO" }, header },
    { "GuideCoversAPage", false, { "SHOW ADVANCED", "CONTROL", "INFO" }, header },
    { "ClosingTheGuideReturnsToThePage",
      false,
      { "SHOW ADVANCED", "CONTROL", "INFO", "INFO" },
      unite ({ header, pageButtons, controlPage }) },
    { "UpdatesOpensTheGuide", false, { "UPDATES" }, header },
    { "InfoOffClosesGuideAndUpdates",
      false,
      { "UPDATES", "INFO" },
      unite ({ header, mixFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "flavour", "sub", "detail" }) }) },
    { "UpdatesOffClosesTheGuide",
      true,
      { "UPDATES", "UPDATES" },
      unite ({ header, liveFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "smart", "beast", "detail" }) }) },
};

INSTANTIATE_TEST_SUITE_P (EveryView, ViewTest, testing::ValuesIn (viewCases),
                          [] (const auto& row) { return std::string (row.param.name); });

TEST_F (EditorTest, ViewButtonsShowTheirState)
{
    auto& advanced = control<juce::TextButton> ("button.SHOW ADVANCED");
    auto& info = control<juce::TextButton> ("button.INFO");
    auto& updates = control<juce::TextButton> ("button.UPDATES");
    click ("button.SHOW ADVANCED");
    EXPECT_EQ (advanced.getButtonText(), "HIDE ADVANCED");
    click ("button.OUTPUT");
    EXPECT_TRUE (control<juce::Button> ("button.OUTPUT").getToggleState());
    EXPECT_FALSE (control<juce::Button> ("button.ENGINE").getToggleState());

    click ("button.UPDATES");
    EXPECT_EQ (info.getButtonText(), "X");
    EXPECT_TRUE (info.getToggleState());
    click ("button.INFO");
    EXPECT_EQ (info.getButtonText(), "?");
    EXPECT_FALSE (updates.getToggleState());
    EXPECT_TRUE (control<juce::Button> ("button.OUTPUT").getToggleState()); // the page under the guide stays
}

TEST_F (EditorTest, EngineAnalyzeMovesIntoThePageAndBothModeSelectorsAreReachable)
{
    click ("button.SHOW ADVANCED");
    click ("button.ENGINE");
    EXPECT_EQ (find ("button.ANALYZE")->getBounds(), juce::Rectangle<int> (494, 492, 360, 28));
    const auto target = find ("outputtarget")->getBounds();
    const auto chainMode = find ("chainmode")->getBounds();
    EXPECT_EQ (target, juce::Rectangle<int> (494, 194, 360, 30));
    EXPECT_FALSE (target.intersects (chainMode));
}

//==============================================================================
// Enablement: which controls grey out for which parameter settings.
struct EnableCase
{
    const char* name;
    std::vector<std::pair<const char*, float>> settings;
    std::vector<std::pair<const char*, bool>> enabled;
};

class EnablementTest : public EditorTest, public testing::WithParamInterface<EnableCase>
{
};

TEST_P (EnablementTest, FollowsTheSwitches)
{
    const auto& c = GetParam();
    for (const auto& [id, value] : c.settings)
        setParameter (id, value);
    runMessagesFor (50);
    for (const auto& [id, enabled] : c.enabled)
        EXPECT_EQ (find (id)->isEnabled(), enabled) << id;
}

const EnableCase enableCases[] = {
    { "WildcardGreysColourModules",
      { { "wildcardmode", 1 },
        { "wildcardhybridfx", 0 },
        { "gateknobon", 1 },
        { "dynamicson", 1 },
        { "adaptivehit", 1 },
        { "punchknobon", 1 } },
      { { "gate", false },
        { "smack", false },
        { "air", false },
        { "width", false },
        { "live", false },
        { "sub", false },
        { "eqpct", false },
        { "limpct", false },
        { "label.CHAIN BLEND (%)", false },
        { "label.blend.EQ", false },
        { "transientattack", false },
        { "punchknobon", false },
        { "antipoppct", false },
        { "subharmpct", false },
        { "path.adaptmix", false },
        { "saturationon", false },
        { "widthon", false },
        { "adaptivehit", false },
        { "button.LEARN KICK", false },
        { "button.CLEAR", false },
        { "cupped", false },
        { "popfilter", false },
        { "adaptmix", false },
        { "fbfreq2", false },
        { "inputgain", false },
        { "autogain", false },
        { "loudnessmatch", false },
        { "eqlow", false },
        { "revlivedecay", false },
        // always live
        { "wildcardhybridfx", true },
        { "makeuppct", true },
        { "label.PATH", true },
        { "label.TRANSIENT SHAPER", true },
        { "label.ATTACK", true },
        { "gateknobon", true },
        { "output", true },
        { "speaker", true },
        { "eqon", true },
        { "dynamicson", true },
        { "reverbon", true },
        { "limiteron", true },
        { "bypass", true } } },
    { "HybridFxKeepsModulesLive",
      { { "wildcardmode", 1 },
        { "wildcardhybridfx", 1 },
        { "gateknobon", 1 },
        { "dynamicson", 1 },
        { "punchknobon", 1 },
        { "adaptivehit", 1 } },
      { { "gate", true },
        { "eqpct", true },
        { "transientattack", true },
        { "path.adaptmix", true },
        { "saturationon", true },
        { "inputgain", true },
        { "label.CHAIN BLEND (%)", true } } },
    { "KnobFollowsItsSwitchAndModule",
      { { "gateknobon", 0 },
        { "smackknobon", 1 },
        { "dynamicson", 1 },
        { "subknobon", 1 },
        { "saturationon", 0 },
        { "airknobon", 1 },
        { "eqon", 1 },
        { "liveknobon", 1 },
        { "reverbon", 1 },
        { "widthknobon", 1 },
        { "widthon", 0 } },
      { { "gate", false },
        { "smack", true },
        { "sub", false },
        { "beast", false },
        { "satpct", false },
        { "air", true },
        { "live", true },
        { "width", false },
        { "widpct", false },
        { "dynpct", true } } },
    { "DynamicsOffGreysItsKnobs",
      { { "dynamicson", 0 },
        { "gateknobon", 1 },
        { "smackknobon", 1 },
        { "loudknobon", 1 },
        { "smartknobon", 1 },
        { "detailknobon", 1 } },
      { { "gate", false },
        { "smack", false },
        { "loudness", false },
        { "smart", false },
        { "detail", false },
        { "dynpct", false } } },
    { "EqOffGreysEqAndAir",
      { { "eqon", 0 }, { "airknobon", 1 }, { "chainmode", 1 } },
      { { "eqlow", false },
        { "eqmid", false },
        { "eqhigh", false },
        { "lineareq", false },
        { "air", false },
        { "eqpct", false } } },
    { "LinearPhaseOnlyInLive", { { "eqon", 1 }, { "chainmode", 0 } }, { { "lineareq", false }, { "eqlow", true } } },
    { "LinearPhaseInLive", { { "eqon", 1 }, { "chainmode", 1 } }, { { "lineareq", true } } },
    { "ReverbOffGreysReverbPage",
      { { "reverbon", 0 }, { "liveknobon", 1 }, { "flavourknobon", 1 } },
      { { "reverb.live", false },
        { "revflavourhicut", false },
        { "revduckflavour", false },
        { "live", false },
        { "flavour", false },
        { "revpct", false } } },
    { "TransientSwitchGreysItsRows",
      { { "punchknobon", 0 }, { "adaptivehit", 0 } },
      { { "transientattack", false },
        { "transientband", false },
        { "transientsmooth", false },
        { "punchknobon", true },
        { "path.adaptmix", false },
        { "antipoppct", true },
        { "adaptmix", true } } },
};

INSTANTIATE_TEST_SUITE_P (EveryRule, EnablementTest, testing::ValuesIn (enableCases),
                          [] (const auto& row) { return std::string (row.param.name); });

TEST_F (EditorTest, DisabledKnobIsDimmedAndItsValueGreyed)
{
    setParameter ("gateknobon", 1);
    setParameter ("dynamicson", 1);
    setParameter ("wildcardmode", 1);
    setParameter ("wildcardhybridfx", 0);
    runPendingMessages();
    auto& gate = control<juce::Slider> ("gate");
    EXPECT_NEAR (gate.getAlpha(), 0.38f, 1.0f / 255);
    EXPECT_EQ (gate.findColour (juce::Slider::textBoxTextColourId), juce::Colour (0xff6c7480));

    setParameter ("wildcardhybridfx", 1);
    runPendingMessages();
    EXPECT_TRUE (gate.isEnabled());
    EXPECT_FLOAT_EQ (gate.getAlpha(), 1.0f);
    EXPECT_EQ (gate.findColour (juce::Slider::textBoxTextColourId), juce::Colour (0xffeceff5));
    EXPECT_FLOAT_EQ (find ("width")->getAlpha(), 0.0f); // hidden in the compact view
}

TEST_F (EditorTest, PresetLoadUpdatesEnablementWithinOneMessageLoopTurn)
{
    setParameter ("dynamicson", 1);
    setParameter ("smackknobon", 1);
    runPendingMessages();
    auto& smack = control<juce::Slider> ("smack");
    ASSERT_TRUE (smack.isEnabled());

    processor.loadMixMinimalPreset(); // switches the dynamics off
    ASSERT_EQ (realValue ("dynamicson"), 0.0f);
    EXPECT_TRUE (smack.isEnabled()) << "the listener defers its pass to the message loop";
    runPendingMessages();
    EXPECT_FALSE (smack.isEnabled());
}

TEST_F (EditorTest, WatchedParameterChangedOnAnotherThreadReachesTheView)
{
    setParameter ("dynamicson", 1);
    setParameter ("smackknobon", 1);
    runPendingMessages();
    std::thread audio ([this] { setParameter ("smackknobon", 0); });
    audio.join();
    runPendingMessages();
    EXPECT_FALSE (find ("smack")->isEnabled());
}

TEST_F (EditorTest, ChainModeFromAPresetSwitchesTheCompactKnobsWithoutAClick)
{
    ASSERT_TRUE (find ("flavour")->isVisible());
    processor.loadBeatboxTightPreset(); // "Live Performance"
    EXPECT_TRUE (runMessagesUntil ([this] { return find ("smart")->isVisible(); }));
    EXPECT_FALSE (find ("flavour")->isVisible());
    EXPECT_TRUE (find ("beast")->isVisible());
}

//==============================================================================
TEST_F (EditorTest, ReopeningStartsCompactWhileKnobsKeepTheirValues)
{
    click ("button.SHOW ADVANCED");
    click ("button.REVERB");
    click ("button.INFO");
    control<juce::Slider> ("reverb.live").setValue (0.73, juce::sendNotificationSync);
    control<juce::Slider> ("detail").setValue (0.31, juce::sendNotificationSync);

    editor.reset();
    EXPECT_EQ (processor.getActiveEditor(), nullptr);
    editor = openEditor (processor);

    EXPECT_EQ (
        visibleControls(),
        unite ({ header, mixFooter, knobsWithSwitches ({ "gate", "smack", "loudness", "flavour", "sub", "detail" }) }));
    EXPECT_EQ (control<juce::Button> ("button.SHOW ADVANCED").getButtonText(), "SHOW ADVANCED");
    EXPECT_EQ (control<juce::Button> ("button.INFO").getButtonText(), "?");
    EXPECT_NEAR (control<juce::Slider> ("live").getValue(), 0.73, 1.0e-6);
    EXPECT_NEAR (control<juce::Slider> ("detail").getValue(), 0.31, 1.0e-6);
}

TEST (EditorLifetime, OpeningAndClosingWhileAudioRunsLeaksNothingAndNeverStallsTheAudioThread)
{
    QuorinProcessor processor;
    processor.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    for (int i = 0; i < 50; ++i) // past the first blocks' one-off work
        processor.processBlock (buffer, midi);

    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };
    std::atomic<size_t> audioAllocations { 0 };
    std::thread audio (
        [&]
        {
            const ScopedAllocationCounter counter;
            juce::Random random (7);
            while (running.load())
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int n = 0; n < buffer.getNumSamples(); ++n)
                        buffer.setSample (ch, n, random.nextFloat() * 0.4f - 0.2f);
                processor.processBlock (buffer, midi);
                blocks.fetch_add (1);
            }
            audioAllocations = counter.count();
        });

    const auto openAndClose = [&processor]
    {
        auto editor = openEditor (processor);
        editor.reset();
        runPendingMessages();
    };
    // Fonts, look-and-feel and framework caches are made over the first few windows.
    for (int i = 0; i < 30; ++i)
        openAndClose();

    const auto heldClosed = mallinfo2().uordblks;
    auto editor = openEditor (processor);
    const auto editorFootprint = static_cast<long long> (mallinfo2().uordblks) - static_cast<long long> (heldClosed);
    editor.reset();
    runPendingMessages();

    const auto blocksBefore = blocks.load();
    const auto heldBefore = mallinfo2().uordblks;
    for (int i = 0; i < 50; ++i)
        openAndClose();
    const auto heldAfter = mallinfo2().uordblks;
    const auto blocksDuring = blocks.load() - blocksBefore;

    running = false;
    audio.join();

    const auto growth = static_cast<long long> (heldAfter) - static_cast<long long> (heldBefore);
    std::cout << "one open editor holds " << editorFootprint << " heap bytes; after 50 more windows the heap holds "
              << growth << " bytes more; audio blocks meanwhile: " << blocksDuring << std::endl;
    // Not one window's worth is lost over fifty (what remains is the framework's caches settling).
    EXPECT_LT (growth, editorFootprint / 4);
    EXPECT_GT (blocksDuring, 0);
    if (allocationCountingAvailable())
    {
        EXPECT_EQ (audioAllocations.load(), 0u);
    }
}
//==============================================================================
// Texts built from published values, by hand-worked cases.
struct LineCase
{
    juce::String built, expected;
};

TEST (EditorTexts, MeterReportAndPanelLinesRoundAsShown)
{
    const LineCase cases[] {
        { meterTargetLine (-12.5f, -14.0f, true), "Target -14 LUFS   +1.5 LU   MATCH ON" },
        { meterTargetLine (-15.0f, -14.0f, true), "Target -14 LUFS   -1.0 LU   MATCH ON" },
        { meterTargetLine (-23.0f, -23.0f, false), "Target -23 LUFS   +0.0 LU   MATCH OFF" },
        { meterReadingLine (-12.46f, -9.96f, -1.04f), "INT -12.5   ST -10.0   TP -1.0 dBTP" },
        { analysisLevelsLine (-13.24f, -18.0f, -2.06f), "Est. program ~ -13.2 LUFS   RMS -18.0 dB   Peak -2.1 dB" },
        { analysisSettingsLine (-1.0f, 0.625f, 0.375f), "Limiter ceiling -1.00 dB   Attack 62%   Sustain 38%" },
        { analysisSettingsLine (-0.346f, 0.0f, 1.0f), "Limiter ceiling -0.35 dB   Attack 0%   Sustain 100%" },
        { calibrationAmountsLine (0.31f, 0.5f, 0.625f), "GATE 31%   LOUD 50%   AUTO 62%" },
        { calibrationLevelsLine (-61.25f, -3.0f), "Noise floor -61.2 dB   Peak -3.0 dB" },
        { wholePercent (0.0f), "0%" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (c.built, c.expected);
}

struct LearnTextCase
{
    int button, learningClass;
    float progress;
    int mask;
    const char* expected;
};

TEST (EditorTexts, LearnAndAnalyzeButtonsShowProgressOrTheirStar)
{
    const LearnTextCase cases[] {
        { 1, 1, 0.375f, 0, "KICK 38%" },   { 2, 2, 0.5f, 0, "SNARE 50%" },      { 3, 3, 1.0f, 7, "HI-HAT 100%" },
        { 1, 2, 0.4f, 1, "LEARN KICK *" }, { 2, 0, 0.0f, 1, "LEARN SNARE" },    { 2, 0, 0.0f, 2, "LEARN SNARE *" },
        { 3, 0, 0.0f, 3, "LEARN HI-HAT" }, { 3, 1, 0.2f, 4, "LEARN HI-HAT *" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (learnButtonText (c.button, c.learningClass, c.progress, c.mask), c.expected);
    EXPECT_EQ (analyzeButtonText (true, 0.5f), "ANALYZE 50%");
    EXPECT_EQ (analyzeButtonText (true, 0.0f), "ANALYZE 0%");
    EXPECT_EQ (analyzeButtonText (false, 0.7f), "ANALYZE");
}

TEST (EditorTexts, LampsFollowTheLearnedClassElseTheHitLabel)
{
    EXPECT_EQ (lampHitClass (2, "Kick"), 2);
    EXPECT_EQ (lampHitClass (0, "Kick"), 1);
    EXPECT_EQ (lampHitClass (0, "Snare"), 2);
    EXPECT_EQ (lampHitClass (0, "Hi-hat"), 3);
    EXPECT_EQ (lampHitClass (0, "Inward K"), 0);
    EXPECT_EQ (lampHitClass (0, "None"), 0);
    EXPECT_EQ (learnStatusLine (true, 2), "Analyzing Snare transients...");
    EXPECT_EQ (learnStatusLine (true, 0), "Listening for Kick / Snare / Hi-Hat...");
    EXPECT_EQ (learnStatusLine (false, 1), "");
}

TEST (EditorTexts, GuideAndChangelogHoldTheirItemsInOrder)
{
    EXPECT_STREQ (guideTitle, "MIX & MASTER GUIDE");
    EXPECT_STREQ (guideSubtitle, "Recorded beatbox mix bus. For live stage use HALVEX.");
    juce::StringArray titles;
    for (const auto& item : guideItems)
        titles.add (item.title);
    EXPECT_EQ (titles.joinIntoString ("|"), "SMACK|LOUD|WIDTH|AIR|ROOM|LIVE|FLAVOUR|SUB|DETAIL|MIX PRESETS|MATCH|"
                                            "LUFS METER|ANALYZE|OUTPUT TARGET|MIC PRESET|EQ (3 BANDS)");
    EXPECT_EQ (juce::String::fromUTF8 (guideItems[4].text),
               juce::String::fromUTF8 (
                   u8"Compact view macro for Flavour reverb \u2014 subtle mix glue and space (default ~20%)."));

    const auto lines = juce::StringArray::fromLines (changelogList());
    ASSERT_EQ (lines.size(), 13);
    EXPECT_EQ (lines[0], juce::String::fromUTF8 (u8"- Product focus: mix and master only \u2014 not a live PA plugin"));
    EXPECT_EQ (lines[8], "- Click-free module bypass crossfades (~20 ms) on EQ / DYN / SAT / REV / WIDTH / LIM");
    EXPECT_EQ (lines[12], "- AU validation fixes and clearer plugin identity in DAW browsers");
}

//==============================================================================
TEST_F (EditorTest, ExactlyTheExplainedControlsCarryTheirTooltips)
{
    int withTooltip = 0;
    for (auto* child : editor->getChildren())
        if (auto* client = dynamic_cast<juce::SettableTooltipClient*> (child);
            client && client->getTooltip().isNotEmpty())
            ++withTooltip;
    EXPECT_EQ (withTooltip, 50);

    const std::pair<const char*, juce::String> samples[] {
        { "cupped", "On when you cup the mic: less mud, more top end." },
        { "punchknobon", "Enable/disable transient shaper (Attack / Sustain sliders below)." },
        { "fbfreq2", "Sweep to pick a notch centre, or slide left for Off." },
        { "revflavourwidth", "Stereo width for this reverb tail only (0% = mono tail, 100% = widest). Independent "
                             "from the main WIDTH control." },
        { "button.ANALYZE", "Measures 5 seconds of incoming audio (RMS + peak), then sets limiter ceiling, transient "
                            "Attack/Sustain, and Output Target for YouTube -14 LUFS." },
        { "loudnessmatch", juce::String::fromUTF8 (u8"Mix/master: bidirectional loudness assist toward Output Target "
                                                   u8"(\u00b16 dB, limiter-safe).") },
        { "factorypreset", "SM58 mix/master factory presets." },
        { "path.adaptmix",
          "Adaptive Hit modulation depth (duplicate of ENGINE). Only active when Adaptive Hit is on." },
        { "gate", "" },
        { "adaptmix", "" },
        { "button.SAVE", "" },
    };
    for (const auto& [id, expected] : samples)
        EXPECT_EQ (dynamic_cast<juce::SettableTooltipClient*> (find (id))->getTooltip(), expected) << id;
}

//==============================================================================
// Timed actions.
TEST_F (EditorTest, CaptureAndLearnButtonsSendTheirRequestsWithoutAMessage)
{
    click ("button.CALIBRATE");
    EXPECT_TRUE (processor.calibrateRequested.load());
    click ("button.ANALYZE");
    EXPECT_TRUE (processor.analyzeRequested.load());
    EXPECT_EQ (editor->getStatusMessage(), "");
}

TEST_F (EditorTest, ALearningRunThatHeardNothingSaysSo)
{
    processor.prepareToPlay (48000.0, 480);
    setParameter ("chainmode", 1.0f);
    click ("button.LEARN KICK");
    juce::AudioBuffer<float> silence (2, 480);
    juce::MidiBuffer midi;
    bool learning = false;
    for (int block = 0; block < 500; ++block) // 5 s, past the run's time-out
    {
        silence.clear();
        processor.processBlock (silence, midi);
        editor->timerCallback();
        learning = learning || processor.getAdaptiveHitLearningClass() == 1;
    }
    ASSERT_TRUE (learning);
    EXPECT_EQ (processor.getAdaptiveHitLearningClass(), 0);
    EXPECT_EQ (processor.getAdaptiveHitLearnedMask(), 0);
    EXPECT_EQ (editor->getStatusMessage(), "No hits heard - nothing learned");
}

TEST_F (EditorTest, StatusMessageLivesItsTicksThenGoes)
{
    click ("button.MIX MASTER");
    EXPECT_EQ (editor->getStatusMessage(), "Loaded Mix Clean preset");
    EXPECT_EQ (editor->getStatusTicks(), 140);
    for (int tick = 0; tick < 139; ++tick)
        editor->timerCallback();
    EXPECT_EQ (editor->getStatusTicks(), 1);
    editor->timerCallback();
    editor->timerCallback();
    EXPECT_EQ (editor->getStatusTicks(), 0);
}

/** Every parameter's raw value, to compare whole states. */
std::vector<float> rawValues (QuorinProcessor& processor)
{
    std::vector<float> values;
    for (auto* p : processor.getParameters())
        values.push_back (p->getValue());
    return values;
}

struct PresetCase
{
    int comboId;
    void (QuorinProcessor::*load)();
    const char* message;
};

TEST_F (EditorTest, FactoryPresetsLoadThroughTheComboAndButtons)
{
    const PresetCase cases[] {
        { 2, &QuorinProcessor::loadMixYouTubePunchPreset, "Loaded YT Punch" },
        { 3, &QuorinProcessor::loadMixStreamingSafePreset, "Loaded Streaming Safe" },
        { 4, &QuorinProcessor::loadMixMinimalPreset, "Loaded Minimal" },
        { 1, &QuorinProcessor::loadMixCleanPreset, "Loaded Mix Clean" },
    };
    auto& combo = control<juce::ComboBox> ("factorypreset");
    for (const auto& c : cases)
    {
        QuorinProcessor reference;
        (reference.*c.load)();
        setParameter ("smack", 0.99f);
        combo.setSelectedId (c.comboId, juce::sendNotificationSync);
        EXPECT_EQ (rawValues (processor), rawValues (reference)) << c.message;
        EXPECT_EQ (editor->getStatusMessage(), c.message);
    }

    QuorinProcessor tight;
    tight.loadBeatboxTightPreset();
    click ("button.LIVE TIGHT");
    EXPECT_EQ (rawValues (processor), rawValues (tight));
    EXPECT_EQ (editor->getStatusMessage(), "Loaded factory preset: Beatbox Tight");
}

TEST_F (EditorTest, ProfilesSaveLoadAndRenameInTheSelectedSlot)
{
    auto& profiles = control<juce::ComboBox> ("profile");
    auto& load = control<juce::TextButton> ("button.LOAD");
    auto& name = control<juce::TextEditor> ("presetname");

    profiles.setSelectedId (2, juce::sendNotificationSync);
    EXPECT_EQ (name.getText(), "Profile 2");
    editor->timerCallback();
    EXPECT_FALSE (load.isEnabled());

    setParameter ("smack", 0.25f);
    click ("button.SAVE");
    EXPECT_EQ (editor->getStatusMessage(), "Saved to Profile 2");
    EXPECT_TRUE (processor.hasUserProfile (1));
    editor->timerCallback();
    EXPECT_TRUE (load.isEnabled());

    setParameter ("smack", 0.8f);
    click ("button.LOAD");
    EXPECT_EQ (editor->getStatusMessage(), "Loaded Profile 2");
    EXPECT_NEAR (realValue ("smack"), 0.25f, 1.0e-6f);

    // A slot that holds nothing changes nothing and says so.
    profiles.setSelectedId (3, juce::sendNotificationSync);
    const auto before = rawValues (processor);
    load.onClick();
    EXPECT_EQ (editor->getStatusMessage(), "Profile 3 is empty");
    EXPECT_EQ (rawValues (processor), before);

    const std::pair<juce::String, juce::String> renames[] {
        { "Tight Mix", "Tight Mix" },
        { "", "Profile 3" },
        { juce::String::repeatedString ("x", 300), juce::String::repeatedString ("x", 30) },
    };
    for (const auto& [typed, kept] : renames)
    {
        name.setText (typed, false);
        click ("button.RENAME");
        EXPECT_EQ (processor.getUserProfileName (2), kept);
        EXPECT_EQ (name.getText(), kept);
        EXPECT_EQ (editor->getStatusMessage(), "Renamed slot to " + kept);
        editor->timerCallback();
        EXPECT_EQ (profiles.getItemText (2), kept);
    }
    EXPECT_EQ (processor.getUserProfileName (1), "Profile 2");
}

TEST_F (EditorTest, HitLampLightsOnAConfidentHitAndFades)
{
    processor.adaptiveHitClass = 2;
    processor.adaptiveHitConfidence = 0.3f;
    editor->timerCallback();
    EXPECT_EQ (editor->getHitLamp (2), 1.0f);
    EXPECT_EQ (editor->getHitLamp (1), 0.0f);

    processor.adaptiveHitConfidence = 0.2f;
    for (int tick = 0; tick < 5; ++tick)
        editor->timerCallback();
    EXPECT_NEAR (editor->getHitLamp (2), std::pow (0.86f, 5.0f), 1.0e-5f);
}

TEST_F (EditorTest, CaptureButtonsMirrorThePublishedProgress)
{
    auto& analyze = control<juce::TextButton> ("button.ANALYZE");
    auto& calibrate = control<juce::TextButton> ("button.CALIBRATE");
    processor.analyzing = true;
    processor.analyzeProgress = 0.5f;
    processor.calibrating = true;
    editor->timerCallback();
    EXPECT_EQ (analyze.getButtonText(), "ANALYZE 50%");
    EXPECT_TRUE (analyze.getToggleState());
    EXPECT_TRUE (calibrate.getToggleState());
    EXPECT_EQ (editor->getLearnStatusText(), "Listening for Kick / Snare / Hi-Hat...");

    processor.analyzing = false;
    processor.calibrating = false;
    editor->timerCallback();
    EXPECT_EQ (analyze.getButtonText(), "ANALYZE");
    EXPECT_FALSE (analyze.getToggleState());
    EXPECT_FALSE (calibrate.getToggleState());
    EXPECT_EQ (editor->getLearnStatusText(), "");
}

TEST_F (EditorTest, GuideAndChangelogPanelsCoverTheWindowWhenOpened)
{
    // Canvas points inside the guide's panel and inside the changelog's panel, clear of any text.
    const auto pixelAt = [this] (float canvasX, float canvasY)
    {
        const auto image = editor->createComponentSnapshot (editor->getLocalBounds());
        const auto scale = static_cast<float> (editor->getWidth()) / Editor::canvasWidth;
        return image.getPixelAt (juce::roundToInt (canvasX * scale), juce::roundToInt (canvasY * scale)).getARGB();
    };
    constexpr juce::uint32 guidePanel = 0xff0c0e12, changelogPanel = 0xff10151c;

    EXPECT_NE (pixelAt (60.0f, 400.0f), guidePanel);
    click ("button.INFO");
    EXPECT_EQ (pixelAt (60.0f, 400.0f), guidePanel);
    EXPECT_NE (pixelAt (110.0f, 700.0f), changelogPanel);
    click ("button.UPDATES");
    EXPECT_EQ (pixelAt (110.0f, 700.0f), changelogPanel);
    click ("button.INFO");
    EXPECT_NE (pixelAt (60.0f, 400.0f), guidePanel);
}

struct CaptureCase
{
    const char* name;
    float chainMode; // the button shows in Mix (ANALYZE) or Live (CALIBRATE)
    const char* buttonId;
    std::atomic<bool> QuorinProcessor::*running;
    std::atomic<bool> QuorinProcessor::*done;
    const char* halfwayText;
    std::vector<std::pair<const char*, std::atomic<float> QuorinProcessor::*>> appliedResults;
};

class CaptureTest : public testing::TestWithParam<CaptureCase>
{
};

TEST_P (CaptureTest, WithAudioPlayingShowsProgressThenAppliesItsResults)
{
    const auto& c = GetParam();
    QuorinProcessor processor;
    processor.prepareToPlay (48000.0, 480);
    auto& mode = *processor.parameters.getParameter ("chainmode");
    mode.setValueNotifyingHost (mode.convertTo0to1 (c.chainMode));
    auto editor = openEditor (processor);
    auto* button = dynamic_cast<juce::Button*> (editor->findChildWithID (c.buttonId));
    ASSERT_NE (button, nullptr);
    EXPECT_TRUE (button->isVisible());
    button->triggerClick();
    runPendingMessages();

    juce::AudioBuffer<float> buffer (2, 480);
    juce::MidiBuffer midi;
    juce::Random random (3);
    juce::StringArray texts;
    bool litWhileRunning = false;
    for (int block = 0; block < 600; ++block) // 6 s of loud noise bursts
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int n = 0; n < 480; ++n)
                buffer.setSample (ch, n, (n < 120 ? 0.8f : 0.05f) * (random.nextFloat() * 2.0f - 1.0f));
        processor.processBlock (buffer, midi);
        editor->timerCallback();
        texts.addIfNotAlreadyThere (button->getButtonText());
        if ((processor.*c.running).load())
            litWhileRunning = button->getToggleState();
    }
    runPendingMessages();
    editor->timerCallback();

    EXPECT_TRUE (texts.contains (c.halfwayText)) << texts.joinIntoString (", ");
    EXPECT_TRUE (litWhileRunning);
    EXPECT_TRUE ((processor.*c.done).load());
    EXPECT_FALSE (button->getToggleState());
    EXPECT_EQ (button->getButtonText(), button->getComponentID().fromFirstOccurrenceOf (".", false, false));
    for (const auto& [id, published] : c.appliedResults)
        EXPECT_NEAR (processor.parameters.getRawParameterValue (id)->load(), (processor.*published).load(), 0.01f)
            << id;
}

INSTANTIATE_TEST_SUITE_P (
    EditorCapture, CaptureTest,
    testing::Values (CaptureCase { "Analyze",
                                   0.0f,
                                   "button.ANALYZE",
                                   &QuorinProcessor::analyzing,
                                   &QuorinProcessor::analysisDone,
                                   "ANALYZE 50%",
                                   { { "limiterceiling", &QuorinProcessor::analysisCeilingDb } } },
                     CaptureCase { "Calibrate",
                                   1.0f,
                                   "button.CALIBRATE",
                                   &QuorinProcessor::calibrating,
                                   &QuorinProcessor::calibrationDone,
                                   "CALIBRATE",
                                   { { "gate", &QuorinProcessor::calibratedGate },
                                     { "loudness", &QuorinProcessor::calibratedLoudness },
                                     { "smart", &QuorinProcessor::calibratedSmart } } }),
    [] (const testing::TestParamInfo<CaptureCase>& caseInfo) { return std::string (caseInfo.param.name); });

TEST (EditorLifetime, AutomatingEveryParameterWithTheEditorOpenWhileAudioRuns)
{
    QuorinProcessor processor;
    processor.prepareToPlay (48000.0, 256);
    std::atomic<bool> running { true };
    std::thread audio (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 256);
            juce::MidiBuffer midi;
            juce::Random random (11);
            while (running.load())
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int n = 0; n < buffer.getNumSamples(); ++n)
                        buffer.setSample (ch, n, random.nextFloat() * 0.6f - 0.3f);
                processor.processBlock (buffer, midi);
            }
        });

    // On a screen (the editor_on_screen test runs this on a headless X server) the window is shown
    // and really painted; the window manager's atoms must exist before the framework looks them up.
    const bool onScreen = juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty();
    if (onScreen)
        createWindowManagerAtoms();
    auto editor = openEditor (processor);
    if (onScreen)
    {
        editor->addToDesktop (juce::ComponentPeer::windowAppearsOnTaskbar);
        editor->setVisible (true);
    }
    juce::Random random (5);
    for (int round = 0; round < 3; ++round)
    {
        for (auto* parameter : processor.getParameters())
            parameter->setValueNotifyingHost (random.nextFloat());
        runMessagesFor (50);
    }
    editor->createComponentSnapshot (editor->getLocalBounds());
    editor.reset();
    runPendingMessages();

    running = false;
    audio.join();
    EXPECT_EQ (processor.getActiveEditor(), nullptr);
}
} // namespace
