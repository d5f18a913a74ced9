#include "chain/TruePeakInterpolator.h"

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
