#include "engines/AdaptiveHitEngine.h"
#include "engines/VectorClones.h"

namespace
{
using Engine = AdaptiveHitEngine;

enum HitClass
{
    noHit = 0,
    kick = 1,
    snare = 2,
    hiHat = 3,
    inwardK = 4
};

constexpr double kickHoldSeconds = 0.06;
constexpr double otherHoldSeconds = 0.042;

// The class scores were tuned on blocks of 512 samples at 48 kHz; frames keep that duration at
// every rate and host block size.
constexpr double analysisFrameSeconds = 512.0 / 48000.0;

// The gate. Room noise alone reaches an onset (transient) of at most about 0.6 times its level;
// the softest hits of the test recordings (-30 dBFS peak over -60 dBFS noise) reach 2.5 times the
// noise level and more. Twice the quiet level lies between: false hits appeared from 1.5, misses
// from 3.
constexpr float gateRatio = 2.0f;
// Below this onset (about -100 dBFS) nothing is a hit, even in digital silence.
constexpr float minimumOnset = 1.0e-5f;
// A frame whose onset is under a tenth of the strongest onset of the last ~50 ms belongs to that
// hit's decay (the fast envelope still falling after it), not to a new hit.
constexpr float tailRatio = 0.1f;
constexpr double recentOnsetSeconds = 0.05;
// The quiet level drops at once to a quieter frame and rises over 5 s, so that hits and their
// tails barely lift it while a louder room is learned within seconds.
constexpr double quietRiseSeconds = 5.0;

// A kick needs low-band weight: without it the kick score (2.05 per unit of low ratio) outscores
// the snare on any block with Lr above 0.48, and every acoustic snare (Lr about 0.5) is a kick.
// 0.56 is where the kick rescue already asks for low weight.
constexpr float kickLowRatioFloor = 0.56f;

// A learning run ends once it has heard this many hits and the last has passed, or at its
// time-out; four hits average out the player's velocity, and four seconds leave room for them
// even at a slow 60 BPM.
constexpr double learningTimeoutSeconds = 4.0;

// Taught-profile likeness compares the onset level in dB: 24 dB apart costs the whole
// similarity, so a hit 6 dB off the taught level keeps three quarters of it.
constexpr float levelDbPerUnitDistance = 24.0f;

float clamp01 (float v) noexcept { return juce::jlimit (0.0f, 1.0f, v); }

float onePoleCoefficient (float sampleRate, float cutoffHz) noexcept
{
    const float dt = 1.0f / sampleRate;
    return dt / (dt + 1.0f / (juce::MathConstants<float>::twoPi * cutoffHz));
}

float onsetDb (float transient) noexcept { return 20.0f * std::log10 (juce::jmax (transient, 1.0e-9f)); }

/** How far a frame lies from a taught profile; 0 is identical, 1 or more is unrelated. */
float profileDistance (const Engine::Features& f, const Engine::Features& profile) noexcept
{
    return std::abs (onsetDb (f.transient) - onsetDb (profile.transient)) / levelDbPerUnitDistance
           + 1.9f * std::abs (f.lowRatio - profile.lowRatio) + 1.7f * std::abs (f.highRatio - profile.highRatio)
           + 140.0f * std::abs (f.zcr - profile.zcr);
}

float blendTowardRun (float taught, float runMean, bool alreadyTaught) noexcept
{
    return alreadyTaught ? 0.64f * taught + 0.36f * runMean : runMean;
}

/** Index of the highest score among those allowed, the lower index on ties. */
size_t bestScore (const std::array<float, 4>& s, bool kickAllowed) noexcept
{
    size_t best = kickAllowed ? 0 : 1;
    for (size_t k = best + 1; k < s.size(); ++k)
        if (s[k] > s[best])
            best = k;
    return best;
}
} // namespace

