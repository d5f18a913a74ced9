#include "chain/OutputStage.h"

#include "chain/StageHelpers.h"
#include "engines/LoudnessAnalyzer.h"
#include "engines/VectorClones.h"
#include "processor/PluginProcessor.h"

namespace
{
struct OutputTarget
{
    float lufs;
    float liveOffsetDb;
    float nominalCeilingDb;
};

// Custom, Live PA, YouTube -14 LUFS, Streaming Safe, Broadcast -23 LUFS.
constexpr OutputTarget outputTargets[] { { -14.0f, 0.0f, 0.0f },
                                         { -12.0f, -1.0f, -0.8f },
                                         { -14.0f, -2.2f, -1.0f },
                                         { -16.0f, -3.5f, -1.2f },
                                         { -23.0f, -8.5f, -2.0f } };

struct ListeningRow
{
    float mix, cutoffHz, gainDb;
};

// Small Speaker, Small Room, Large Room.
constexpr ListeningRow listeningRows[] { { 0.64f, 3600.0f, -1.0f },
                                         { 0.44f, 5000.0f, 0.15f },
                                         { 0.58f, 2700.0f, 0.45f } };

struct CeilingShape
{
    float ceiling, threshold, knee;
};

constexpr float meterFloorLufs = -70.0f;
constexpr float finalLowPassHz = 18000.0f;

// Smoothing as time constants, so that the host's block size does not change the sound; each equals
// the per-block step it replaces at 512 samples and 48 kHz (0.08, 0.22 and 0.4 dB per block).
constexpr double assistSeconds = 0.12795;         // -(512 / 48000) / ln (1 - 0.08)
constexpr double displayedBlockSeconds = 0.04293; // -(512 / 48000) / ln (1 - 0.22)
constexpr float truePeakFallDbPerSecond = 37.5f;  // 0.4 dB × 48000 / 512
// The assist's short-term term follows about a bar of music, not each hit and the gap after it.
constexpr double assistBlockSeconds = 1.5;

float gainOf (float db) noexcept { return juce::Decibels::decibelsToGain (db, -100.0f); }

const OutputTarget& targetOf (const ParameterSnapshot& params) noexcept
{
    return outputTargets[juce::jlimit (0, 4, params.index (Param::outputtarget))];
}

bool hasTarget (const ParameterSnapshot& params) noexcept { return params.index (Param::outputtarget) != 0; }

bool meterActive (const ParameterSnapshot& params) noexcept
{
    return params.on (Param::loudnessmeter) || hasTarget (params);
}

float ceilingDb (const ParameterSnapshot& params) noexcept
{
    return juce::jmin (targetOf (params).nominalCeilingDb, params[Param::limiterceiling]);
}

/** 1 - e^(-N / (seconds · fs)): a per-sample time constant applied once per block. */
float perBlockCoefficient (int numSamples, double seconds, double sampleRate) noexcept
{
    const double span = seconds * sampleRate;
    return static_cast<float> (1.0 - std::exp (-numSamples / (span > 1.0 ? span : 1.0)));
}

/** Gain (dB) that brings the processed level back toward the input level, with a 1 dB dead band,
    partial correction and limits of -4 and +3 dB. */
float autoGainTargetDb (float inLevel, float outLevel) noexcept
{
    if (inLevel <= 0.005f || outLevel <= 0.005f)
        return 0.0f;
    const float ratio = inLevel / (outLevel + 1.0e-4f);
    const float d = ratio > 0.0f ? 20.0f * std::log10 (ratio) : -100.0f;
    if (d <= -100.0f)
        return -4.0f;
    if (std::abs (d) <= 1.0f)
        return 0.0f;
    const float corrected = d > 0.0f ? (d - 1.0f) * 0.55f : (d + 1.0f) * 0.45f;
    return juce::jlimit (-4.0f, 3.0f, corrected);
}

float assistTargetDb (const ParameterSnapshot& params, bool isLive, float measuredLufs, float blockLufs) noexcept
{
    if (! hasTarget (params))
        return 0.0f;

    const auto& target = targetOf (params);
    const bool measured = measuredLufs > -55.0f;
    if (isLive)
    {
        // Live sets are only ever turned down by the assist.
        const float correction =
            meterActive (params) && measured ? juce::jlimit (-6.0f, 0.0f, 0.35f * (target.lufs - measuredLufs)) : 0.0f;
        return target.liveOffsetDb + correction;
    }

    if (params.on (Param::loudnessmatch) && measured)
        return juce::jlimit (-6.0f, 6.0f, 0.42f * (target.lufs - (0.32f * measuredLufs + 0.68f * blockLufs)));
    return measured ? juce::jlimit (-6.0f, 0.0f, 0.28f * (target.lufs - measuredLufs)) : 0.0f;
}

float outputPad (const ChainBlock& block) noexcept
{
    if (! block.flags.isLive)
        return 1.0f;
    constexpr float pads[] { 1.0f, 0.70794578f, 0.50118723f }; // 0, -3, -6 dB: 10^(-0.15), 10^(-0.3)
    return pads[juce::jlimit (0, 2, block.params.index (Param::output))];
}

CeilingShape ceilingShape (const ParameterSnapshot& params) noexcept
{
    if (! params.on (Param::limiteron))
        return { 1.0f, 0.94f, 0.06f }; // a safety clip that still keeps full scale

    const float linear = gainOf (ceilingDb (params));
    if (linear < 0.05f)
        return { 0.05f, 0.039f, 0.011f };
    const float ceiling = juce::jmin (1.0f, linear);
    const float threshold = 0.78f * ceiling;
    return { ceiling, threshold, juce::jmax (1.0e-4f, ceiling - threshold) };
}

void softClip (juce::dsp::AudioBlock<float>& block, const CeilingShape& s) noexcept
{
    for (size_t ch = 0; ch < block.getNumChannels(); ++ch)
    {
        auto* x = block.getChannelPointer (ch);
        for (size_t i = 0; i < block.getNumSamples(); ++i)
        {
            const float magnitude = std::abs (x[i]);
            if (magnitude <= s.threshold)
                continue;
            const float shaped = s.threshold + s.knee * std::tanh ((magnitude - s.threshold) / s.knee);
            x[i] = std::copysign (juce::jmin (s.ceiling, shaped), x[i]);
        }
    }
}

void hardClip (juce::AudioBuffer<float>& buffer, float ceiling) noexcept
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        juce::FloatVectorOperations::clip (buffer.getWritePointer (ch), buffer.getReadPointer (ch), -ceiling, ceiling,
                                           buffer.getNumSamples());
}

