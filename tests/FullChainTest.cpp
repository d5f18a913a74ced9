// The whole chain on the demo take with the Mix Clean values: finite, under the ceiling, repeatable.
#include "TestSupport.h"
#include "demo/DemoTake.h"

namespace
{
/** The demo take through a mono-input processor, as the render tool runs it. */
juce::AudioBuffer<float> renderDemo()
{
    auto processor = test::makeProcessor (48000.0, 512, 1, 2);
    processor->loadMixCleanPreset();
    processor->prepareToPlay (48000.0, 512);

    const auto take = demo::makeDemoTake();
    juce::AudioBuffer<float> buffer (2, take.getNumSamples());
    buffer.clear();
    buffer.copyFrom (0, 0, take, 0, 0, take.getNumSamples());
    test::process (*processor, buffer, 512);
    return buffer;
}
} // namespace

TEST (FullChain, MixCleanRendersTheDemoFiniteUnderTheCeilingAndRepeatably)
{
    const auto first = renderDemo();
    const float ceiling = juce::Decibels::decibelsToGain (-1.0f); // YouTube target and limiter both at -1 dB

    for (int ch = 0; ch < 2; ++ch)
    {
        for (int i = 0; i < first.getNumSamples(); ++i)
            ASSERT_TRUE (std::isfinite (first.getSample (ch, i))) << ch << ":" << i;
        EXPECT_LE (first.getMagnitude (ch, 0, first.getNumSamples()), ceiling * (1.0f + 1.0e-6f));
    }
    EXPECT_GT (test::rms (first, 1), 0.01) << "the take should come out on both sides";

    const auto second = renderDemo();
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_EQ (0, std::memcmp (first.getReadPointer (ch), second.getReadPointer (ch),
                                   sizeof (float) * static_cast<size_t> (first.getNumSamples())));
}
