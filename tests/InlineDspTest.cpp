// The inline biquad, compressor, limiter, noise gate, Linkwitz-Riley, first-order and state-variable
// TPT filters and the oversampled path against the framework's own: the same samples bit for bit, over designs, settings changed between blocks, and
// several signals.
#include "TestSupport.h"
#include "chain/OversampledPath.h"
#include "engines/InlineBiquad.h"
#include "engines/InlineCompressor.h"
#include "engines/InlineTptFilters.h"

namespace
{
constexpr double fs = 48000.0;

std::vector<float> testSignal (int seed)
{
    // Noise with loud bursts and near-silence, so that both ballistics branches and tiny states run.
    juce::Random random (seed);
    std::vector<float> x (6000);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = (random.nextFloat() * 2.0f - 1.0f) * ((n / 1000) % 2 == 0 ? 0.9f : 1.0e-6f);
    return x;
}

/** A crossover and an all-pass from the framework, and their inline copies, prepared alike. */
struct LinkwitzRileyPairs
{
    juce::dsp::LinkwitzRileyFilter<float> frameworkSplit, frameworkAllPass;
    InlineLinkwitzRiley inlinedSplit, inlinedAllPass;

    LinkwitzRileyPairs()
    {
        for (auto* f : { &frameworkSplit, &frameworkAllPass })
            f->prepare ({ fs, 512, 2 });
        for (auto* f : { &inlinedSplit, &inlinedAllPass })
            f->prepare ({ fs, 512, 2 });
        frameworkAllPass.setType (juce::dsp::LinkwitzRileyFilterType::allpass);
        inlinedAllPass.setType (juce::dsp::LinkwitzRileyFilterType::allpass);
    }
};
} // namespace

TEST (InlineBiquad, GivesTheFrameworkFiltersSamplesBitForBit)
{
    using Design = juce::dsp::IIR::ArrayCoefficients<float>;
    for (const auto& design :
         { Design::makeLowPass (fs, 415.0f, 0.72f), Design::makeHighPass (fs, 9800.0f, 0.707f),
           Design::makePeakFilter (fs, 2500.0f, 4.0f, 3.0f), Design::makeHighShelf (fs, 1500.0f, 0.707f, 1.58f) })
    {
        juce::dsp::IIR::Filter<float> framework;
        *framework.coefficients = design;
        framework.reset();
        InlineBiquad inlined;
        *inlined.coefficients = design;

        for (float x : testSignal (3))
            ASSERT_EQ (inlined.processSample (x), framework.processSample (x));
    }
}

// Lanes carry each channel's own design and states; the states are handed back between blocks.
TEST (InlineBiquad, LanesGiveTheFrameworkFiltersSamplesBitForBit)
{
    using Design = juce::dsp::IIR::ArrayCoefficients<float>;
    std::array<juce::dsp::IIR::Filter<float>, 2> framework;
    std::array<InlineBiquad, 2> inlined;
    const std::array<std::array<float, 6>, 2> designs { Design::makeHighPass (fs, 9800.0f, 0.707f),
                                                        Design::makeHighShelf (fs, 1500.0f, 0.707f, 1.58f) };
    for (size_t c = 0; c < 2; ++c)
    {
        *framework[c].coefficients = designs[c];
        framework[c].reset();
        *inlined[c].coefficients = designs[c];
    }

    const auto signal = testSignal (31);
    for (size_t start = 0; start < signal.size(); start += 700)
    {
        auto lanes = InlineBiquad::startLanes (inlined);
        for (size_t n = start; n < std::min (start + 700, signal.size()); ++n)
        {
            const auto y = lanes.process (FloatLanes { signal[n], -signal[n], 0.0f, 0.0f });
            ASSERT_EQ (y[0], framework[0].processSample (signal[n])) << n;
            ASSERT_EQ (y[1], framework[1].processSample (-signal[n])) << n;
        }
        InlineBiquad::finishLanes (lanes, inlined);
    }
}