void resetFilters (std::array<InlineFirstOrderTpt, 2>& filters) noexcept
{
    for (auto& f : filters)
        f.reset();
}

void prepareLowPasses (std::array<InlineFirstOrderTpt, 2>& filters, double sampleRate, juce::uint32 maxBlock,
                       float cutoffHz)
{
    for (auto& f : filters)
    {
        f.prepare ({ sampleRate, maxBlock, 1 });
        f.setType (InlineFirstOrderTpt::Type::lowpass);
        f.setCutoffFrequency (cutoffHz);
        f.reset();
    }
}
} // namespace

//==============================================================================
float outputTargetLufsFor (const ParameterSnapshot& params) noexcept { return targetOf (params).lufs; }

float outputGainFor (const ChainBlock& block, float assistDb) noexcept
{
    const auto& params = block.params;
    // The limiter's own ceiling below the target's lowers the level by the difference.
    const float trimDb = params.on (Param::limiteron)
                             ? juce::jmin (0.0f, ceilingDb (params) - targetOf (params).nominalCeilingDb)
                             : 0.0f;
    const float gainDb = params[Param::outputgain] + assistDb + trimDb;
    return gainOf (gainDb) * outputPad (block);
}

//==============================================================================
void AutoGain::reset() noexcept
{
    gain = 1.0f;
    inLevel = outLevel = 0.08f;
}

void AutoGain::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block, double inputEnergy,
                        double outputEnergy) noexcept
{
    const auto n = block.numSamples;
    const auto fs = block.sampleRate;
    const bool active =
        ! block.flags.rawMode && block.params.on (Param::autogain) && block.params.on (Param::dynamicson);
    if (! active)
    {
        gain += (1.0f - gain) * perBlockCoefficient (n, 0.2, fs);
        return;
    }

    const float k = perBlockCoefficient (n, 0.6, fs);
    const auto levelOf = [n] (double energy)
    { return static_cast<float> (std::sqrt (juce::jmax (energy, 0.0) / juce::jmax (1, n))); };
    inLevel += (levelOf (inputEnergy) - inLevel) * k;
    outLevel += (levelOf (outputEnergy) - outLevel) * k;

    const float target = gainOf (autoGainTargetDb (inLevel, outLevel));
    // Turning down reacts faster than turning up.
    const double seconds = gain > target ? 0.08 : 0.12;
    gain += (target - gain) * perBlockCoefficient (n, seconds, fs);
    buffer.applyGain (gain);
}

