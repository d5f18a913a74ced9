// The linear-phase EQ engine: the user EQ kernel, the merge with the tone curve, loading and priming.
#include "AllocationCounter.h"
#include "TestSupport.h"
#include "engines/LinearPhaseEqEngine.h"

#include <complex>

namespace
{
using Engine = QuorinProcessor::LinearPhaseEqEngine;
using Complex = std::complex<double>;
constexpr double fs = 48000.0;

/** The kernel's frequency response, summed tap by tap. */
Complex kernelResponse (const std::vector<float>& kernel, double f)
{
    Complex sum;
    for (size_t k = 0; k < kernel.size(); ++k)
        sum += static_cast<double> (kernel[k]) * std::polar (1.0, -2.0 * test::pi * f * static_cast<double> (k) / fs);
    return sum;
}

double kernelGainDb (const std::vector<float>& kernel, double f)
{
    return test::toDb (std::abs (kernelResponse (kernel, f)));
}

// The tone sections' analog prototypes, prewarped at their corners (the cookbook designs are their
// bilinear transforms): gain at f of a section with corner f0.
Complex warped (double f, double f0) { return { 0.0, std::tan (test::pi * f / fs) / std::tan (test::pi * f0 / fs) }; }

double peakDb (double f, double f0, double q, double gainDb)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const auto s = warped (f, f0);
    return test::toDb (std::abs ((s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0)));
}

double highPassDb (double f, double f0)
{
    const auto s = warped (f, f0);
    return test::toDb (std::abs (s * s / (s * s + s * (2.0 / 1.414) + 1.0)));
}

double highShelfDb (double f, double f0, double gainDb)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double k = std::sqrt (a) * std::sqrt ((a + 1.0 / a) * (1.0 / 0.72 - 1.0) + 2.0);
    const auto s = warped (f, f0);
    return test::toDb (std::abs (a * (a * s * s + k * s + 1.0) / (s * s + k * s + a)));
}

class LinearPhaseEq : public testing::Test
{
protected:
    Engine engine;
    void SetUp() override { engine.prepare ({ fs, 512, 2 }); }

    std::vector<float> process (std::vector<float> signal)
    {
        juce::AudioBuffer<float> buffer (2, static_cast<int> (signal.size()));
        for (int ch = 0; ch < 2; ++ch)
            buffer.copyFrom (ch, 0, signal.data(), buffer.getNumSamples());
        engine.process (juce::dsp::AudioBlock<float> (buffer));
        return { buffer.getReadPointer (1), buffer.getReadPointer (1) + buffer.getNumSamples() };
    }

    static std::vector<float> impulse (int length)
    {
        std::vector<float> x (static_cast<size_t> (length));
        x[0] = 1.0f;
        return x;
    }
};

const Engine::Design toneDesign { -3.0f, 2.0f, 4.0f, { 18.0f, 1.0f, -1.5f, 2600.0f, 3.0f, 9000.0f, 4.0f }, 0.78f };

std::vector<float> mergedKernel (const Engine& engine, const Engine::Design& d)
{
    auto kernel = engine.buildUserShelfImpulse (d.lowDb, d.midDb, d.highDb);
    engine.mergeLiveToneCurveLinearPhase (kernel, d.curve, d.presenceQ);
    return kernel;
}
} // namespace

TEST_F (LinearPhaseEq, FlatUserKernelIsTheUnitImpulseAtTheCentreTap)
{
    const auto kernel = engine.buildUserShelfImpulse (0.0f, 0.0f, 0.0f);
    ASSERT_EQ (kernel.size(), 257u);
    for (size_t n = 0; n < kernel.size(); ++n)
        EXPECT_NEAR (kernel[n], n == 128 ? 1.0f : 0.0f, 1.0e-6f) << n;
}

TEST_F (LinearPhaseEq, MinusOneHundredDecibelsEverywhereGivesSilence)
{
    for (float tap : engine.buildUserShelfImpulse (-100.0f, -100.0f, -100.0f))
        EXPECT_EQ (tap, 0.0f);
}

