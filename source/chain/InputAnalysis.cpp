#include "chain/InputAnalysis.h"
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

void CalibrationMeasure::add (const float* left, const float* right, int count) noexcept
{
    for (int i = 0; i < count; ++i)
    {
        const float x = juce::jmax (std::abs (left[i]), std::abs (right[i]));
        peak = juce::jmax (peak, x);
        sumSquares += static_cast<double> (x) * x;

        // The fast tracker falls quickly and rises slowly; the floor follows it more slowly still.
        if (floorFast < 0.0f)
            floorFast = juce::jmax (1.0e-6f, x);
        else
            floorFast += (x - floorFast) * (x < floorFast ? 0.035f : 0.0012f);

        if (floor >= 1.0f)
            floor = floorFast;
        else if (floor > floorFast)
            floor = 0.82f * floor + 0.18f * floorFast;
        else
            floor += (floorFast - floor) * 0.0002f;
    }
}

void AnalysisMeasure::add (const float* left, const float* right, int count) noexcept
{
    for (int i = 0; i < count; ++i)
    {
        const double l = left[i], r = right[i];
        peak = juce::jmax (peak, std::abs (left[i]), std::abs (right[i]));
        const double mid = right == left ? l : (l + r) * 0.5;
        sumSquares += mid * mid;
        channelPowerSum += l * l + r * r;
    }
}

//==============================================================================
void QuorinProcessor::runInputCaptures (const juce::AudioBuffer<float>& buffer)
{
    startRequestedCaptures();

    const auto advance = [&buffer] (auto& capture, std::atomic<float>& progress) noexcept
    {
        if (! capture.isRunning())
            return false;
        const bool ended = capture.advance (buffer);
        progress.store (capture.progress());
        return ended;
    };
    if (advance (calibration, calibrateProgress))
        completeCalibration();
    if (advance (analysis, analyzeProgress))
        completeAnalysis();
}

void QuorinProcessor::startRequestedCaptures()
{
    // A new request restarts a running capture of the same kind.
    if (calibrateRequested.exchange (false))
    {
        calibration.start (calibrationSeconds, currentSampleRate);
        calibrating.store (true);
        calibrateProgress.store (0.0f);
    }

    if (analyzeRequested.exchange (false))
    {
        analysis.start (analysisSeconds, currentSampleRate);
        analysisDone.store (false);
        analyzing.store (true);
        analyzeProgress.store (0.0f);
    }
}

void QuorinProcessor::completeCalibration()
{
    const auto& measured = calibration.measured();
    const double rms = std::sqrt (measured.sumSquares / juce::jmax (calibration.samplesMeasured(), 1));
    const float peak = juce::jmax (measured.peak, 1.0e-4f);
    float floor = measured.floor;

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

void QuorinProcessor::completeAnalysis()
{
    const auto& measured = analysis.measured();
    const double samples = juce::jmax (analysis.samplesMeasured(), 1);
    const float rmsDb = decibelsFloored (std::sqrt (measured.sumSquares / samples));
    const float peakDb = decibelsFloored (measured.peak);

    // Loudness with the channel powers summed, as the output meter measures it (a one-channel
    // buffer counts its channel twice): a take played on both sides reads 3 dB above its mid RMS.
    const float lufs = decibelsFloored (std::sqrt (measured.channelPowerSum / samples)) - 0.691f;
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
    calibration.stop();
    analysis.stop();
    calibrating.store (false);
    calibrateProgress.store (0.0f);
    analyzing.store (false);
    analyzeProgress.store (0.0f);
    analysisDone.store (false);
}

void QuorinProcessor::releaseInputCaptures()
{
    analysis.stop();
    analyzing.store (false);
    analyzeProgress.store (0.0f);
}