//==============================================================================
void LoudnessAssist::prepare (const juce::dsp::ProcessSpec& spec)
{
    assistBlockLoudness.prepare (spec.sampleRate, assistBlockSeconds);
    reset();
}

void LoudnessAssist::reset() noexcept
{
    measuredLufs = meterFloorLufs;
    assistBlockLoudness.reset();
    assistDb = 0.0f;
}

void LoudnessAssist::setReadings (float lufs, float blockLufs) noexcept
{
    measuredLufs = lufs;
    assistBlockLoudness.reset (blockLufs);
}

float LoudnessAssist::process (const juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                               LoudnessAnalyzer& analyzer) noexcept
{
    // The assist reads the level here, before the output gains; the published meters read the output.
    const auto& params = block.params;
    if (meterActive (params))
    {
        measuredLufs = analyzer.process (buffer).value_or (measuredLufs);
        assistBlockLoudness.process (buffer);
    }
    else
    {
        measuredLufs = meterFloorLufs;
        assistBlockLoudness.reset();
    }

    const float target = assistTargetDb (params, block.flags.isLive, measuredLufs, assistBlockLoudness.current());
    assistDb += (target - assistDb) * perBlockCoefficient (block.numSamples, assistSeconds, block.sampleRate);
    return assistDb;
}

//==============================================================================
void ListeningSimulator::prepare (const juce::dsp::ProcessSpec& spec)
{
    prepareLowPasses (listeningFilters, spec.sampleRate, spec.maximumBlockSize,
                      belowNyquist (4200.0f, spec.sampleRate));
}

void ListeningSimulator::reset() noexcept { resetFilters (listeningFilters); }

void ListeningSimulator::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    const int row = block.params.index (Param::speaker);
    if (row <= 0)
    {
        resetFilters (listeningFilters);
        return;
    }

    const auto& r = listeningRows[juce::jlimit (1, 3, row) - 1];
    const float gain = gainOf (r.gainDb);
    for (auto& filter : listeningFilters)
        filter.setCutoffFrequency (belowNyquist (r.cutoffHz, block.sampleRate));
    forEachSampleOfBothChannels (buffer,
                                 [this, &r, gain] (int ch, float& x) noexcept
                                 {
                                     auto& filter = listeningFilters[static_cast<size_t> (ch)];
                                     x = (x * (1.0f - r.mix) + filter.processSample (0, x) * r.mix) * gain;
                                 });
}

//==============================================================================
void FinalLowPass::prepare (const juce::dsp::ProcessSpec& spec)
{
    // At rates whose Nyquist frequency lies at or below 18 kHz the filter stays below it.
    prepareLowPasses (filters, spec.sampleRate, spec.maximumBlockSize,
                      juce::jmin (finalLowPassHz, static_cast<float> (0.45 * spec.sampleRate)));
}

void FinalLowPass::reset() noexcept { resetFilters (filters); }

VANTORA_VECTOR_CLONES void FinalLowPass::process (juce::AudioBuffer<float>& buffer) noexcept
{
    auto lowPass = InlineFirstOrderTpt::startLowPassLanes (filters);
    forEachSampleInLanes (buffer, [&lowPass] (FloatLanes& x) noexcept { x = lowPass.process (x); });
    InlineFirstOrderTpt::finishLanes (lowPass, filters);
}

//==============================================================================
void Ceiling::prepare (const juce::dsp::ProcessSpec& spec)
{
    const auto maxBlock = static_cast<int> (spec.maximumBlockSize);
    limiterPath.prepare (maxBlock);
    ceilingDryPath.prepare (maxBlock);
    ceilingDryRunning = false;
    dry.prepare (2, maxBlock);
}

