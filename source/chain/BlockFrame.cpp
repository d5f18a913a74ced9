#include "processor/PluginProcessor.h"

#include "chain/MacroMapping.h"
#include "chain/SpaceStage.h"
#include "chain/StageHelpers.h"

#include "engines/AdaptiveHitEngine.h"
#include "engines/AnalogEqEngine.h"
#include "engines/LinearPhaseEqEngine.h"
#include "engines/LoudnessAnalyzer.h"
#include "engines/ModernReverb.h"
#include "engines/MultibandDynamics.h"

namespace
{
constexpr float fadeFloor = 0.001f;

bool moduleActive (bool switchedOn, float fade) noexcept { return switchedOn || fade > fadeFloor; }

bool isRawMode (const ParameterSnapshot& params) noexcept
{
    return params.on (Param::wildcardmode) && ! params.on (Param::wildcardhybridfx);
}

bool linearPhaseRuns (const ParameterSnapshot& params) noexcept
{
    const bool isLive = params.index (Param::chainmode) >= 1;
    return params.on (Param::eqon) && (params.on (Param::lineareq) || ! isLive) && ! isRawMode (params);
}

float absolutePeak (const juce::AudioBuffer<float>& buffer, int channel) noexcept
{
    return buffer.getMagnitude (channel, 0, buffer.getNumSamples());
}

void zeroNonFinite (juce::AudioBuffer<float>& buffer) noexcept
{
    if (buffer.hasBeenCleared())
        return;
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        auto* samples = buffer.getWritePointer (ch);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! (std::abs (samples[i]) <= std::numeric_limits<float>::max()))
                samples[i] = 0.0f;
    }
}

/** Where a click comes out of the chain's fixed filters in series: the Beast round trip (when asked),
    the final low-pass and the ceiling's round trip. None of them is linear-phase, so a click peaks
    later than their low-frequency delay; the chain reports the click's delay, which is what a host's
    alignment is checked with. */
int fixedClickDelay (bool throughBeast, const InlineFirstOrderTpt& finalLowPass)
{
    constexpr int length = 256;
    juce::AudioBuffer<float> click (1, length);
    click.clear();
    click.setSample (0, 0, 1.0f);
    const auto roundTrip = [&click]
    {
        OversampledPath path;
        path.prepare (length);
        path.roundTrip (juce::dsp::AudioBlock<float> (click));
    };

    if (throughBeast)
        roundTrip();
    auto lowPass = finalLowPass;
    lowPass.reset();
    for (int i = 0; i < length; ++i)
        click.setSample (0, i, lowPass.processSample (0, click.getSample (0, i)));
    roundTrip();

    const auto* samples = click.getReadPointer (0);
    const auto loudest =
        std::max_element (samples, samples + length, [] (float a, float b) { return std::abs (a) < std::abs (b); });
    return static_cast<int> (loudest - samples);
}

double summedMagnitude (const float* samples, int numSamples) noexcept
{
    return sumInFourParts (numSamples, [samples] (int i) { return std::abs (static_cast<double> (samples[i])); });
}
} // namespace