TEST (InlineCompressor, GivesTheFrameworkCompressorsSamplesBitForBit)
{
    struct Setting
    {
        float thresholdDb, ratio, attackMs, releaseMs;
    };
    juce::dsp::Compressor<float> framework;
    InlineCompressor inlined;
    framework.prepare ({ fs, 512, 2 });
    inlined.prepare ({ fs, 512, 2 });

    const auto signal = testSignal (5);
    size_t n = 0;
    // Settings change between blocks, as the chain changes them; a zero attack takes the level at once.
    for (const auto& s : { Setting { -18.0f, 1.65f, 28.0f, 148.0f }, Setting { -30.0f, 4.0f, 0.0f, 60.0f },
                           Setting { -6.0f, 1.0f, 5.0f, 500.0f }, Setting { -24.0f, 2.5f, 1.0f, 100.0f } })
    {
        framework.setThreshold (s.thresholdDb);
        framework.setRatio (s.ratio);
        framework.setAttack (s.attackMs);
        framework.setRelease (s.releaseMs);
        inlined.setThreshold (s.thresholdDb);
        inlined.setRatio (s.ratio);
        inlined.setAttack (s.attackMs);
        inlined.setRelease (s.releaseMs);

        for (const size_t end = n + 1500; n < end; ++n)
            for (int ch = 0; ch < 2; ++ch)
            {
                const float x = ch == 0 ? signal[n] : -0.5f * signal[n];
                ASSERT_EQ (inlined.processSample (ch, x), framework.processSample (ch, x)) << n;
            }
    }
}

TEST (InlineLinkwitzRiley, GivesTheFrameworkCrossoversSamplesBitForBit)
{
    using Type = juce::dsp::LinkwitzRileyFilterType;
    for (auto type : { Type::lowpass, Type::highpass, Type::allpass })
    {
        juce::dsp::LinkwitzRileyFilter<float> framework, frameworkSplit;
        InlineLinkwitzRiley inlined, inlinedSplit;
        for (auto* f : { &framework, &frameworkSplit })
            f->prepare ({ fs, 512, 2 });
        for (auto* f : { &inlined, &inlinedSplit })
            f->prepare ({ fs, 512, 2 });
        framework.setType (type);
        inlined.setType (type);

        const auto signal = testSignal (7);
        for (size_t n = 0; n < signal.size(); ++n)
        {
            if (n % 1000 == 0) // the cutoff moves between blocks, as the multiband moves it
            {
                const float hz = 160.0f + 0.02f * static_cast<float> (n);
                framework.setCutoffFrequency (hz);
                frameworkSplit.setCutoffFrequency (hz);
                inlined.setCutoffFrequency (hz);
                inlinedSplit.setCutoffFrequency (hz);
            }
            for (int ch = 0; ch < 2; ++ch)
            {
                const float x = ch == 0 ? signal[n] : 0.25f - signal[n];
                ASSERT_EQ (inlined.processSample (ch, x), framework.processSample (ch, x)) << n;
                float low = 0.0f, high = 0.0f, expectedLow = 0.0f, expectedHigh = 0.0f;
                inlinedSplit.processSample (ch, x, low, high);
                frameworkSplit.processSample (ch, x, expectedLow, expectedHigh);
                ASSERT_EQ (low, expectedLow) << n;
                ASSERT_EQ (high, expectedHigh) << n;
            }
        }
    }
}

