// The width stage: mono lows, decorrelated highs, the correlation guard and the phase-matched blend.
#include "StageDriving.h"

namespace
{
constexpr double rate = 48000.0;

using WidthRig = test::StageRig<WidthStage>;

/** A width stage at full blend in the given chain mode. */
WidthRig widthProcessor (float chainMode, float widpct = 1.0f)
{
    return test::rigFor<WidthStage> (test::preparedWith ({ { Param::chainmode, chainMode },
                                                           { Param::widthon, 1.0f },
                                                           { Param::widpct, widpct },
                                                           { Param::mixmode, 0.0f },
                                                           { Param::voicemode, 0.0f } }),
                                     rate);
}

test::BlockEdit widthAmount (float w)
{
    return [w] (ChainBlock& block) { block.controls.widthAmt = w; };
}

void runWidth (const WidthRig& rig, juce::AudioBuffer<float>& signal, float w)
{
    auto& width = *rig.stage;
    test::driveStage (
        *rig, signal, 512, [&width] (auto& b, const ChainBlock& block) { width.process (b, block); }, widthAmount (w));
}

/** |bands of a 540 Hz Linkwitz-Riley high band| at f: a squared second-order Butterworth high-pass. */
double linkwitzRileyHighMagnitude (double f)
{
    const double omega = std::tan (test::pi * f / rate) / std::tan (test::pi * 540.0 / rate);
    return std::pow (omega, 4.0) / (1.0 + std::pow (omega, 4.0));
}

juce::AudioBuffer<float> halfSum (const juce::AudioBuffer<float>& b, float sign)
{
    juce::AudioBuffer<float> out (1, b.getNumSamples());
    for (int i = 0; i < b.getNumSamples(); ++i)
        out.setSample (0, i, 0.5f * (b.getSample (0, i) + sign * b.getSample (1, i)));
    return out;
}
} // namespace

TEST (WidthStage, EverythingBelowTheSplitLeavesAsMono)
{
    for (const float w : { 0.02f, 0.5f, 1.0f })
    {
        auto processor = widthProcessor (0.0f);
        auto signal = test::sine (2, static_cast<int> (rate), 100.0, rate, 0.3f);
        signal.applyGain (1, 0, signal.getNumSamples(), -1.0f); // all side, no mid
        runWidth (processor, signal, w);
        const auto side = halfSum (signal, -1.0f);
        EXPECT_LT (test::toDb (test::rms (side, 0, 24000) / 0.3), -40.0) << "w " << w;
    }
}

TEST (WidthStage, IdenticalChannelsGainADecorrelatedSideAboveTheSplit)
{
    const float w = 0.4f;
    const double guarded = w * 0.1 / 0.095; // correlation 1 in "Mix / Master"
    for (const double f : { 1500.0, 4000.0, 10000.0 })
    {
        auto processor = widthProcessor (0.0f);
        auto signal = test::sine (2, static_cast<int> (rate), f, rate, 0.01f);
        runWidth (processor, signal, w);

        const auto allpassDifference =
            std::abs (test::firstOrderAllPass (f, 2920.0, rate) - test::firstOrderAllPass (f, 6550.0, rate));
        const double expectedSide = 0.92 * guarded * linkwitzRileyHighMagnitude (f) * allpassDifference / 2.0;
        const double measuredSide = test::rms (halfSum (signal, -1.0f), 0, 24000) / (0.01 / std::sqrt (2.0));
        EXPECT_NEAR (test::toDb (measuredSide), test::toDb (expectedSide), 0.1) << f << " Hz";
    }
}

TEST (WidthStage, CorrelationGuardScalesTheWidthInMixMaster)
{
    // L = a, R = ρ·a + sqrt(1 − ρ²)·b with a and b orthogonal over every 512-sample block.
    const auto correlated = [] (double rho)
    {
        auto b = test::sine (2, 24576, 1500.0, rate, 0.01f);
        const auto other = test::sine (1, 24576, 1500.0, rate, 0.01f, test::pi / 2.0);
        b.applyGain (1, 0, b.getNumSamples(), static_cast<float> (rho));
        b.addFrom (1, 0, other, 0, 0, b.getNumSamples(), static_cast<float> (std::sqrt (1.0 - rho * rho)));
        return b;
    };
    const auto correlationOf = [] (const juce::AudioBuffer<float>& b)
    {
        double lr = 0, ll = 0, rr = 0;
        for (int i = 0; i < 512; ++i)
        {
            lr += double (b.getSample (0, i)) * b.getSample (1, i);
            ll += double (b.getSample (0, i)) * b.getSample (0, i);
            rr += double (b.getSample (1, i)) * b.getSample (1, i);
        }
        return lr / std::sqrt (ll * rr);
    };

    const struct
    {
        double rho;
        double factor; // worked by hand from the guard's rule
    } cases[] { { 0.85, 1.0 }, { 0.95, 0.526 }, { 0.91, 0.105 }, { 1.0, 1.0526 } };

    const float w = 0.5f;
    for (const auto& c : cases)
    {
        auto input = correlated (c.rho);
        const double exactFactor = c.rho > 0.9 ? (correlationOf (input) - 0.9) / 0.095 : 1.0;
        ASSERT_NEAR (exactFactor, c.factor, 1.0e-3);

        auto guarded = input, reference = input;
        auto mixMaster = widthProcessor (0.0f);
        runWidth (mixMaster, guarded, w);
        auto live = widthProcessor (1.0f); // no guard in "Live Performance"
        runWidth (live, reference, static_cast<float> (w * exactFactor));

        // The guard's factor ramps in within 20 ms (two blocks); from then on the widths agree.
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 2 * 512; i < input.getNumSamples(); i += 7)
                ASSERT_NEAR (guarded.getSample (ch, i), reference.getSample (ch, i), 2.0e-6f)
                    << "ρ " << c.rho << " at " << i;
    }
}

TEST (WidthStage, BlendWithTheDryIsMagnitudeFlatAtEveryAmount)
{
    for (const float widpct : { 0.1f, 0.3f, 0.55f, 0.6f, 0.9f })
        for (const double f : { 100.0, 300.0, 540.0, 800.0, 2000.0, 6000.0, 12000.0 })
        {
            const auto gainOf = [&] (int channel, float w)
            {
                return test::toneGainDb ([&] (juce::AudioBuffer<float>& b)
                                         { runWidth (widthProcessor (0.0f, widpct), b, w); },
                                         f, 2, channel);
            };
            // Identical channels at a small width: each channel flat.
            EXPECT_NEAR (gainOf (0, 0.02f), 0.0, 0.3) << "left, widpct " << widpct << ", " << f << " Hz";
            EXPECT_NEAR (gainOf (1, 0.02f), 0.0, 0.3) << "right, widpct " << widpct << ", " << f << " Hz";
        }
}

TEST (WidthStage, MonoContentDoesNotCancelAtTheSplitWhenBlended)
{
    for (const float widpct : { 0.55f, 0.6f })
        for (const double f : { 300.0, 540.0, 800.0 })
        {
            const double gain = test::toneGainDb (
                [&] (juce::AudioBuffer<float>& b)
                {
                    runWidth (widthProcessor (0.0f, widpct), b, 0.5f);
                    b.copyFrom (0, 0, halfSum (b, 1.0f), 0, 0, b.getNumSamples());
                },
                f);
            EXPECT_NEAR (gain, 0.0, 0.05) << "widpct " << widpct << ", " << f << " Hz";
        }
}
