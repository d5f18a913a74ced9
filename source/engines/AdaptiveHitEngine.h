#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>

/** What the adaptive hit analysis reports for one block. */
struct HitResult
{
    int hitClass = 0; // 0 none, 1 kick, 2 snare, 3 hi-hat, 4 inward K
    float hitConfidence = 0.0f;
    float kickMatch = 0.0f;
};

/** Classifies percussive hits (kick, snare, hi-hat, inward K) and learns taught kick, snare and
    hi-hat profiles.

    The features are measured over analysis frames of a fixed duration, whatever the host's block
    size, and a frame counts as a hit only when its onset stands clearly above the input's running
    quiet level. A block reports the strongest frame that ended in it, or the last frame's result.

    The audio thread calls prepare and process. The message thread writes the two requests, reads
    the learning fields and the taught model, and installs models; every field it touches is atomic.
    The taught model changes only by learning, a clear request or an installation: a preparation
    keeps it. */
class AdaptiveHitEngine
{
public:
    static constexpr int numTaughtClasses = 3; // kick, snare, hi-hat

    /** The four per-block features. */
    struct Features
    {
        float transient = 0.0f, lowRatio = 0.0f, highRatio = 0.0f, zcr = 0.0f;
    };

    /** One taught class: its mean features and the number of learning runs folded into them. */
    struct TaughtClass
    {
        Features features;
        int count = 0;
    };

    using TaughtModel = std::array<TaughtClass, numTaughtClasses>;

    static constexpr int maxHitCount = 9; // runs beyond this keep moving the profile, not the count
    static constexpr int learnHitsNeeded = 4;

    /** Sets the rate and clears the running analysis; the taught model and the requests stay. */
    void prepare (const juce::dsp::ProcessSpec& spec) noexcept;
    /** Clears the running analysis and ends a learning run; the taught model and the requests stay. */
    void reset() noexcept;
    HitResult process (const juce::AudioBuffer<float>& buffer) noexcept;

    /** The features of a whole buffer measured as one frame, from the running envelopes (the same
        measurement a frame of process gets); moves the running state on as process would. */
    Features measureFrame (const juce::AudioBuffer<float>& buffer) noexcept;

    /** The decision for one frame's features: the gate, the scores, the hold and any learning run,
        exactly as process decides a frame of numSamples. */
    HitResult decide (const Features& f, bool gateOpen, int numSamples) noexcept;

    /** Samples in one analysis frame at the prepared rate. */
    int samplesPerFrame() const noexcept { return frameLength; }

    /** The taught model as it stands (any thread). */
    TaughtModel taughtModel() const noexcept;

    /** Replaces the taught model, lowers both requests and cancels a learning run in progress
        (message thread). Counts are clamped to 0..9. */
    void installModel (const TaughtModel& model) noexcept;

    // Shared with the message thread.
    std::atomic<int> learnedMask { 0 };
    std::atomic<int> learnRequest { 0 };
    std::atomic<bool> clearRequest { false };
    std::atomic<int> learningClass { 0 };
    std::atomic<float> learningProgress { 0.0f };
    // Hits heard by the learning run in progress, or by the last one after it ended (0: none heard,
    // and nothing was learned).
    std::atomic<int> learningHits { 0 };

private:
    struct SharedClass
    {
        std::atomic<float> transient { 0.0f }, lowRatio { 0.0f }, highRatio { 0.0f }, zcr { 0.0f };
        std::atomic<int> hitCount { 0 };
    };

    struct ClassScores
    {
        std::array<float, 4> score {}; // kick, snare, hi-hat, inward K
        float kickCurve = 0.0f;        // kc
    };

    /** One analysis frame: its features and its level (mean low plus mean band magnitude). */
    struct Frame
    {
        Features features;
        float level = 0.0f;
    };

    void takeRequests() noexcept;
    void forgetModel() noexcept;
    void startRun (int hitClass) noexcept;
    void cancelRun() noexcept;
    void accumulate (float x) noexcept;
    Frame takeFrame() noexcept;
    HitResult analyseFrame (const Frame& frame) noexcept;
    bool passesGate (const Frame& frame) noexcept;
    ClassScores score (const Features& f) const noexcept;
    void advanceRun (const Features& f, bool gateOpen) noexcept;
    void addRunPeak() noexcept;
    void finishRun() noexcept;
    float kickMatch (const Features& f, const HitResult& reported) const noexcept;
    Features taughtFeatures (int index) const noexcept;

    std::array<SharedClass, numTaughtClasses> taught;
    // Raised by installModel, taken by process: the run fields below belong to the audio thread.
    std::atomic<bool> cancelRunRequest { false };

    double sampleRate = 44100.0;
    float fastEnv = 0.0f, slowEnv = 0.0f, lowState = 0.0f, bandState = 0.0f, prevSample = 0.0f;
    float fastCoeff = 0.1f, slowCoeff = 0.01f, lowCoeff = 0.1f, bandCoeff = 0.1f;

    // The frame being measured.
    int frameLength = 470, frameFill = 0;
    double transientSum = 0.0, lowSum = 0.0, highSum = 0.0;
    int zeroCrossings = 0;
    HitResult lastFrameResult;

    // The gate: the input's running quiet level (negative until the first frame) and the strongest
    // recent onset.
    float quietLevel = -1.0f, quietRiseCoeff = 0.01f;
    float recentOnset = 0.0f, recentOnsetDecay = 0.5f;
    bool gateWasOpen = false;

    int holdSamples = 0;
    int heldClass = 0;
    float heldConfidence = 0.0f;

    int runClass = 0, runRemaining = 0, runLength = 0;
    std::array<double, 4> runSums {};
    int runPeaks = 0, runHits = 0;
    Features runPeak; // strongest frame of the hit in progress
    bool runHitOpen = false;
};