void Ceiling::reset() noexcept
{
    limiterPath.reset();
    ceilingDryPath.reset();
    ceilingDryRunning = false;
}

void Ceiling::release()
{
    reset();
    dry.release();
}

float Ceiling::ceilingFor (const ParameterSnapshot& params) noexcept { return ceilingShape (params).ceiling; }

VANTORA_VECTOR_CLONES void Ceiling::process (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    const auto& params = block.params;
    const float amount = params.proportion (Param::limpct);
    const bool blend = params.on (Param::limiteron) && amount < 0.999f;
    if (blend)
    {
        dry.capture (buffer);
        matchDryToOversampling (buffer);
    }
    ceilingDryRunning = blend;

    const auto shape = ceilingShape (params);
    limiterPath.process (juce::dsp::AudioBlock<float> (buffer),
                         [&shape] (juce::dsp::AudioBlock<float>& up) noexcept { softClip (up, shape); });
    hardClip (buffer, shape.ceiling);

    if (blend)
        dry.blendInto (buffer, amount);
}

void Ceiling::matchDryToOversampling (const juce::AudioBuffer<float>& block) noexcept
{
    // A round trip that starts now begins from silence rather than from a long-gone signal.
    if (! ceilingDryRunning)
        ceilingDryPath.reset();
    ceilingDryPath.roundTrip (dry.capturedFor (block));
}

//==============================================================================
void OutputMeters::prepare (const juce::dsp::ProcessSpec& spec)
{
    truePeakMeter.prepare (spec.sampleRate);
    outputBlockLoudness.prepare (spec.sampleRate, displayedBlockSeconds);
    readings = {};
}

void OutputMeters::reset() noexcept
{
    truePeakMeter.reset();
    outputBlockLoudness.reset();
    readings = {};
}

OutputReadings OutputMeters::process (const juce::AudioBuffer<float>& buffer, const ChainBlock& block,
                                      LoudnessAnalyzer& analyzer) noexcept
{
    if (! meterActive (block.params))
    {
        outputBlockLoudness.reset();
        readings = { meterFloorLufs, meterFloorLufs, -90.0f };
        return readings;
    }

    readings.loudnessLufs = analyzer.process (buffer).value_or (readings.loudnessLufs);
    readings.blockLoudnessDb = outputBlockLoudness.process (buffer);

    // Only a reading above the falling hold changes it.
    const auto fall = truePeakFallDbPerSecond * static_cast<float> (block.numSamples / block.sampleRate);
    const float falling = readings.truePeakDb - fall;
    const float reading = TruePeakMeter::toDbtp (truePeakMeter.measure (buffer, gainOf (falling)));
    readings.truePeakDb = juce::jmax (reading, falling);
    return readings;
}

//==============================================================================
void QuorinProcessor::runAutoGain (juce::AudioBuffer<float>& buffer, const ChainBlock& block, double inputEnergy,
                                   double outputEnergy)
{
    autoGain.process (buffer, block, inputEnergy, outputEnergy);
}

float QuorinProcessor::runMeteringAndAssist (const juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    outputTargetLufs.store (outputTargetLufsFor (block.params));
    return loudnessAssist.process (buffer, block, *loudnessAnalyzer);
}

void QuorinProcessor::applyOutputGains (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float assistDb)
{
    buffer.applyGain (outputGainFor (block, assistDb));
}

void QuorinProcessor::runListeningSimulator (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    listening.process (buffer, block);
}

void QuorinProcessor::runFinalLowPass (juce::AudioBuffer<float>& buffer) { finalLowPass.process (buffer); }

void QuorinProcessor::runCeiling (juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    outputCeiling.process (buffer, block);
}

void QuorinProcessor::runTruePeakGuard (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept
{
    // The clip limits samples; between them the reconstructed wave (and any dry blended back) can
    // still pass the ceiling, which the guard holds.
    truePeakGuard.process (buffer, Ceiling::ceilingFor (block.params));
}

void QuorinProcessor::runOutputMeters (const juce::AudioBuffer<float>& buffer, const ChainBlock& block)
{
    const auto readings = outputMeters.process (buffer, block, *outputLoudnessAnalyzer);
    loudnessLufs.store (readings.loudnessLufs);
    blockLoudnessDb.store (readings.blockLoudnessDb);
    truePeakDb.store (readings.truePeakDb);
}