//==============================================================================
void QuorinProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    currentSampleRate = sampleRate;
    const auto maxBlock = juce::jmax (1, samplesPerBlock);
    preparedBlockSize = maxBlock;
    const juce::dsp::ProcessSpec stereo { sampleRate, static_cast<juce::uint32> (maxBlock), 2 };

    input.prepare (stereo);
    analogEq->prepare (stereo);
    linearPhaseEq->prepare (stereo);
    tone.prepare (stereo);
    // The first block must already run the real kernel, so it is built here, where waiting is allowed.
    linearPhaseEq->rebuildNow (ToneEqStage::linearPhaseDesignFor (restingBlock (maxBlock)), {});
    saturation.prepare (stereo);
    transientShaper.prepare (stereo);
    dynamics.prepare (stereo);
    multibandDynamics->prepare (stereo);
    airExciter.prepare (stereo);
    subHarmonics.prepare (stereo);
    kickSub.prepare (stereo);
    width.prepare (stereo);
    space::prepareReverbs (*liveReverb, *flavourReverb, stereo);
    autoGain.prepare (stereo);
    loudnessAnalyzer->prepare (stereo);
    loudnessAssist.prepare (stereo);
    listening.prepare (stereo);
    finalLowPass.prepare (stereo);
    outputCeiling.prepare (stereo);
    truePeakGuard.prepare (sampleRate);
    outputLoudnessAnalyzer->prepare (stereo);
    outputMeters.prepare (stereo);
    outputMeters.continueBlockLoudnessFrom (blockLoudnessDb.load()); // the published reading carries over
    prepareInputCaptures();
    adaptiveHitEngine->prepare (stereo);

    const int withoutBeast = fixedClickDelay (false, finalLowPass.channelFilter());
    beastPadLength = fixedClickDelay (true, finalLowPass.channelFilter()) - withoutBeast;
    fixedLatency.store (beastPadLength + withoutBeast + truePeakGuard.latency());
    beastLatencyPad.prepare (2, DelayRing::lengthFor (maxBlock, beastPadLength));
    bypassInputRing.prepare (2, DelayRing::lengthFor (maxBlock, LinearPhaseEqEngine::centreTap + fixedLatency.load()));

    morphOffsets = {};

    const auto params = readParameters();
    const auto onOff = [&params] (Param p) { return params.on (p) ? 1.0f : 0.0f; };
    moduleFades = { onOff (Param::dynamicson), onOff (Param::saturationon), onOff (Param::reverbon),
                    onOff (Param::widthon) };
    width.restartFadeAt (moduleFades.width);

    adaptiveHitClass.store (0);
    adaptiveHitConfidence.store (0.0f);
    outputTargetLufs.store (-14.0f);
    loudnessLufs.store (-70.0f);
    truePeakDb.store (-90.0f);

    // The host hears the latency the first block will have, not a change when playback starts.
    reportedLatency = latencyFor (makeBlockFlags (params, moduleFades));
    setLatencySamples (reportedLatency);
}

void QuorinProcessor::releaseResources()
{
    releaseInputCaptures();
    input.release();
    tone.release();
    linearPhaseEq->reset();
    saturation.release();
    transientShaper.release();
    dynamics.release();
    multibandDynamics->reset();
    airExciter.release();
    subHarmonics.release();
    kickSub.release();
    width.release();
    autoGain.release();
    loudnessAssist.release();
    listening.release();
    finalLowPass.release();
    outputCeiling.release();
    truePeakGuard.reset();
    outputMeters.release();
    preparedBlockSize = 0;

    bypassInputRing.release();
    beastLatencyPad.release();
    morphOffsets = {};
    adaptiveHitClass.store (0);
    adaptiveHitConfidence.store (0.0f);
    outputTargetLufs.store (-14.0f);
    setLatencySamples (0);
    reportedLatency = -1;
}