// The lanes run both channels side by side; blocks of 1000 with the cutoff moved between them, the
// states handed back after each.
TEST (InlineLinkwitzRiley, LanesGiveTheFrameworksSamplesBitForBit)
{
    LinkwitzRileyPairs pairs;
    auto& [frameworkSplit, frameworkAllPass, inlinedSplit, inlinedAllPass] = pairs;

    const auto signal = testSignal (29);
    constexpr int blockLength = 1000;
    std::vector<float> left (blockLength), right (blockLength), lowL (blockLength), lowR (blockLength),
        highL (blockLength), highR (blockLength);
    for (size_t start = 0; start + blockLength <= signal.size(); start += blockLength)
    {
        const float hz = 160.0f + 0.5f * static_cast<float> (start);
        for (auto* f : { &frameworkSplit, &frameworkAllPass })
            f->setCutoffFrequency (hz);
        for (auto* f : { &inlinedSplit, &inlinedAllPass })
            f->setCutoffFrequency (hz);

        for (int i = 0; i < blockLength; ++i)
        {
            left[size_t (i)] = signal[start + size_t (i)];
            right[size_t (i)] = 0.25f - signal[start + size_t (i)];
        }
        const float* const in[] = { left.data(), right.data() };
        float* const low[] = { lowL.data(), lowR.data() };
        float* const high[] = { highL.data(), highR.data() };
        auto split = inlinedSplit.startLanes();
        for (int i = 0; i < blockLength; ++i)
        {
            FloatLanes lowLanes, highLanes;
            split.crossover (FloatLanes { left[size_t (i)], right[size_t (i)], 0.0f, 0.0f }, lowLanes, highLanes);
            for (int ch = 0; ch < 2; ++ch)
            {
                low[ch][i] = lowLanes[ch];
                high[ch][i] = highLanes[ch];
            }
        }
        inlinedSplit.finishLanes (split);
        for (int i = 0; i < blockLength; ++i)
            for (int ch = 0; ch < 2; ++ch)
            {
                float expectedLow = 0.0f, expectedHigh = 0.0f;
                frameworkSplit.processSample (ch, in[ch][i], expectedLow, expectedHigh);
                ASSERT_EQ (low[ch][i], expectedLow) << start + size_t (i);
                ASSERT_EQ (high[ch][i], expectedHigh) << start + size_t (i);
            }

        auto allPass = inlinedAllPass.startLanes();
        for (int i = 0; i < blockLength; ++i)
        {
            const auto y = allPass.allPass (FloatLanes { low[0][i], low[1][i], 0.0f, 0.0f });
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ (y[ch], frameworkAllPass.processSample (ch, low[ch][i])) << start + size_t (i);
        }
        inlinedAllPass.finishLanes (allPass);
    }
}

TEST (InlineLinkwitzRiley, SplitAndAllPassInOneVectorGiveTheFrameworksSamplesBitForBit)
{
    // The crossover and the all-pass at different corners that move between blocks, on different
    // signals, so that no lane can borrow from another.
    LinkwitzRileyPairs pairs;
    auto& [frameworkSplit, frameworkAllPass, inlinedSplit, inlinedAllPass] = pairs;

    const auto signal = testSignal (31);
    constexpr size_t blockLength = 1000;
    for (size_t start = 0; start + blockLength <= signal.size(); start += blockLength)
    {
        const float hz = 2900.0f + 0.5f * static_cast<float> (start);
        frameworkSplit.setCutoffFrequency (hz);
        inlinedSplit.setCutoffFrequency (hz);
        frameworkAllPass.setCutoffFrequency (0.7f * hz);
        inlinedAllPass.setCutoffFrequency (0.7f * hz);

        auto lanes = InlineLinkwitzRiley::startPairedLanes (inlinedSplit, inlinedAllPass);
        for (size_t i = start; i < start + blockLength; ++i)
        {
            const float splitIn[] = { signal[i], 0.25f - signal[i] };
            const float allPassIn[] = { 0.5f * signal[signal.size() - 1 - i], -signal[i] };
            FloatLanes low, highAndAllPassed;
            lanes.crossoverAndAllPass (FloatLanes { splitIn[0], splitIn[1], allPassIn[0], allPassIn[1] }, low,
                                       highAndAllPassed);
            for (int ch = 0; ch < 2; ++ch)
            {
                float expectedLow = 0.0f, expectedHigh = 0.0f;
                frameworkSplit.processSample (ch, splitIn[ch], expectedLow, expectedHigh);
                ASSERT_EQ (low[ch], expectedLow) << i;
                ASSERT_EQ (highAndAllPassed[ch], expectedHigh) << i;
                ASSERT_EQ (highAndAllPassed[ch + 2], frameworkAllPass.processSample (ch, allPassIn[ch])) << i;
            }
        }
        InlineLinkwitzRiley::finishPairedLanes (lanes, inlinedSplit, inlinedAllPass);
    }
}

