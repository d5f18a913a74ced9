// The built VST3 and LV2 plug-ins as a host sees them, loaded through the framework's own plug-in
// hosting: state round trips with random parameters (every value and the bytes), processing at
// several rates and block sizes with hostile input, automation of every parameter while processing,
// and the editor opened and closed (run under a headless X server).
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

// BareXServer.cpp
void createWindowManagerAtoms();
void ignoreXErrors();

namespace
{
enum class Format
{
    vst3,
    lv2
};

const char* nameOf (Format f) { return f == Format::vst3 ? "VST3" : "LV2"; }

juce::AudioPluginFormatManager& formats()
{
    static juce::AudioPluginFormatManager manager;
    if (manager.getNumFormats() == 0)
    {
        manager.addFormat (new juce::VST3PluginFormat());
        manager.addFormat (new juce::LV2PluginFormat());
    }
    return manager;
}

juce::PluginDescription describe (Format f)
{
    juce::OwnedArray<juce::PluginDescription> found;
    if (f == Format::vst3)
    {
        formats().getFormat (0)->findAllTypesForFile (found, VANTORA_VST3_BUNDLE);
    }
    else
    {
        auto* lv2 = formats().getFormat (1);
        lv2->searchPathsForPlugins (juce::FileSearchPath (VANTORA_LV2_BUNDLE_PARENT), true, false);
        lv2->findAllTypesForFile (found, VANTORA_LV2_URI);
    }
    return found.isEmpty() ? juce::PluginDescription() : *found.getFirst();
}

std::unique_ptr<juce::AudioPluginInstance> load (Format f, double rate = 48000.0, int block = 512)
{
    const auto description = describe (f);
    juce::String error;
    auto instance = formats().createPluginInstance (description, rate, block, error);
    EXPECT_NE (instance, nullptr) << nameOf (f) << ": " << error;
    return instance;
}

juce::MemoryBlock stateOf (juce::AudioPluginInstance& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

juce::AudioProcessorParameter* parameterNamed (juce::AudioPluginInstance& p, const char* name)
{
    for (auto* parameter : p.getParameters())
        if (parameter->getName (64) == name)
            return parameter;
    return nullptr;
}

bool isOn (juce::AudioPluginInstance& p, const char* name)
{
    const auto* parameter = parameterNamed (p, name);
    return parameter != nullptr && parameter->getValue() > 0.5f;
}

/** What the output may hold: full scale at most; subnormals only when bypassed, the input (delayed
    by the latency) passing through as it came. */
struct OutputRule
{
    float bound = 1.0f;
    bool subnormalsPass = false;
};

OutputRule outputRule (juce::AudioPluginInstance& p) { return { 1.0f, isOn (p, "Bypass") }; }

/** Every output sample finite, within the bound, and not subnormal unless passed through. */
void expectSane (const juce::AudioBuffer<float>& out, const OutputRule& rule, const juce::String& what)
{
    for (int ch = 0; ch < out.getNumChannels(); ++ch)
        for (int i = 0; i < out.getNumSamples(); ++i)
        {
            const float x = out.getSample (ch, i);
            const bool subnormal = std::fpclassify (x) == FP_SUBNORMAL && ! rule.subnormalsPass;
            ASSERT_TRUE (std::isfinite (x) && ! subnormal && std::abs (x) <= rule.bound)
                << what << ": channel " << ch << " sample " << i << " is " << x;
        }
}

/** One block of quiet noise, so that parameter changes reach the plug-in, and a moment of the message
    loop, so that the plug-in's answers reach the host's view of its parameters. */
void exchangeParameters (juce::AudioPluginInstance& p)
{
    juce::AudioBuffer<float> buffer (2, 64);
    juce::Random random (1);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 64; ++i)
            buffer.setSample (ch, i, 0.01f * random.nextFloat());
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
}

/** Noise bursts, with NaN, infinity and subnormal values in some blocks. */
void fillInput (juce::AudioBuffer<float>& b, juce::Random& random, int blockIndex)
{
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        for (int i = 0; i < b.getNumSamples(); ++i)
            b.setSample (ch, i, 0.5f * (2.0f * random.nextFloat() - 1.0f));
    const float hostile[] { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1.0e-40f, -1.0e-41f };
    if (blockIndex % 7 == 3)
        b.setSample (blockIndex % b.getNumChannels(), 0, hostile[(blockIndex / 7) % 5]);
    if (blockIndex % 11 == 5)
        for (int ch = 0; ch < b.getNumChannels(); ++ch)
            for (int i = 0; i < b.getNumSamples(); ++i)
                b.setSample (ch, i, 1.0e-39f);
}

class Hosted : public testing::TestWithParam<Format>
{
};
} // namespace

