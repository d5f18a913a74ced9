#pragma once

#include "processor/PluginProcessor.h"

#include <array>
#include <atomic>

/** Classifies percussive hits per block (kick, snare, hi-hat, inward K) and learns taught kick,
    snare and hi-hat profiles.

    The audio thread calls prepare and process. The message thread writes the two requests, reads
    the learning fields and the taught model, and installs models; every field it touches is atomic. */
class QuorinProcessor::AdaptiveHitEngine
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

    void prepare (double newSampleRate) noexcept;
    HitResult process (const juce::AudioBuffer<float>& buffer) noexcept;

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

private:
    friend struct QuorinProcessorProbe;

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

    void takeRequests() noexcept;
    void forgetModel() noexcept;
    void startRun (int hitClass) noexcept;
    void cancelRun() noexcept;
    Features measure (const juce::AudioBuffer<float>& buffer) noexcept;
    ClassScores score (const Features& f) const noexcept;
    HitResult decide (const Features& f, int numSamples) noexcept;
    void advanceRun (const Features& f, int numSamples) noexcept;
    void foldRun() noexcept;
    float kickMatch (const Features& f, const HitResult& reported) const noexcept;
    Features taughtFeatures (int index) const noexcept;

    std::array<SharedClass, numTaughtClasses> taught;
    // Raised by installModel, taken by process: the run fields below belong to the audio thread.
    std::atomic<bool> cancelRunRequest { false };

    double sampleRate = 44100.0;
    float fastEnv = 0.0f, slowEnv = 0.0f, lowState = 0.0f, bandState = 0.0f, prevSample = 0.0f;
    float fastCoeff = 0.1f, slowCoeff = 0.01f, lowCoeff = 0.1f, bandCoeff = 0.1f;

    int holdSamples = 0;
    int heldClass = 0;
    float heldConfidence = 0.0f;

    int runClass = 0, runRemaining = 0, runLength = 0;
    std::array<double, 4> runSums {};
    double runWeight = 0.0;
};
