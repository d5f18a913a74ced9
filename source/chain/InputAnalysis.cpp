#include "processor/PluginProcessor.h"

namespace
{
constexpr double calibrationSeconds = 4.0;
constexpr double analysisSeconds = 5.0;

/** 20·log10(level), or -100 when the level is below 1e-6 or the result is not above -100. */
float decibelsFloored (double level) noexcept
{
    if (level < 1.0e-6)
        return -100.0f;
    const auto db = static_cast<float> (20.0 * std::log10 (level));
    return db > -100.0f ? db : -100.0f;
}

float progressOf (int remaining, int total) noexcept
{
    return 1.0f - static_cast<float> (remaining) / static_cast<float> (juce::jmax (total, 1));
}

struct TransientSettings
{
    float attack, sustain;
};

/** Attack and sustain from the crest factor and how far the take is above -14 LUFS. */
TransientSettings transientSettingsFor (bool mixMaster, float crest, float over) noexcept
{
    if (mixMaster)
        return { juce::jlimit (0.14f, 0.44f, 0.34f - 0.018f * (crest - 11.0f) - 0.022f * over),
                 juce::jlimit (0.58f, 0.88f, 0.74f - 0.012f * over) };
    return { juce::jlimit (0.16f, 0.7f, 0.62f - 0.024f * (crest - 11.0f) - 0.035f * over),
             juce::jlimit (0.38f, 0.84f, 0.66f - 0.018f * over) };
}
} // namespace

void QuorinProcessor::runInputCaptures (const juce::AudioBuffer<float>& buffer)
{
    startRequestedCaptures();

    if (calRemaining > 0)
    {
        advanceCalibration (buffer);
        if (calRemaining <= 0)
            completeCalibration();
    }

    if (anRemaining > 0)
    {
        advanceAnalysis (buffer);
        if (anRemaining <= 0)
            completeAnalysis();
    }
}

void QuorinProcessor::startRequestedCaptures()
{
    // A new request restarts a running capture of the same kind.
    if (calibrateRequested.exchange (false))
    {
        calPeak = 0.0f;
        calSumSquares = 0.0;
        calCount = 0;
        calFloor = 1.0f;
        calFloorFast = -1.0f;
        calTotal = calRemaining = static_cast<int> (calibrationSeconds * currentSampleRate);
        calibrating.store (true);
        calibrateProgress.store (0.0f);
    }

    if (analyzeRequested.exchange (false))
    {
        anSumSquares = anChannelPowerSum = 0.0;
        anCount = 0;
        anPeak = 0.0f;
        anTotal = anRemaining = static_cast<int> (analysisSeconds * currentSampleRate);
        analysisDone.store (false);
        analyzing.store (true);
        analyzeProgress.store (0.0f);
    }
}

void QuorinProcessor::advanceCalibration (const juce::AudioBuffer<float>& buffer) noexcept
{
    const int count = juce::jmin (calRemaining, buffer.getNumSamples());
    const float* left = buffer.getReadPointer (0);
    const float* right = buffer.getNumChannels() > 1 ? buffer.getReadPointer (1) : left;

    for (int i = 0; i < count; ++i)
    {
        const float x = juce::jmax (std::abs (left[i]), std::abs (right[i]));
        calPeak = juce::jmax (calPeak, x);
        calSumSquares += static_cast<double> (x) * x;

        // The fast tracker falls quickly and rises slowly; the floor follows it more slowly still.
        if (calFloorFast < 0.0f)
            calFloorFast = juce::jmax (1.0e-6f, x);
        else
            calFloorFast += (x - calFloorFast) * (x < calFloorFast ? 0.035f : 0.0012f);

        if (calFloor >= 1.0f)
            calFloor = calFloorFast;
        else if (calFloor > calFloorFast)
            calFloor = 0.82f * calFloor + 0.18f * calFloorFast;
        else
            calFloor += (calFloorFast - calFloor) * 0.0002f;
    }

    calRemaining -= count;
    calCount += count;
    calibrateProgress.store (progressOf (calRemaining, calTotal));
}