TEST_P (Hosted, StateRoundTripKeepsEveryValueAndTheBytes)
{
    const auto f = GetParam();
    juce::Random random (42);
    for (int round = 0; round < 5; ++round)
    {
        auto first = load (f);
        ASSERT_NE (first, nullptr);
        first->prepareToPlay (48000.0, 64);
        for (auto* parameter : first->getParameters())
            parameter->setValueNotifyingHost (random.nextFloat());
        exchangeParameters (*first);
        const auto saved = stateOf (*first);

        // Two fresh instances restored from the block hold the same values and write the same bytes;
        // the host's own view of the first instance keeps what it sent, not the plug-in's value on
        // its step, so it is not the reference.
        auto second = load (f);
        auto third = load (f);
        ASSERT_TRUE (second != nullptr && third != nullptr);
        int awayFromDefault = 0;
        for (auto* p : { second.get(), third.get() })
        {
            p->prepareToPlay (48000.0, 64);
            p->setStateInformation (saved.getData(), int (saved.getSize()));
            exchangeParameters (*p);
            EXPECT_TRUE (stateOf (*p) == saved) << nameOf (f) << " round " << round;
        }
        const auto& b = second->getParameters();
        const auto& c = third->getParameters();
        ASSERT_EQ (b.size(), c.size());
        for (int i = 0; i < b.size(); ++i)
        {
            EXPECT_EQ (b[i]->getValue(), c[i]->getValue())
                << nameOf (f) << " " << b[i]->getName (64) << " round " << round;
            awayFromDefault += std::abs (b[i]->getValue() - b[i]->getDefaultValue()) > 1.0e-3f ? 1 : 0;
        }
        EXPECT_GT (awayFromDefault, b.size() / 2) << "the random values did not reach the state";
    }
}

TEST_P (Hosted, EveryRateAndBlockSizeGivesSaneOutput)
{
    const auto f = GetParam();
    juce::Random random (7);
    for (double rate : { 44100.0, 48000.0, 96000.0 })
        for (int block : { 1, 64, 1024 })
        {
            auto plugin = load (f, rate, block);
            ASSERT_NE (plugin, nullptr);
            plugin->prepareToPlay (rate, block);
            juce::AudioBuffer<float> buffer (2, block);
            juce::MidiBuffer midi;
            const int blocks = int (0.2 * rate) / block;
            for (int n = 0; n < blocks; ++n)
            {
                fillInput (buffer, random, n);
                plugin->processBlock (buffer, midi);
                expectSane (buffer, outputRule (*plugin),
                            juce::String (nameOf (f)) + " " + juce::String (rate) + " Hz, block "
                                + juce::String (block));
                if (testing::Test::HasFatalFailure())
                    return;
            }
            plugin->releaseResources();
        }
}

TEST_P (Hosted, AutomatingEveryParameterWhileProcessingGivesSaneOutput)
{
    const auto f = GetParam();
    auto plugin = load (f);
    ASSERT_NE (plugin, nullptr);
    plugin->prepareToPlay (48000.0, 64);
    juce::Random random (9);
    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;
    const auto& parameters = plugin->getParameters();
    for (int n = 0; n < 6000; ++n)
    {
        // Every parameter in turn, and now and then one at random, as automation lanes would.
        parameters[n % parameters.size()]->setValueNotifyingHost (random.nextFloat());
        if (n % 5 == 0)
            parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());
        fillInput (buffer, random, n);
        plugin->processBlock (buffer, midi);
        expectSane (buffer, outputRule (*plugin), juce::String (nameOf (f)) + " block " + juce::String (n));
        if (testing::Test::HasFatalFailure())
            return;
    }
}

TEST_P (Hosted, TheEditorOpensAndCloses)
{
    const auto f = GetParam();
    auto plugin = load (f);
    ASSERT_NE (plugin, nullptr);
    ASSERT_TRUE (plugin->hasEditor());
    for (int round = 0; round < 2; ++round)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr) << nameOf (f);
        EXPECT_GT (editor->getWidth(), 0);
        EXPECT_GT (editor->getHeight(), 0);
        ignoreXErrors(); // a plug-in's copy of the framework may have put back Xlib's default handler
        editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        editor->setVisible (true);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
        editor->setVisible (false);
        editor->removeFromDesktop();
        editor.reset();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
    }
}

INSTANTIATE_TEST_SUITE_P (HostedPlugin, Hosted, testing::Values (Format::vst3, Format::lv2),
                          [] (const testing::TestParamInfo<Format>& param)
                          { return std::string (nameOf (param.param)); });

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI framework;
    createWindowManagerAtoms();
    return RUN_ALL_TESTS();
}