TEST_F (LinearPhaseEq, UserKernelGivesEachBandItsGain)
{
    const auto kernel = engine.buildUserShelfImpulse (-6.0f, 3.0f, 5.0f);
    EXPECT_NEAR (kernelGainDb (kernel, 40.0), -6.0, 0.3);
    EXPECT_NEAR (kernelGainDb (kernel, 1200.0), 3.0, 0.3);
    EXPECT_NEAR (kernelGainDb (kernel, 12000.0), 5.0, 0.3);
}

TEST_F (LinearPhaseEq, MergedKernelIsSymmetricAboutTheCentreTap)
{
    const auto kernel = mergedKernel (engine, toneDesign);
    for (int k = 1; k <= 128; ++k)
        EXPECT_NEAR (kernel[static_cast<size_t> (128 + k)], kernel[static_cast<size_t> (128 - k)], 1.0e-7f) << k;
}

TEST_F (LinearPhaseEq, MergedMagnitudeIsUserEqTimesToneSections)
{
    // 257 taps resolve about fs / 256 = 188 Hz, and the high-pass puts a zero on the 0 Hz bin: the kernel
    // follows the product closely from the upper mids on, while below a few hundred hertz it ripples.
    const auto& d = toneDesign;
    const auto user = engine.buildUserShelfImpulse (d.lowDb, d.midDb, d.highDb);
    const auto merged = mergedKernel (engine, d);
    const auto productDb = [&] (double f)
    {
        return kernelGainDb (user, f) + 2.0 * highPassDb (f, 18.0) + peakDb (f, 96.0, 0.55, d.curve.lowGainDb)
               + peakDb (f, 400.0, 0.82, d.curve.lowMidGainDb) + peakDb (f, 2600.0, 0.78, d.curve.presenceGainDb)
               + highShelfDb (f, 9000.0, d.curve.airGainDb);
    };
    for (double f = 700.0; f <= 16000.0; f *= 1.08)
        EXPECT_NEAR (kernelGainDb (merged, f), productDb (f), 0.5) << f << " Hz";
    for (double f = 180.0; f < 700.0; f *= 1.08)
        EXPECT_NEAR (kernelGainDb (merged, f), productDb (f), 1.0) << f << " Hz";
}

TEST_F (LinearPhaseEq, HighPassIsSquaredBelowNinetySixHertzOnly)
{
    const auto flat = engine.buildUserShelfImpulse (0.0f, 0.0f, 0.0f);
    const auto withCorner = [&] (float hpfHz)
    {
        auto kernel = flat;
        engine.mergeLiveToneCurveLinearPhase (kernel, { hpfHz, 0.0f, 0.0f, 2600.0f, 0.0f, 9000.0f, 0.0f }, 0.78f);
        return kernel;
    };
    const auto at95 = withCorner (95.0f);
    const auto at96 = withCorner (96.0f);
    const auto at97 = withCorner (97.0f);

    // At the first bin (93.75 Hz) a second 0.707-Q section takes about 3 dB more; one hertz of corner
    // alone moves the response there by a small fraction of that.
    const double bin = fs / 512.0;
    EXPECT_GT (kernelGainDb (at96, bin) - kernelGainDb (at95, bin), 1.5);
    EXPECT_LT (std::abs (kernelGainDb (at97, bin) - kernelGainDb (at96, bin)), 0.3);
    EXPECT_NEAR (kernelGainDb (at95, 3000.0), kernelGainDb (at96, 3000.0), 0.01);
}

TEST_F (LinearPhaseEq, PreparedEngineIsAPureDelayOfOneHundredTwentyEightSamples)
{
    const auto out = process (impulse (512));
    for (size_t n = 0; n < out.size(); ++n)
        EXPECT_NEAR (out[n], n == 128 ? 1.0f : 0.0f, 1.0e-6f) << n;
    EXPECT_TRUE (engine.needsRebuildFor (toneDesign));
}

