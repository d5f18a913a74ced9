// The whole chain on the demo take with the Mix Clean values: finite, under the ceiling, repeatable.
#include "TestSupport.h"
#include "demo/DemoTake.h"

namespace
{
// The "Mix Clean" factory values (shared mix base, then its own), written here so that the test
// does not depend on what a new processor starts with.
const std::pair<Param, float> mixCleanValues[] {
    { Param::chainmode, 0 }, { Param::mic, 3 }, { Param::gate, 0.04f }, { Param::beast, 0 }, { Param::sub, 0.21f },
    { Param::detail, 0.44f }, { Param::smart, 0 }, { Param::live, 0 }, { Param::adaptivehit, 0 }, { Param::reverbon, 1 },
    { Param::antifeedback, 0 }, { Param::popfilter, 0 }, { Param::eqlow, -2.0f }, { Param::eqmid, 1.3f },
    { Param::eqhigh, 1.4f }, { Param::outputgain, 0 }, { Param::output, 0 }, { Param::limiterceiling, -1.0f },
    { Param::lineareq, 1 }, { Param::responseprofile, 1 }, { Param::mixmode, 0 }, { Param::venue, 1 },
    { Param::revflavourdecay, 2.0f }, { Param::revflavourpredelay, 14 }, { Param::revflavourdamping, 7200 },
    { Param::revflavourlowcut, 220 }, { Param::revflavourhicut, 19800 }, { Param::revflavourwidth, 0.55f },
    { Param::revduckflavour, 0.28f }, { Param::gateknobon, 1 }, { Param::smartknobon, 0 }, { Param::liveknobon, 0 },
    { Param::beastknobon, 0 }, { Param::flavourknobon, 1 }, { Param::smackknobon, 1 }, { Param::loudknobon, 1 },
    { Param::widthknobon, 1 }, { Param::airknobon, 1 }, { Param::subknobon, 1 }, { Param::detailknobon, 1 },
    { Param::punchknobon, 1 }, { Param::transientband, 160 }, { Param::transientsnap, 0.52f },
    { Param::transientsmooth, 0.48f }, { Param::loudnessmatch, 1 }, { Param::loudnessmeter, 1 }, { Param::limiteron, 1 },
    { Param::eqon, 1 }, { Param::dynamicson, 1 }, { Param::saturationon, 1 }, { Param::widthon, 1 }, { Param::limpct, 1 },
    { Param::smack, 0.26f }, { Param::loudness, 0.24f }, { Param::width, 0 }, { Param::air, 0.32f },
    { Param::flavour, 0.2f }, { Param::eqpct, 1 }, { Param::dynpct, 0.5f }, { Param::satpct, 0.15f },
    { Param::revpct, 0.44f }, { Param::widpct, 0.6f }, { Param::makeuppct, 0.75f }, { Param::subharmpct, 0.1f },
    { Param::outputtarget, 2 }, { Param::transientattack, 0.26f }, { Param::transientsustain, 0.74f },
    { Param::transientceiling, 0.42f },
};

/** The demo take through a mono-input processor, as the render tool runs it. */
juce::AudioBuffer<float> renderDemo()
{
    auto processor = test::makeProcessor (48000.0, 512, 1, 2);
    for (const auto& [param, value] : mixCleanValues)
        test::set (*processor, param, value);
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