void AdaptiveHitEngine::prepare (const juce::dsp::ProcessSpec& spec) noexcept
{
    sampleRate = spec.sampleRate;
    const auto fs = static_cast<float> (sampleRate);
    fastCoeff = 1.0f - std::exp (-1.0f / (fs * 0.0022f));
    slowCoeff = 1.0f - std::exp (-1.0f / (fs * 0.04f));
    lowCoeff = onePoleCoefficient (fs, 220.0f);
    bandCoeff = onePoleCoefficient (fs, 3000.0f);
    frameLength = juce::jmax (1, juce::roundToInt (sampleRate * analysisFrameSeconds));
    quietRiseCoeff = static_cast<float> (1.0 - std::exp (-frameLength / (sampleRate * quietRiseSeconds)));
    recentOnsetDecay = static_cast<float> (std::exp (-frameLength / (sampleRate * recentOnsetSeconds)));
    reset();
}

void AdaptiveHitEngine::reset() noexcept
{
    fastEnv = slowEnv = lowState = bandState = prevSample = 0.0f;
    frameFill = zeroCrossings = 0;
    transientSum = lowSum = highSum = 0.0;
    lastFrameResult = {};
    quietLevel = -1.0f;
    recentOnset = 0.0f;
    gateWasOpen = false;
    holdSamples = heldClass = 0;
    heldConfidence = 0.0f;
    cancelRun(); // its length was counted at the old rate
}

AdaptiveHitEngine::Features AdaptiveHitEngine::measureFrame (const juce::AudioBuffer<float>& buffer) noexcept
{
    const bool stereo = buffer.getNumChannels() > 1;
    for (int i = 0; i < buffer.getNumSamples(); ++i)
        accumulate (stereo ? buffer.getSample (0, i) * 0.5f + buffer.getSample (1, i) * 0.5f : buffer.getSample (0, i));
    frameFill = buffer.getNumSamples();
    return takeFrame().features;
}

VANTORA_VECTOR_CLONES HitResult AdaptiveHitEngine::process (const juce::AudioBuffer<float>& buffer) noexcept
{
    takeRequests();

    const int numSamples = buffer.getNumChannels() > 0 ? buffer.getNumSamples() : 0;
    const float* left = numSamples > 0 ? buffer.getReadPointer (0) : nullptr;
    const float* right = buffer.getNumChannels() > 1 ? buffer.getReadPointer (1) : nullptr;

    bool anyFrame = false;
    HitResult strongest;
    float kickMatchInBlock = 0.0f;
    for (int i = 0; i < numSamples; ++i)
    {
        // Halved before the sum, so that two full-scale channels cannot overflow.
        accumulate (right != nullptr ? left[i] * 0.5f + right[i] * 0.5f : left[i]);
        if (++frameFill < frameLength)
            continue;

        lastFrameResult = analyseFrame (takeFrame());
        if (! anyFrame || lastFrameResult.hitConfidence > strongest.hitConfidence)
            strongest = lastFrameResult;
        kickMatchInBlock = juce::jmax (kickMatchInBlock, lastFrameResult.kickMatch);
        anyFrame = true;
    }

    if (! anyFrame)
        return lastFrameResult;
    if (strongest.hitClass == kick)
        strongest.kickMatch = kickMatchInBlock;
    return strongest;
}
AdaptiveHitEngine::TaughtModel AdaptiveHitEngine::taughtModel() const noexcept
{
    TaughtModel model;
    for (size_t k = 0; k < model.size(); ++k)
    {
        model[k].features = taughtFeatures (static_cast<int> (k));
        model[k].count = taught[k].hitCount.load();
    }
    return model;
}

void AdaptiveHitEngine::installModel (const TaughtModel& model) noexcept
{
    // Raised first, so that a run completing on the audio thread meanwhile is dropped, not folded in.
    cancelRunRequest.store (true);

    int mask = 0;
    for (size_t k = 0; k < model.size(); ++k)
    {
        const auto& source = model[k];
        auto& target = taught[k];
        target.transient.store (source.features.transient);
        target.lowRatio.store (source.features.lowRatio);
        target.highRatio.store (source.features.highRatio);
        target.zcr.store (source.features.zcr);
        const int count = juce::jlimit (0, maxHitCount, source.count);
        target.hitCount.store (count);
        if (count > 0)
            mask |= 1 << k;
    }

    learnedMask.store (mask);
    clearRequest.store (false);
    learnRequest.store (0);
    learningClass.store (0);
    learningProgress.store (0.0f);
}

