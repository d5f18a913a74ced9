#pragma once

#include <juce_dsp/juce_dsp.h>

#include "engines/ToneCurve.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

/** The tone EQ as one 257-tap linear-phase FIR. */
class LinearPhaseEqEngine
{
public:
    static constexpr int numTaps = 257;
    static constexpr int centreTap = 128; // also the delay of the filter, in samples
    static constexpr int spectrumSize = 512;

    /** The values a kernel is built from: the user EQ and the live tone curve. */
    struct Design
    {
        float lowDb, midDb, highDb;
        ToneCurve curve;
        float presenceQ;
    };

    LinearPhaseEqEngine();
    ~LinearPhaseEqEngine();

    /** Loads a pure 128-sample delay, in use from the first processed block, and asks for a rebuild.
        Drops any kernel the background designer still owes. */
    void prepare (const juce::dsp::ProcessSpec& spec);
    void reset() noexcept;

    std::vector<float> buildUserShelfImpulse (float lowDb, float midDb, float highDb) const;

    /** Replaces the kernel by a linear-phase one whose magnitude is the old kernel's times the live
        tone curve's. */
    void mergeLiveToneCurveLinearPhase (std::vector<float>& kernel, const ToneCurve& curve, float presenceQ) const;

    /** True when a rebuild was asked for, or the kernel in use was built from values that differ from
        `design` by more than their tolerances. */
    bool needsRebuildFor (const Design& design) const noexcept;

    /** For the audio thread: asks the background designer for the kernel of `design`; a later
        `process` hands it to the convolution, which crossfades to it. Wait-free, allocates nothing.
        A full request queue leaves the rebuild asked for, so the next block asks again. */
    void rebuild (const Design& design) noexcept;

    /** True while a kernel asked for with `rebuild` has not yet reached the convolution. */
    bool kernelPending() const noexcept { return latestRequested > latestInstalled; }

    /** Builds the kernel for `design` and has it in use before returning, its history primed with
        `recentInput` (up to the last numTaps − 1 input samples per channel) so that the stream
        continues without a gap. A kernel the designer still owes is dropped, so the result never
        depends on its timing. Waits for the load: for preparation and non-realtime use only. */
    void rebuildNow (const Design& design, const juce::AudioBuffer<float>& recentInput);

    /** Hands a kernel the designer has finished to the convolution, then runs the kernel in use on
        the block, in place. */
    void process (juce::dsp::AudioBlock<float> block) noexcept;

private:
    using Taps = std::array<double, numTaps>;

    /** Designs the kernels that real-time rebuilds ask for, away from the audio thread. The audio
        thread posts designs and collects kernels through two single-reader, single-writer queues. */
    class Designer : private juce::Thread
    {
    public:
        explicit Designer (const LinearPhaseEqEngine& owner);
        ~Designer() override;

        void start();
        void stop();

        bool post (const Design& design, std::uint64_t serial) noexcept;

        /** The newest finished kernel with a serial above `after`, moved out; older ones are dropped
            (their memory is freed on this thread when the slot is reused). */
        std::optional<juce::AudioBuffer<float>> takeNewest (std::uint64_t after, std::uint64_t& serial) noexcept;

    private:
        struct Request
        {
            Design design;
            std::uint64_t serial;
        };
        struct Kernel
        {
            juce::AudioBuffer<float> taps;
            std::uint64_t serial = 0;
        };
        static constexpr int queueSize = 8;

        void run() override;
        std::optional<Request> takeNewestRequest() noexcept;

        const LinearPhaseEqEngine& engine;
        juce::AbstractFifo requestQueue { queueSize }, kernelQueue { queueSize };
        std::array<Request, queueSize> requests {};
        std::array<Kernel, queueSize> kernels;
    };

    Taps lowPassPrototype (float cornerHz) const noexcept;
    juce::AudioBuffer<float> kernelFor (const Design& design) const;
    void load (juce::AudioBuffer<float> kernel);

    double sampleRate = 44100.0;
    juce::dsp::ProcessSpec processSpec { 44100.0, 1, 2 };
    juce::dsp::Convolution convolution;

    // The design of the kernel in use; far outside any real value until the first build.
    Design lastBuild { 1000.0f, 1000.0f, 1000.0f, { 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f, 1.0e9f }, 1.0e9f };
    bool needsRebuild = true;
    // Serials of the newest kernel asked for and of the newest one loaded; a kernel the designer
    // finishes with a serial at or below `latestInstalled` is stale and never loaded.
    std::uint64_t latestRequested = 0, latestInstalled = 0;

    // e^(−i·2π·m / spectrumSize) for m = 0 .. spectrumSize − 1: every term of the transforms.
    std::array<double, spectrumSize> unitCos {}, unitSin {};

    Designer designer { *this }; // last: it reads the members above from its own thread
};