TEST_F (LinearPhaseEq, RebuiltKernelIsInUseAtTheNextBlock)
{
    engine.rebuildNow (toneDesign, {});
    const auto expected = mergedKernel (engine, toneDesign);
    const auto out = process (impulse (512));
    for (size_t n = 0; n < out.size(); ++n)
        EXPECT_NEAR (out[n], n < expected.size() ? expected[n] : 0.0f, 1.0e-6f) << n;
}

TEST_F (LinearPhaseEq, RealtimeRebuildIsDesignedInTheBackgroundAndArrivesWithoutAllocating)
{
    if (! allocationCountingAvailable())
        GTEST_SKIP() << "allocations cannot be counted under a sanitizer";

    const auto expected = mergedKernel (engine, toneDesign);
    juce::AudioBuffer<float> silence (2, 64);
    {
        ScopedAllocationCounter counter;
        engine.rebuild (toneDesign);
        EXPECT_FALSE (engine.needsRebuildFor (toneDesign));
        // Silence until the kernel has arrived; the convolution's 50 ms crossfade runs out below.
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;
        while (engine.kernelPending() && juce::Time::getMillisecondCounter() < deadline)
        {
            juce::Thread::sleep (1);
            silence.clear();
            engine.process (juce::dsp::AudioBlock<float> (silence));
        }
        EXPECT_EQ (counter.count(), 0u);
    }
    ASSERT_FALSE (engine.kernelPending());

    // The convolution then loads the kernel on its own thread and crossfades to it over 50 ms.
    const auto matchesKernel = [&]
    {
        auto signal = impulse (4800);
        const auto out = process (signal);
        for (size_t n = 0; n < expected.size(); ++n)
            if (std::abs (out[n] - expected[n]) > 1.0e-6f)
                return false;
        return true;
    };
    const auto deadline = juce::Time::getMillisecondCounter() + 5000;
    bool arrived = false;
    while (! arrived && juce::Time::getMillisecondCounter() < deadline)
    {
        juce::Thread::sleep (5);
        arrived = matchesKernel();
    }
    EXPECT_TRUE (arrived);
}

TEST_F (LinearPhaseEq, RealtimeKernelChangeGlidesWithoutAClick)
{
    // A 1 kHz tone while the mid band jumps from -12 dB to +12 dB in real time, in 64-sample blocks.
    // A click would show as a sample-to-sample step larger than the tone's own: at most its peak
    // times 2·sin(π·1000/48000) = 0.131.
    engine.prepare ({ fs, 64, 2 });
    auto quiet = toneDesign;
    quiet.midDb = -12.0f;
    auto loud = toneDesign;
    loud.midDb = 12.0f;
    engine.rebuildNow (quiet, {});

    std::vector<float> out;
    const auto runBlocks = [&] (int count)
    {
        for (int b = 0; b < count; ++b)
        {
            juce::AudioBuffer<float> block (2, 64);
            for (int i = 0; i < 64; ++i)
                for (int ch = 0; ch < 2; ++ch)
                    block.setSample (ch, i,
                                     0.5f
                                         * std::sin (2.0f * juce::MathConstants<float>::pi * 1000.0f
                                                     * static_cast<float> (out.size() + static_cast<size_t> (i))
                                                     / static_cast<float> (fs)));
            engine.process (juce::dsp::AudioBlock<float> (block));
            out.insert (out.end(), block.getReadPointer (1), block.getReadPointer (1) + 64);
        }
    };
    runBlocks (40);
    engine.rebuild (loud);
    const auto deadline = juce::Time::getMillisecondCounter() + 5000;
    while (engine.kernelPending() && juce::Time::getMillisecondCounter() < deadline)
    {
        juce::Thread::sleep (1);
        runBlocks (1);
    }
    ASSERT_FALSE (engine.kernelPending());
    runBlocks (80); // past the 50 ms crossfade

    const auto peakOfLast = [&out] (size_t count)
    {
        float peak = 0.0f;
        for (size_t n = out.size() - count; n < out.size(); ++n)
            peak = std::max (peak, std::abs (out[n]));
        return peak;
    };
    const float finalPeak = peakOfLast (960);
    EXPECT_NEAR (test::toDb (finalPeak),
                 test::toDb (0.5 * std::abs (kernelResponse (mergedKernel (engine, loud), 1000.0))), 0.1);

    float largestStep = 0.0f;
    for (size_t n = 300; n < out.size(); ++n) // from the end of the first kernel's own onset
        largestStep = std::max (largestStep, std::abs (out[n] - out[n - 1]));
    EXPECT_LT (largestStep, 1.02f * 0.131f * finalPeak);
}