//==============================================================================
void AdaptiveHitEngine::takeRequests() noexcept
{
    if (cancelRunRequest.exchange (false))
        cancelRun();
    if (clearRequest.exchange (false))
        forgetModel();
    if (const int request = learnRequest.exchange (0); request >= kick && request <= hiHat)
        startRun (request);
}

void AdaptiveHitEngine::forgetModel() noexcept
{
    for (auto& c : taught)
    {
        c.transient.store (0.0f);
        c.lowRatio.store (0.0f);
        c.highRatio.store (0.0f);
        c.zcr.store (0.0f);
        c.hitCount.store (0);
    }
    learnedMask.store (0);
    cancelRun();
}

void AdaptiveHitEngine::startRun (int hitClass) noexcept
{
    runLength = runRemaining = juce::jmax (1, juce::roundToInt (sampleRate * learningTimeoutSeconds));
    runClass = hitClass;
    runSums = {};
    runPeaks = runHits = 0;
    runHitOpen = false;
    learningHits.store (0);
    learningClass.store (hitClass);
    learningProgress.store (0.0f);
}

void AdaptiveHitEngine::cancelRun() noexcept
{
    runClass = runRemaining = runLength = 0;
    learningClass.store (0);
    learningProgress.store (0.0f);
}

void AdaptiveHitEngine::accumulate (float x) noexcept
{
    if ((x >= 0.0f) != (prevSample >= 0.0f))
        ++zeroCrossings;
    prevSample = x;

    fastEnv += (std::abs (x) - fastEnv) * fastCoeff;
    slowEnv += (std::abs (x) - slowEnv) * slowCoeff;
    transientSum += juce::jmax (0.0f, fastEnv - slowEnv);

    lowState += (x - lowState) * lowCoeff;
    bandState += ((x - lowState) - bandState) * bandCoeff;
    lowSum += std::abs (lowState);
    highSum += std::abs (bandState);
}

AdaptiveHitEngine::Frame AdaptiveHitEngine::takeFrame() noexcept
{
    const double n = juce::jmax (frameFill, 1);
    const auto transient = static_cast<float> (transientSum / n);
    const auto low = static_cast<float> (lowSum / n);
    const auto high = static_cast<float> (highSum / n);
    const auto crossings = static_cast<float> (zeroCrossings / n);
    frameFill = zeroCrossings = 0;
    transientSum = lowSum = highSum = 0.0;

    // Samples near the float limit can still overflow a one-pole state; start afresh rather than
    // carry infinities into every later frame, the gate and the taught model.
    if (! (std::isfinite (fastEnv) && std::isfinite (slowEnv) && std::isfinite (lowState) && std::isfinite (bandState)))
    {
        fastEnv = slowEnv = lowState = bandState = 0.0f;
        return {};
    }

    const float total = low + high + 0.000001f;
    return { { transient, low / total, high / total, crossings }, low + high };
}

HitResult AdaptiveHitEngine::analyseFrame (const Frame& frame) noexcept
{
    const bool gateOpen = passesGate (frame);
    auto result = decide (frame.features, gateOpen, frameLength);
    advanceRun (frame.features, gateOpen);
    gateWasOpen = gateOpen;
    result.kickMatch = kickMatch (frame.features, result);
    return result;
}

bool AdaptiveHitEngine::passesGate (const Frame& frame) noexcept
{
    if (quietLevel < 0.0f)
        quietLevel = frame.level;

    const float onset = frame.features.transient;
    const bool open = onset > gateRatio * quietLevel && onset > minimumOnset && onset > tailRatio * recentOnset;

    recentOnset = juce::jmax (onset, recentOnset * recentOnsetDecay);
    quietLevel = frame.level < quietLevel ? frame.level : quietLevel + (frame.level - quietLevel) * quietRiseCoeff;
    return open;
}

