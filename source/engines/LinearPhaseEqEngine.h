#pragma once

#include <juce_dsp/juce_dsp.h>

#include "engines/ToneCurve.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

/** The tone EQ as one 257-tap linear-phase FIR, run directly (tap by tap over the block, which
    the compiler vectorises): at 257 taps that costs less than an FFT convolution at any block size,
    and each output sample is the same sum whatever the block split. */
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

    /** Loads a pure 128-sample delay, in use from the first processed block, with an empty history,
        and asks for a rebuild. Drops any kernel the background designer still owes. */
    void prepare (const juce::dsp::ProcessSpec& spec);

    /** Empties the history and ends a crossfade. */
    void reset() noexcept;

    std::vector<float> buildUserShelfImpulse (float lowDb, float midDb, float highDb) const;

    /** Replaces the kernel by a linear-phase one whose magnitude is the old kernel's times the live
        tone curve's. */
    void mergeLiveToneCurveLinearPhase (std::vector<float>& kernel, const ToneCurve& curve, float presenceQ) const;

    /** True when a rebuild was asked for, or the kernel in use was built from values that differ from
        `design` by more than their tolerances. */
    bool needsRebuildFor (const Design& design) const noexcept;

    /** For the audio thread: asks the background designer for the kernel of `design`; a later
        `process` takes it and crossfades to it over 50 ms. Wait-free, allocates nothing.
        A full request queue leaves the rebuild asked for, so the next block asks again. */
    void rebuild (const Design& design) noexcept;

    /** True while a kernel asked for with `rebuild` has not yet been taken into use. */
    bool kernelPending() const noexcept { return latestRequested > latestInstalled; }

    /** Builds the kernel for `design` and has it in use before returning, with no crossfade, its
        history replaced by `recentInput` (up to the last numTaps − 1 input samples per channel,
        silence before them) so that the stream continues without a gap. A kernel the designer still
        owes is dropped, so the result never depends on its timing. Allocates: for preparation and
        non-realtime use only. */
    void rebuildNow (const Design& design, const juce::AudioBuffer<float>& recentInput);

    /** Takes a kernel the designer has finished into use (outside a crossfade), then runs the
        filter on the block's first two channels, in place, in pieces of the prepared size. */
    void process (juce::dsp::AudioBlock<float> block) noexcept;

private:
    using Taps = std::array<double, numTaps>;
    using Kernel = std::array<float, numTaps>;

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

        /** The newest finished kernel with a serial above `after`; older ones are dropped. */
        std::optional<Kernel> takeNewest (std::uint64_t after, std::uint64_t& serial) noexcept;

    private:
        struct Request
        {
            Design design;
            std::uint64_t serial;
        };
        struct Finished
        {
            Kernel taps;
            std::uint64_t serial = 0;
        };
        static constexpr int queueSize = 8;

        void run() override;
        std::optional<Request> takeNewestRequest() noexcept;

        const LinearPhaseEqEngine& engine;
        juce::AbstractFifo requestQueue { queueSize }, kernelQueue { queueSize };
        std::array<Request, queueSize> requests {};
        std::array<Finished, queueSize> finished {};
    };

    Taps lowPassPrototype (float cornerHz) const noexcept;
    Kernel kernelFor (const Design& design) const;
    void crossfadeTo (const Kernel& next) noexcept;
    void processPiece (juce::dsp::AudioBlock<float> piece) noexcept;

    double sampleRate = 44100.0;
    int maxBlock = 1;
    Kernel activeKernel {};           // in use
    Kernel fadingKernel {};           // the one being faded out during a crossfade
    int fadeLength = 1, fadeDone = 0; // crossfade progress in samples; done when equal
    // Per channel: the last numTaps − 1 inputs, then room for one prepared block.
    std::array<std::vector<float>, 2> lines;
    std::vector<float> fadingOutput;

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