TEST_F (LinearPhaseEq, RebuildNowDropsTheKernelTheDesignerStillOwes)
{
    auto other = toneDesign;
    other.highDb = -6.0f;
    engine.rebuild (other);
    engine.rebuildNow (toneDesign, {});
    EXPECT_FALSE (engine.kernelPending());

    juce::Thread::sleep (100); // ample time for the designer to finish the dropped kernel
    const auto expected = mergedKernel (engine, toneDesign);
    const auto out = process (impulse (512));
    for (size_t n = 0; n < out.size(); ++n)
        EXPECT_NEAR (out[n], n < expected.size() ? expected[n] : 0.0f, 1.0e-6f) << n;
}

TEST_F (LinearPhaseEq, RebuildsOnlyWhenAValueMovesBeyondItsTolerance)
{
    engine.rebuildNow (toneDesign, {});
    EXPECT_FALSE (engine.needsRebuildFor (toneDesign));

    struct Nudge
    {
        float& (*field) (Engine::Design&);
        float within, beyond;
    };
    using D = Engine::Design;
    for (const auto& n : { Nudge { [] (D& d) -> float& { return d.lowDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.midDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.highDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.curve.hpfHz; }, 1.4f, 1.6f },
                           Nudge { [] (D& d) -> float& { return d.curve.lowMidGainDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.curve.presenceHz; }, 3.9f, 4.1f },
                           Nudge { [] (D& d) -> float& { return d.presenceQ; }, 0.03f, 0.05f },
                           Nudge { [] (D& d) -> float& { return d.curve.presenceGainDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.curve.airHz; }, 5.9f, 6.1f },
                           Nudge { [] (D& d) -> float& { return d.curve.airGainDb; }, 0.07f, 0.09f },
                           Nudge { [] (D& d) -> float& { return d.curve.lowGainDb; }, 0.07f, 0.09f } })
    {
        for (float sign : { 1.0f, -1.0f })
        {
            auto moved = toneDesign;
            n.field (moved) += sign * n.within;
            EXPECT_FALSE (engine.needsRebuildFor (moved));
            moved = toneDesign;
            n.field (moved) += sign * n.beyond;
            EXPECT_TRUE (engine.needsRebuildFor (moved));
        }
    }
}

TEST_F (LinearPhaseEq, RebuildPrimedWithRecentInputContinuesTheStream)
{
    // Noise through the first kernel, then a rebuild primed with the last 256 inputs: from the switch on
    // the output is the new kernel's convolution of the whole input, as if it had always run.
    juce::Random random (7);
    std::vector<float> input (2048);
    for (auto& x : input)
        x = random.nextFloat() - 0.5f;

    std::vector<float> head (input.begin(), input.begin() + 1024);
    process (head);

    auto other = toneDesign;
    other.highDb = -6.0f;
    juce::AudioBuffer<float> recent (2, 256);
    for (int ch = 0; ch < 2; ++ch)
        recent.copyFrom (ch, 0, input.data() + 1024 - 256, 256);
    engine.rebuildNow (other, recent);
    const auto tail = process ({ input.begin() + 1024, input.end() });

    const auto kernel = mergedKernel (engine, other);
    for (int n = 0; n < 1024; ++n)
    {
        double expected = 0.0;
        for (int k = 0; k < 257; ++k)
            expected +=
                static_cast<double> (kernel[static_cast<size_t> (k)]) * input[static_cast<size_t> (1024 + n - k)];
        ASSERT_NEAR (tail[static_cast<size_t> (n)], expected, 1.0e-5) << n;
    }
}