//==============================================================================
void QuorinProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;

    // Host mistakes: before prepareToPlay or after releaseResources the block comes out silent, and
    // only the two channels the chain is prepared for are processed (further ones are cleared).
    if (preparedBlockSize == 0)
        return outputSilence (buffer);
    if (buffer.getNumChannels() > 2)
    {
        for (int ch = 2; ch < buffer.getNumChannels(); ++ch)
            buffer.clear (ch, 0, buffer.getNumSamples());
        juce::AudioBuffer<float> firstTwo (buffer.getArrayOfWritePointers(), 2, buffer.getNumSamples());
        return processBlock (firstTwo, midi);
    }

    if (! repairInput (buffer))
        return;

    if (rawParameterValues[static_cast<size_t> (Param::bypass)]->load() > 0.5f)
    {
        runBypass (buffer);
        return;
    }
    bypassInputRing.write (buffer, buffer.getNumSamples()); // the history a bypass switched on continues from

    runInputCaptures (buffer); // step 1 (it may write parameters, so the snapshot follows it)

    ChainBlock block;
    block.params = readParameters();
    block.numSamples = buffer.getNumSamples();
    block.sampleRate = currentSampleRate;
    block.fades = followModuleFades (block.params, block.numSamples);
    block.flags = makeBlockFlags (block.params, block.fades);
    const auto& flags = block.flags;
    const auto& params = block.params;

    block.controls = mapMacroControls (params, flags, buffer); // step 2
    designEq (block);                                          // step 3
    designGlueCompressor (block);
    updateLatency (flags); // step 4

    if (! flags.rawMode)
        runInputStage (buffer, block);                           // step 5
    const auto cuppedAmount = input.followCuppedMic (block);     // step 6
    const auto eqPass = runEqPass (buffer, block, cuppedAmount); // step 7
    if (flags.linearPhaseActive)
        runLinearPhaseEq (buffer, block); // step 8
    else
        tone.linearPhaseStopped();

    const bool colouring = ! flags.rawMode && ! flags.voiceMode;
    if (flags.beastActive)
        beastLatencyPad.write (buffer, block.numSamples); // keeps the pad's history in time for when Beast stops
    if (flags.saturationActive && colouring)
        runSaturationStage (buffer, block); // step 9
    if (! flags.beastActive)
        padBeastLatency (buffer);
    if (colouring)
        runTransientShaper (buffer, block); // step 10
    const bool multibandRuns = flags.dynamicsActive && ! flags.rawMode;
    if (multibandRuns)
        runMultibandDynamics (buffer, block); // step 11

    if (! flags.rawMode && params.on (Param::airknobon) && block.controls.airAmt > 0.001f)
        runAirExciter (buffer, block, eqPass.deEsserEnvelope); // step 12
    applyBodyMakeup (buffer, block);                           // step 13
    if (colouring && block.controls.subAmt > 0.03f)
        runSubHarmonics (buffer, block); // step 14
    if (flags.isLive && colouring)
        runKickSub (buffer, block); // step 15

    if (flags.widthActive && block.controls.widthAmt > 0.001f)
        runWidthStage (buffer, block); // step 16
    if (flags.dynamicsActive && (! multibandRuns || params[Param::dynpct] < 0.35f))
        runGlueCompressor (buffer, block, multibandRuns); // step 17

    const auto ducking = measureDuckingLevel (buffer, block);
    if (flags.reverbActive && colouring)
        runSpaceStage (buffer, block, ducking.duckLevel); // step 18

    runAutoGain (buffer, block, eqPass.inputEnergy, ducking.outputEnergy); // step 19
    const auto assistDb = runMeteringAndAssist (buffer, block);            // step 20
    applyOutputGains (buffer, block, assistDb);                            // step 21
    runListeningSimulator (buffer, block);                                 // step 22
    runFinalLowPass (buffer);                                              // step 23
    runCeiling (buffer, block);                                            // step 24
    runTruePeakGuard (buffer, block);                                      //   and its true-peak guard
    runOutputMeters (buffer, block);  // step 25 (loudness and true peak of the output)
    sanitiseAndMeasurePeaks (buffer); // step 26
}

//==============================================================================
bool QuorinProcessor::repairInput (juce::AudioBuffer<float>& buffer)
{
    const int numInputs = getTotalNumInputChannels();
    const int numSamples = buffer.getNumSamples();

    if (! buffer.hasBeenCleared())
        for (int ch = numInputs; ch < juce::jmin (getTotalNumOutputChannels(), buffer.getNumChannels()); ++ch)
            buffer.clear (ch, 0, numSamples);

    if (numInputs == 0 || numSamples == 0)
    {
        outputSilence (buffer);
        return false;
    }

    // A non-finite input sample would stay in every recursive filter state for good.
    zeroNonFinite (buffer);

    if (buffer.getNumChannels() < 2)
        return true;

    // A microphone on one side of a stereo input is heard on both sides.
    if (numInputs == 1)
    {
        buffer.copyFrom (1, 0, buffer, 0, 0, numSamples);
        return true;
    }

    const double sumLeft = summedMagnitude (buffer.getReadPointer (0), numSamples);
    const double sumRight = summedMagnitude (buffer.getReadPointer (1), numSamples);

    if (sumLeft > 1.0e-7 && sumRight < 0.01 * sumLeft)
        buffer.copyFrom (1, 0, buffer, 0, 0, numSamples);
    else if (sumRight > 1.0e-7 && sumLeft < 0.01 * sumRight)
        buffer.copyFrom (0, 0, buffer, 1, 0, numSamples);

    return true;
}

void QuorinProcessor::outputSilence (juce::AudioBuffer<float>& buffer) noexcept
{
    buffer.clear();
    outputPeakLeft.store (0.0f);
    outputPeakRight.store (0.0f);
}

void QuorinProcessor::runBypass (juce::AudioBuffer<float>& buffer)
{
    // The host delays the rest of the mix by the latency we report, so the bypassed input comes out
    // that late too; the ring carries the processed blocks' input, so switching is seamless in time.
    bypassInputRing.delayInPlace (buffer, buffer.getNumSamples(), juce::jmax (0, reportedLatency));
    publishPeaks (buffer);
}