void QuorinProcessor::completeCalibration()
{
    const double rms = std::sqrt (calSumSquares / juce::jmax (calCount, 1));
    const float peak = juce::jmax (calPeak, 1.0e-4f);
    float floor = calFloor;

    float gate = 0.0f;
    if (floor < 1.0e-5f)
    {
        floor = 1.0e-5f;
        gate = 0.02f;
    }
    else
        gate = juce::jlimit (0.02f, 0.25f, 3.2f * floor);

    const float loudness = juce::jlimit (0.08f, 0.48f, (0.13f - static_cast<float> (rms)) * 1.45f + 0.26f);
    const float headroom = peak / floor;
    const float smart = headroom < 1.0f ? 0.4f : juce::jlimit (0.35f, 0.85f, 0.4f + 0.14f * std::log10 (headroom));

    writeParameters ({ { Param::gate, gate }, { Param::loudness, loudness }, { Param::smart, smart } });
    calibratedGate.store (gate);
    calibratedLoudness.store (loudness);
    calibratedSmart.store (smart);
    calibratedNoiseFloorDb.store (decibelsFloored (floor));
    calibratedPeakDb.store (decibelsFloored (peak));

    calibrationDone.store (true);
    calibrating.store (false);
    calibrateProgress.store (1.0f);
}

void QuorinProcessor::advanceAnalysis (const juce::AudioBuffer<float>& buffer) noexcept
{
    const int count = juce::jmin (anRemaining, buffer.getNumSamples());
    const float* left = buffer.getReadPointer (0);
    const float* right = buffer.getNumChannels() > 1 ? buffer.getReadPointer (1) : left;

    for (int i = 0; i < count; ++i)
    {
        const double l = left[i], r = right[i];
        anPeak = juce::jmax (anPeak, std::abs (left[i]), std::abs (right[i]));
        const double mid = right == left ? l : (l + r) * 0.5;
        anSumSquares += mid * mid;
        anChannelPowerSum += l * l + r * r;
    }

    anRemaining -= count;
    anCount += count;
    analyzeProgress.store (progressOf (anRemaining, anTotal));
}

void QuorinProcessor::completeAnalysis()
{
    const double samples = juce::jmax (anCount, 1);
    const float rmsDb = decibelsFloored (std::sqrt (anSumSquares / samples));
    const float peakDb = decibelsFloored (anPeak);

    // Loudness with the channel powers summed, as the output meter measures it (a one-channel
    // buffer counts its channel twice): a take played on both sides reads 3 dB above its mid RMS.
    const float lufs = decibelsFloored (std::sqrt (anChannelPowerSum / samples)) - 0.691f;
    const float crest = juce::jmax (0.0f, peakDb - rmsDb);
    const float over = juce::jmax (0.0f, lufs + 14.0f);
    const float ceiling = over > 0.0f ? juce::jlimit (-5.5f, -0.8f, -1.1f - 0.55f * over) : -1.1f;

    const bool mixMaster = rawParameterValues[static_cast<size_t> (Param::chainmode)]->load() < 0.5f;
    const auto transient = transientSettingsFor (mixMaster, crest, over);
    const bool streamingSafe = mixMaster && lufs > -15.5f;

    writeParameters ({ { Param::limiterceiling, ceiling },
                       { Param::transientattack, transient.attack },
                       { Param::transientsustain, transient.sustain },
                       { Param::punchknobon, 1.0f },
                       { Param::limiteron, 1.0f },
                       { Param::loudnessmatch, 1.0f },
                       { Param::outputtarget, streamingSafe ? 3.0f : 2.0f } });

    analysisRmsDb.store (rmsDb);
    analysisPeakDb.store (peakDb);
    analysisLufsEstimate.store (lufs);
    analysisCeilingDb.store (ceiling);
    analysisAttack.store (transient.attack);
    analysisSustain.store (transient.sustain);

    analysisDone.store (true);
    analyzing.store (false);
    analyzeProgress.store (1.0f);
}

void QuorinProcessor::prepareInputCaptures()
{
    calRemaining = anRemaining = 0;
    calibrating.store (false);
    calibrateProgress.store (0.0f);
    analyzing.store (false);
    analyzeProgress.store (0.0f);
    analysisDone.store (false);
}

void QuorinProcessor::releaseInputCaptures()
{
    anRemaining = 0;
    analyzing.store (false);
    analyzeProgress.store (0.0f);
}
