// vantora-soak: random automation against one processor for a given number of seconds: parameters,
// presets, bypass, state saves and loads, CALIBRATE and ANALYZE, re-prepares at random rates and block
// sizes from 1 to 8192, and blocks longer than prepared, with NaN, infinity and subnormal input now
// and then. Every output sample must be finite and within ±1. Prints what it ran; exits 1 at the
// first bad sample, naming the seed that reproduces it.
#include "processor/PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <cmath>
#include <iostream>

namespace
{
constexpr double rates[] { 8000.0,  11025.0, 16000.0, 22050.0,  32000.0,  44100.0,
                           48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0 };

struct Counts
{
    double audioSeconds = 0.0;
    juce::int64 blocks = 0, parameterChanges = 0, presets = 0, bypassToggles = 0, stateSaves = 0, stateLoads = 0,
                prepares = 0, oversizedBlocks = 0, captures = 0;
};

void fillInput (juce::AudioBuffer<float>& b, juce::Random& random, double rate)
{
    const int kind = random.nextInt (10);
    const float level = random.nextFloat() * 0.95f;
    const double frequency = 20.0 + random.nextFloat() * 0.45 * rate;
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        for (int i = 0; i < b.getNumSamples(); ++i)
        {
            float x = 0.0f;
            if (kind < 5)
                x = level * (2.0f * random.nextFloat() - 1.0f);
            else if (kind < 8)
                x = level * float (std::sin (2.0 * juce::MathConstants<double>::pi * frequency * i / rate));
            else if (kind == 8)
                x = 1.0e-39f;
            b.setSample (ch, i, x);
        }
    if (random.nextInt (20) == 0 && b.getNumSamples() > 0)
    {
        const float hostile[] { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity() };
        b.setSample (random.nextInt (b.getNumChannels()), random.nextInt (b.getNumSamples()),
                     hostile[random.nextInt (3)]);
    }
}

/** The first sample that is not finite or beyond the bound, or -1. */
int firstBadSample (const juce::AudioBuffer<float>& b, float bound, int& channel)
{
    for (channel = 0; channel < b.getNumChannels(); ++channel)
        for (int i = 0; i < b.getNumSamples(); ++i)
            if (! (std::abs (b.getSample (channel, i)) <= bound))
                return i;
    return -1;
}

void print (const Counts& c, juce::int64 seed)
{
    std::cout << "seed " << seed << ": " << c.audioSeconds << " s of audio in " << c.blocks << " blocks ("
              << c.oversizedBlocks << " longer than prepared); " << c.parameterChanges << " parameter changes, "
              << c.presets << " presets, " << c.bypassToggles << " bypass toggles, " << c.stateSaves << " state saves, "
              << c.stateLoads << " state loads, " << c.prepares << " prepares, " << c.captures << " capture requests\n";
}
} // namespace

int main (int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof (argv[1]) : 60.0;
    const juce::int64 seed = argc > 2 ? std::atoll (argv[2]) : juce::Time::currentTimeMillis();
    juce::ScopedJuceInitialiser_GUI framework;
    juce::Random random (seed);

    QuorinProcessor processor;
    auto& parameters = processor.getParameters();
    void (QuorinProcessor::*const presets[])() = { &QuorinProcessor::loadMixCleanPreset,
                                                   &QuorinProcessor::loadMixYouTubePunchPreset,
                                                   &QuorinProcessor::loadMixStreamingSafePreset,
                                                   &QuorinProcessor::loadMixMinimalPreset,
                                                   &QuorinProcessor::loadBeatboxTightPreset };

    Counts counts;
    double rate = 48000.0;
    int prepared = 512;
    juce::MemoryBlock savedState;
    juce::AudioBuffer<float> buffer (2, 2 * 8192);
    juce::MidiBuffer midi;

    const auto prepare = [&]
    {
        rate = rates[random.nextInt (int (std::size (rates)))];
        prepared = 1 + random.nextInt (8192);
        processor.prepareToPlay (rate, prepared);
        ++counts.prepares;
    };
    prepare();

    const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    while (juce::Time::getMillisecondCounterHiRes() < end)
    {
        const int action = random.nextInt (100);
        if (action < 30)
        {
            parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());
            ++counts.parameterChanges;
        }
        else if (action == 30)
        {
            (processor.*presets[random.nextInt (5)])();
            ++counts.presets;
        }
        else if (action == 31)
        {
            auto* bypass = processor.getBypassParameter();
            bypass->setValueNotifyingHost (bypass->getValue() > 0.5f ? 0.0f : 1.0f);
            ++counts.bypassToggles;
        }
        else if (action == 32)
        {
            processor.getStateInformation (savedState);
            ++counts.stateSaves;
        }
        else if (action == 33 && savedState.getSize() > 0)
        {
            processor.setStateInformation (savedState.getData(), int (savedState.getSize()));
            ++counts.stateLoads;
        }
        else if (action == 34 && random.nextInt (4) == 0)
            prepare();
        else if (action == 35 && random.nextInt (8) == 0)
        {
            (random.nextBool() ? processor.calibrateRequested : processor.analyzeRequested).store (true);
            ++counts.captures;
        }
        else
        {
            // Mostly within the prepared size; one block in twenty longer, up to twice as long.
            const bool oversized = random.nextInt (20) == 0;
            const int n = oversized ? prepared + 1 + random.nextInt (prepared) : 1 + random.nextInt (prepared);
            juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), 2, n);
            fillInput (block, random, rate);
            processor.processBlock (block, midi);

            int channel = 0;
            if (const int bad = firstBadSample (block, 1.0f, channel); bad >= 0)
            {
                std::cout << "FAILED: sample " << bad << " of channel " << channel << " is "
                          << block.getSample (channel, bad) << " (block of " << n << " at " << rate
                          << " Hz, prepared for " << prepared << ")\n";
                print (counts, seed);
                return 1;
            }
            counts.audioSeconds += n / rate;
            counts.oversizedBlocks += oversized ? 1 : 0;
            ++counts.blocks;
        }
    }

    print (counts, seed);
    std::cout << "every sample finite and within full scale\n";
    return 0;
}