TEST (InlineLimiter, GivesTheFrameworkLimitersSamplesBitForBit)
{
    juce::dsp::Limiter<float> framework;
    InlineLimiter inlined;
    framework.prepare ({ fs, 512, 2 });
    inlined.prepare ({ fs, 512, 2 });

    const auto signal = testSignal (9);
    juce::AudioBuffer<float> expected (2, 500), actual (2, 500);
    // Threshold and release move between blocks (the make-up gain glides), as the multiband moves them.
    for (int b = 0; b < 12; ++b)
    {
        const float thresholdDb = -12.0f + 1.5f * static_cast<float> (b % 5);
        const float releaseMs = 45.0f + 10.0f * static_cast<float> (b % 3);
        framework.setThreshold (thresholdDb);
        framework.setRelease (releaseMs);
        inlined.setThreshold (thresholdDb);
        inlined.setRelease (releaseMs);
        for (int i = 0; i < 500; ++i)
            for (int ch = 0; ch < 2; ++ch)
            {
                const float x = 2.0f * signal[static_cast<size_t> (b * 500 + i)] * (ch == 0 ? 1.0f : -0.7f);
                expected.setSample (ch, i, x);
                actual.setSample (ch, i, x);
            }
        juce::dsp::AudioBlock<float> expectedBlock (expected);
        framework.process (juce::dsp::ProcessContextReplacing<float> (expectedBlock));
        inlined.process (juce::dsp::AudioBlock<float> (actual));
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 500; ++i)
                ASSERT_EQ (actual.getSample (ch, i), expected.getSample (ch, i)) << b << " " << i;
    }
}

TEST (InlineFirstOrderTpt, GivesTheFrameworkFiltersSamplesBitForBit)
{
    using Type = juce::dsp::FirstOrderTPTFilterType;
    for (auto type : { Type::lowpass, Type::highpass, Type::allpass })
        for (float hz : { 2920.0f, 6550.0f, 18000.0f })
        {
            juce::dsp::FirstOrderTPTFilter<float> framework;
            InlineFirstOrderTpt inlined;
            framework.prepare ({ fs, 512, 2 });
            inlined.prepare ({ fs, 512, 2 });
            framework.setType (type);
            inlined.setType (type);
            framework.setCutoffFrequency (hz);
            inlined.setCutoffFrequency (hz);

            for (float x : testSignal (13))
                for (int ch = 0; ch < 2; ++ch)
                    ASSERT_EQ (inlined.processSample (ch, ch == 0 ? x : -x),
                               framework.processSample (ch, ch == 0 ? x : -x));
        }
}

// The low-pass lanes: a left and a right filter at different cutoffs, states handed back between blocks.
TEST (InlineFirstOrderTpt, LowPassLanesGiveTheFrameworkFiltersSamplesBitForBit)
{
    std::array<juce::dsp::FirstOrderTPTFilter<float>, 2> framework;
    std::array<InlineFirstOrderTpt, 2> inlined;
    for (size_t c = 0; c < 2; ++c)
    {
        framework[c].prepare ({ fs, 512, 1 });
        inlined[c].prepare ({ fs, 512, 1 });
        framework[c].setCutoffFrequency (c == 0 ? 18000.0f : 4200.0f);
        inlined[c].setCutoffFrequency (c == 0 ? 18000.0f : 4200.0f);
    }

    const auto signal = testSignal (37);
    for (size_t start = 0; start < signal.size(); start += 900)
    {
        auto lanes = InlineFirstOrderTpt::startLowPassLanes (inlined);
        for (size_t n = start; n < std::min (start + 900, signal.size()); ++n)
        {
            const auto y = lanes.process (FloatLanes { signal[n], 0.5f * signal[n], 0.0f, 0.0f });
            ASSERT_EQ (y[0], framework[0].processSample (0, signal[n])) << n;
            ASSERT_EQ (y[1], framework[1].processSample (0, 0.5f * signal[n])) << n;
        }
        InlineFirstOrderTpt::finishLanes (lanes, inlined);
    }
}