void QuorinProcessor::padBeastLatency (juce::AudioBuffer<float>& buffer) noexcept
{
    beastLatencyPad.delayInPlace (buffer, buffer.getNumSamples(), beastPadLength);
}

ChainBlock QuorinProcessor::restingBlock (int numSamples) const noexcept
{
    ChainBlock block;
    block.params = readParameters();
    block.fades = moduleFades;
    block.flags = makeBlockFlags (block.params, block.fades);
    block.controls = shapeMacroControls (block.params, block.flags.isLive, {}, {});
    block.numSamples = numSamples;
    block.sampleRate = currentSampleRate;
    return block;
}

ParameterSnapshot QuorinProcessor::readParameters() const noexcept
{
    ParameterSnapshot snapshot;
    for (size_t i = 0; i < snapshot.values.size(); ++i)
    {
        auto value = rawParameterValues[i]->load();
        if (const auto count = choiceCounts[i]; count > 0)
            value = static_cast<float> (juce::jlimit (0, count - 1, juce::roundToInt (value)));
        snapshot.values[i] = value;
    }
    return snapshot;
}

BlockFlags QuorinProcessor::makeBlockFlags (const ParameterSnapshot& params, const ModuleFades& fades) const noexcept
{
    BlockFlags flags;
    flags.isLive = params.index (Param::chainmode) >= 1;
    flags.rawMode = isRawMode (params);
    flags.voiceMode = params.on (Param::voicemode);
    flags.linearPhaseActive = linearPhaseRuns (params);
    flags.stageLive = flags.isLive && params.index (Param::venue) == 0;
    flags.notchesOn = flags.isLive && params.on (Param::antifeedback);
    flags.dynamicsActive = moduleActive (params.on (Param::dynamicson), fades.dynamics);
    flags.saturationActive = moduleActive (params.on (Param::saturationon), fades.saturation);
    flags.reverbActive = moduleActive (params.on (Param::reverbon), fades.reverb);
    flags.widthActive = moduleActive (params.on (Param::widthon), fades.width);
    flags.beastActive = flags.isLive && params.index (Param::mixmode) > 0 && flags.saturationActive && ! flags.rawMode
                        && ! flags.voiceMode;
    return flags;
}

ModuleFades QuorinProcessor::followModuleFades (const ParameterSnapshot& params, int numSamples) noexcept
{
    // A per-block one-pole with a 20 ms time constant, whatever the block size.
    const auto twentyMs = 0.02 * currentSampleRate;
    const auto step = twentyMs > 1.0 ? numSamples / twentyMs : static_cast<double> (numSamples);
    const auto k = static_cast<float> (juce::jlimit (0.02, 1.0, step));

    const auto follow = [&] (float& fade, Param p) { fade += ((params.on (p) ? 1.0f : 0.0f) - fade) * k; };
    follow (moduleFades.dynamics, Param::dynamicson);
    follow (moduleFades.saturation, Param::saturationon);
    follow (moduleFades.reverb, Param::reverbon);
    follow (moduleFades.width, Param::widthon);
    return moduleFades;
}

int QuorinProcessor::latencyFor (const BlockFlags& flags) const noexcept
{
    return (flags.linearPhaseActive ? LinearPhaseEqEngine::centreTap : 0) + fixedLatency.load();
}

void QuorinProcessor::updateLatency (const BlockFlags& flags) noexcept { reportedLatency = latencyFor (flags); }

void QuorinProcessor::publishLatency()
{
    BlockFlags flags;
    flags.linearPhaseActive = linearPhaseRuns (readParameters());
    setLatencySamples (latencyFor (flags));
}

void QuorinProcessor::handleAsyncUpdate() { publishLatency(); }

void QuorinProcessor::sanitiseAndMeasurePeaks (juce::AudioBuffer<float>& buffer) noexcept
{
    zeroNonFinite (buffer);
    publishPeaks (buffer);
}

void QuorinProcessor::publishPeaks (const juce::AudioBuffer<float>& buffer) noexcept
{
    if (buffer.getNumChannels() == 0)
        return;
    const float left = absolutePeak (buffer, 0);
    outputPeakLeft.store (left);
    outputPeakRight.store (buffer.getNumChannels() > 1 ? absolutePeak (buffer, 1) : left);
}
