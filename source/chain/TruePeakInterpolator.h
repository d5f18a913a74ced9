#pragma once

#include <algorithm>
#include <array>
#include <cmath>

/** The true-peak interpolator of ITU-R BS.1770-4 Annex 2 for one channel: a 49-tap linear-phase
    polyphase FIR (Hann-windowed sinc) that oversamples 4× below 96 kHz, 2× below 192 kHz and not at
    all above. Fed one sample at a time, so its readings do not depend on how a stream is cut into
    blocks. */
class TruePeakInterpolator
{
public:
    /** Designs the phases for the rate and clears the history; allocates nothing. */
    void prepare (double sampleRate) noexcept;
    void reset() noexcept;

    /** Samples between an input sample and the interpolated stretch that push() reports for it. */
    int delay() const noexcept { return centre; }

    /** Samples either side of an interpolated point that its value depends on. */
    int span() const noexcept { return tapsPerPhase / 2 + 1; }

    /** No reconstructed value exceeds this many times the largest magnitude of the samples it is
        made of (the largest sum of magnitudes of any phase's taps). */
    float gainBound() const noexcept { return bound; }

    /** The largest magnitude among the samples the next values will still be made of. */
    float recentPeak() const noexcept
    {
        float peak = 0.0f;
        for (int i = 0; i < historyLength; ++i)
            peak = std::max (peak, std::abs (history[static_cast<size_t> (i)]));
        return peak;
    }

    /** Takes samples without reconstructing between them, for stretches known to stay under a level
        (gainBound() × their largest magnitude). */
    void skip (const float* samples, int numSamples) noexcept
    {
        for (int i = std::max (0, numSamples - historyLength); i < numSamples; ++i)
        {
            history[static_cast<size_t> (write)] = samples[i];
            history[static_cast<size_t> (write + historyLength)] = samples[i];
            write = write + 1 < historyLength ? write + 1 : 0;
        }
    }

    /** Takes the next sample x[n] and returns the largest magnitude of the reconstructed signal on
        [n − delay(), n − delay() + 1): the on-grid sample and the points between it and the next. */
    float push (float x) noexcept
    {
        history[static_cast<size_t> (write)] = x;
        history[static_cast<size_t> (write + historyLength)] = x;
        const float* newestFirst = history.data() + write + historyLength;
        write = write + 1 < historyLength ? write + 1 : 0;

        float peak = std::abs (newestFirst[-centre]);
        for (int phase = 1; phase < factor; ++phase)
        {
            const auto& h = coefficients[static_cast<size_t> (phase)];
            float y = 0.0f;
            for (int k = 0; k < tapsPerPhase; ++k)
                y += h[static_cast<size_t> (k)] * newestFirst[-k];
            peak = std::max (peak, std::abs (y));
        }
        return peak;
    }

    /** push() for each of `numSamples` samples, writing what each would return to `peaks`: the same
        sums in the same order, worked tap by tap over stretches of the block so that they vectorise. */
    void pushBlock (const float* samples, int numSamples, float* peaks) noexcept;

private:
    static constexpr int taps = 49;
    static constexpr int stretchLength = 64;
    static constexpr int maxTapsPerPhase = 25;
    static constexpr int historyLength = 32; // at least the longest phase

    int factor = 4;
    int tapsPerPhase = 12;
    int centre = 6;
    float bound = 1.0f;
    std::array<std::array<float, maxTapsPerPhase>, 4> coefficients {};
    std::array<float, 2 * historyLength> history {};
    int write = 0;
};