TEST (InlineStateVariableTpt, GivesTheFrameworkFiltersSamplesBitForBit)
{
    using Type = juce::dsp::StateVariableTPTFilterType;
    for (auto type : { Type::highpass, Type::lowpass, Type::bandpass })
    {
        juce::dsp::StateVariableTPTFilter<float> framework;
        InlineStateVariableTpt inlined;
        framework.prepare ({ fs, 512, 2 });
        inlined.prepare ({ fs, 512, 2 });
        framework.setType (type);
        inlined.setType (type);

        const auto signal = testSignal (19);
        // The cutoff moves between blocks, as the chain moves it; each block ends with the snap.
        for (size_t block = 0; block < signal.size() / 500; ++block)
        {
            const float hz = std::array<float, 4> { 35.0f, 90.0f, 55.0f, 3000.0f }[block % 4];
            framework.setCutoffFrequency (hz);
            inlined.setCutoffFrequency (hz);
            for (size_t n = 500 * block; n < 500 * (block + 1); ++n)
                for (int ch = 0; ch < 2; ++ch)
                {
                    const float x = ch == 0 ? signal[n] : 0.3f * signal[n];
                    ASSERT_EQ (inlined.processSample (ch, x), framework.processSample (ch, x)) << n;
                }
            framework.snapToZero();
            inlined.snapToZero();
        }
    }
}

TEST (InlineNoiseGate, GivesTheFrameworkGatesSamplesBitForBit)
{
    juce::dsp::NoiseGate<float> framework;
    InlineNoiseGate inlined;
    framework.prepare ({ fs, 512, 2 });
    inlined.prepare ({ fs, 512, 2 });
    inlined.setAttack (1.0f);
    inlined.setRelease (55.0f);
    inlined.setRatio (8.0f);
    framework.setAttack (1.0f);
    framework.setRelease (55.0f);
    framework.setRatio (8.0f);

    const auto signal = testSignal (23);
    size_t n = 0;
    // The threshold moves between blocks; the signal's near-silent stretches close the gate.
    for (float thresholdDb : { -72.0f, -44.0f, -80.0f, -26.0f })
    {
        framework.setThreshold (thresholdDb);
        inlined.setThreshold (thresholdDb);
        for (const size_t end = n + 1500; n < end; ++n)
            for (int ch = 0; ch < 2; ++ch)
            {
                const float x = ch == 0 ? signal[n] : -0.5f * signal[n];
                ASSERT_EQ (inlined.processSample (ch, x), framework.processSample (ch, x)) << n;
            }
    }
}

// The chain's oversampled path against the framework's 4× polyphase IIR oversampler, with a shaper
// between the two passes, for stereo and mono and blocks that split beyond the prepared size.
TEST (OversampledPath, GivesTheFrameworkOversamplersSamplesBitForBit)
{
    constexpr int maxBlock = 256;
    const auto shape = [] (juce::dsp::AudioBlock<float>& up) noexcept
    {
        for (size_t ch = 0; ch < up.getNumChannels(); ++ch)
            for (size_t i = 0; i < up.getNumSamples(); ++i)
                up.getChannelPointer (ch)[i] = std::tanh (2.0f * up.getChannelPointer (ch)[i]);
    };
    const auto signal = testSignal (17);

    for (int channels : { 2, 1 })
    {
        juce::dsp::Oversampling<float> framework (2, 2, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR,
                                                  true, false);
        framework.initProcessing (maxBlock);
        OversampledPath inlined;
        inlined.prepare (maxBlock);

        juce::AudioBuffer<float> expected (channels, static_cast<int> (signal.size()));
        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < expected.getNumSamples(); ++i)
                expected.setSample (ch, i, (ch == 0 ? 1.0f : -0.7f) * signal[static_cast<size_t> (i)]);
        auto actual = expected;

        int start = 0;
        for (int block = 0; start < expected.getNumSamples(); ++block)
        {
            const int length =
                juce::jmin (std::array<int, 5> { 256, 64, 1, 37, 700 }[block % 5], expected.getNumSamples() - start);
            for (int offset = 0; offset < length; offset += maxBlock)
            {
                auto chunk = juce::dsp::AudioBlock<float> (expected).getSubBlock (
                    static_cast<size_t> (start + offset), static_cast<size_t> (juce::jmin (maxBlock, length - offset)));
                auto up = framework.processSamplesUp (chunk);
                shape (up);
                framework.processSamplesDown (chunk);
            }
            inlined.process (juce::dsp::AudioBlock<float> (actual).getSubBlock (static_cast<size_t> (start),
                                                                                static_cast<size_t> (length)),
                             shape);
            start += length;
        }

        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < expected.getNumSamples(); ++i)
                ASSERT_EQ (actual.getSample (ch, i), expected.getSample (ch, i)) << channels << " " << ch << " " << i;
    }
}
