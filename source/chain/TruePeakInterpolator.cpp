#include "chain/TruePeakInterpolator.h"
#include "engines/VectorClones.h"

#include <cmath>

void TruePeakInterpolator::prepare (double sampleRate) noexcept
{
    factor = sampleRate < 96000.0 ? 4 : (sampleRate < 192000.0 ? 2 : 1);
    tapsPerPhase = factor > 1 ? (taps - 1) / factor : 0;
    centre = factor > 1 ? (taps - 1) / 2 / factor : 0;

    // Output phase r at input n is the sum over k of tap (factor·k + r) times x[n − k]. Phase 0 is the
    // input itself, delayed (the sinc is 0 at every other multiple of the factor), so only the phases
    // between samples are stored.
    constexpr double pi = 3.14159265358979323846;
    for (auto& phase : coefficients)
        phase.fill (0.0f);
    for (int j = 0; j < taps; ++j)
    {
        const int phase = j % factor;
        if (phase == 0)
            continue;
        const double m = j - (taps - 1) / 2.0;
        const double x = m * pi / factor;
        const double window = 0.5 * (1.0 - std::cos (2.0 * pi * j / (taps - 1)));
        coefficients[static_cast<size_t> (phase)][static_cast<size_t> (j / factor)] =
            static_cast<float> (std::sin (x) / x * window);
    }
    bound = 1.0f;
    for (const auto& phase : coefficients)
    {
        float sum = 0.0f;
        for (const auto h : phase)
            sum += std::abs (h);
        bound = std::max (bound, sum);
    }
    reset();
}

void TruePeakInterpolator::reset() noexcept
{
    history.fill (0.0f);
    write = 0;
}

VANTORA_VECTOR_CLONES void TruePeakInterpolator::pushBlock (const float* samples, int numSamples, float* peaks) noexcept
{
    for (int start = 0; start < numSamples; start += stretchLength)
    {
        const int count = std::min (stretchLength, numSamples - start);
        // Oldest to newest: the history, then the stretch.
        std::array<float, historyLength + stretchLength> line;
        std::copy_n (history.data() + write, historyLength, line.data());
        std::copy_n (samples + start, count, line.data() + historyLength);
        const float* x = line.data() + historyLength;

        float* peak = peaks + start;
        for (int n = 0; n < count; ++n)
            peak[n] = std::abs (x[n - centre]);

        std::array<float, stretchLength> y;
        for (int phase = 1; phase < factor; ++phase)
        {
            const auto& h = coefficients[static_cast<size_t> (phase)];
            std::fill_n (y.data(), count, 0.0f);
            for (int k = 0; k < tapsPerPhase; ++k)
            {
                const float tap = h[static_cast<size_t> (k)];
                const float* delayed = x - k;
                for (int n = 0; n < count; ++n)
                    y[static_cast<size_t> (n)] += tap * delayed[n];
            }
            for (int n = 0; n < count; ++n)
                peak[n] = std::max (peak[n], std::abs (y[static_cast<size_t> (n)]));
        }

        // The newest samples become the history, oldest first from the start of the ring.
        std::copy_n (line.data() + count, historyLength, history.data());
        std::copy_n (line.data() + count, historyLength, history.data() + historyLength);
        write = 0;
    }
}