AdaptiveHitEngine::ClassScores AdaptiveHitEngine::score (const Features& f) const noexcept
{
    const float T = f.transient, Lr = f.lowRatio, Hr = f.highRatio, Z = f.zcr;
    const float kc = clamp01 ((Lr - 0.48f) * 3.0f);
    const float hc = clamp01 ((Hr - 0.46f) * 3.0f);

    ClassScores result;
    result.kickCurve = kc;
    auto& s = result.score;
    s[0] = 1.22f * T + 2.05f * Lr + 0.62f * kc - 0.68f * Hr - 0.55f * Z;
    s[1] = 1.18f * T + 0.56f * (1.0f - std::abs (Lr - 0.52f)) + 0.2f * Hr - 0.36f * kc;
    s[2] = 1.42f * Hr + 1.85f * Z + 0.46f * T - 0.76f * Lr - 0.4f * kc;
    s[3] = 0.95f * T + 1.12f * Z + 0.66f * Hr + 0.32f * (1.0f - Lr) - 0.26f * kc;

    if (Lr > 0.58f && T > 0.0014f)
    {
        const float a = clamp01 ((Lr - 0.58f) * 3.5f);
        s[0] += 0.18f + 0.24f * a;
        s[1] -= 0.07f + 0.1f * a;
        s[2] -= 0.14f + 0.18f * a;
        s[3] -= 0.08f + 0.12f * a;
    }

    if (Lr > 0.64f || (kc > 0.68f && hc < 0.32f))
    {
        s[2] -= 0.2f;
        s[3] -= 0.13f;
    }

    if (learnedMask.load() != 0)
        for (int k = 0; k < numTaughtClasses; ++k)
            if (const int count = taught[static_cast<size_t> (k)].hitCount.load(); count > 0)
            {
                const float similarity = clamp01 (1.0f - profileDistance (f, taughtFeatures (k)));
                const float weight = juce::jlimit (0.15f, 0.58f, 0.085f * static_cast<float> (count) + 0.24f);
                s[static_cast<size_t> (k)] += similarity * weight;
            }

    return result;
}

HitResult AdaptiveHitEngine::decide (const Features& f, bool gateOpen, int numSamples) noexcept
{
    const auto scores = score (f);
    const auto& s = scores.score;

    const bool kickAllowed = f.lowRatio > kickLowRatioFloor;
    const size_t winner = bestScore (s, kickAllowed);
    float runnerUp = -std::numeric_limits<float>::max();
    for (size_t k = kickAllowed ? 0 : 1; k < s.size(); ++k)
        if (k != winner)
            runnerUp = juce::jmax (runnerUp, s[k]);

    float confidence = s[winner] < 0.01f ? 0.0f : clamp01 ((s[winner] - runnerUp) * 2.7f + 0.48f);
    int hitClass = static_cast<int> (winner) + 1;
    bool kickRules = hitClass == kick;

    // A block that is nearly a kick, low-heavy and with some attack is taken as a kick.
    if (! kickRules && s[winner] - s[0] < 0.1f && f.lowRatio > 0.56f && f.transient > 0.0012f)
    {
        hitClass = kick;
        confidence = juce::jmax (confidence, 0.52f + 0.25f * scores.kickCurve);
        kickRules = true;
    }

    if (gateOpen && confidence >= (kickRules ? 0.5f : 0.58f))
    {
        heldClass = hitClass;
        heldConfidence = confidence;
        holdSamples = juce::roundToInt (sampleRate * (kickRules ? kickHoldSeconds : otherHoldSeconds));
        return { hitClass, confidence, 0.0f };
    }

    if (holdSamples > 0)
    {
        holdSamples -= numSamples;
        return { heldClass, juce::jmax (0.0f, heldConfidence - 0.03f), 0.0f };
    }

    heldClass = noHit;
    heldConfidence = 0.0f;
    return {};
}

void AdaptiveHitEngine::advanceRun (const Features& f, bool gateOpen) noexcept
{
    if (runClass <= 0)
        return;

    runRemaining -= frameLength;
    if (gateOpen && ! gateWasOpen)
    {
        learningHits.store (++runHits);
        runPeak = f;
        runHitOpen = true;
    }
    else if (gateOpen && runHitOpen && f.transient > runPeak.transient)
    {
        runPeak = f;
    }
    else if (! gateOpen && runHitOpen)
    {
        addRunPeak();
    }

    const double timeDone = 1.0 - juce::jmax (runRemaining, 0) / static_cast<double> (runLength);
    const double hitsDone = runHits / static_cast<double> (learnHitsNeeded);
    learningProgress.store (clamp01 (static_cast<float> (juce::jmax (timeDone, hitsDone))));

    const bool heardEnough = runHits >= learnHitsNeeded && ! runHitOpen;
    if ((heardEnough || runRemaining <= 0) && ! cancelRunRequest.load())
    {
        if (runHitOpen)
            addRunPeak();
        finishRun();
    }
}

/** A hit teaches with its strongest frame: the profile is matched frame by frame, and a mean over a
    hit's onset, peak and decay frames lies far from each of them. */
void AdaptiveHitEngine::addRunPeak() noexcept
{
    runSums[0] += runPeak.transient;
    runSums[1] += runPeak.lowRatio;
    runSums[2] += runPeak.highRatio;
    runSums[3] += runPeak.zcr;
    ++runPeaks;
    runHitOpen = false;
}

/** Folds the run's mean into the class; a run that heard no hit teaches nothing. */
void AdaptiveHitEngine::finishRun() noexcept
{
    if (runPeaks > 0)
    {
        const int k = juce::jlimit (0, numTaughtClasses - 1, runClass - 1);
        auto& c = taught[static_cast<size_t> (k)];
        const int count = c.hitCount.load();
        const auto mean = [this] (size_t i) { return static_cast<float> (runSums[i] / runPeaks); };

        c.transient.store (blendTowardRun (c.transient.load(), mean (0), count > 0));
        c.lowRatio.store (blendTowardRun (c.lowRatio.load(), mean (1), count > 0));
        c.highRatio.store (blendTowardRun (c.highRatio.load(), mean (2), count > 0));
        c.zcr.store (blendTowardRun (c.zcr.load(), mean (3), count > 0));
        c.hitCount.store (juce::jmin (count + 1, maxHitCount));
        learnedMask.fetch_or (1 << k);
    }
    cancelRun();
}

float AdaptiveHitEngine::kickMatch (const Features& f, const HitResult& reported) const noexcept
{
    if (reported.hitClass != kick || reported.hitConfidence < 0.02f || taught[0].hitCount.load() < 1)
        return 0.0f;

    const auto profile = taughtFeatures (0);
    const float similarity = clamp01 (1.0f - profileDistance (f, profile));
    if (similarity < 0.36f)
        return 0.0f;

    // Too soft, or too little edge for a kick that was taught with a sharp click.
    if (f.transient < 0.38f * profile.transient || f.transient < 0.001f
        || (f.zcr < 0.52f * profile.zcr && f.transient < 0.75f * profile.transient))
        return 0.0f;

    const float ratio = f.transient / juce::jmax (profile.transient, 0.00001f);
    float match = similarity * reported.hitConfidence;
    if (ratio < 0.35f)
        match *= 0.35f;
    else if (ratio <= 1.0f)
        match *= ratio;
    return clamp01 (match);
}

AdaptiveHitEngine::Features AdaptiveHitEngine::taughtFeatures (int index) const noexcept
{
    const auto& c = taught[static_cast<size_t> (index)];
    return { c.transient.load(), c.lowRatio.load(), c.highRatio.load(), c.zcr.load() };
}
