#include "engines/AnalogEqEngine.h"
#include "engines/VectorClones.h"

#include <cmath>
#include <limits>

namespace
{
using Engine = AnalogEqEngine;

constexpr double coefficientGlide = 0.16;
constexpr double driveAndMixGlide = 0.09;
constexpr float lowestDesignHz = 18.0f;
constexpr float lowestNotchHz = 30.0f;

double clampedFrequency (double sampleRate, float freqHz) noexcept
{
    return std::min (std::max (static_cast<double> (freqHz), static_cast<double> (lowestDesignHz)), 0.48 * sampleRate);
}

double angularFrequency (double sampleRate, float freqHz) noexcept
{
    return 2.0 * juce::MathConstants<double>::pi * clampedFrequency (sampleRate, freqHz) / sampleRate;
}

double cookbookAmplitude (float gainDb) noexcept { return std::pow (10.0, static_cast<double> (gainDb) / 40.0); }

/** Divides the raw coefficients by a0, with a huge but finite reciprocal for a vanishing a0. */
BiquadCoeffs normalised (double b0, double b1, double b2, double a0, double a1, double a2) noexcept
{
    const double reciprocal = std::abs (a0) < 1.0e-9 ? std::copysign (999999999.9999999, a0) : 1.0 / a0;
    return { b0 * reciprocal, b1 * reciprocal, b2 * reciprocal, a1 * reciprocal, a2 * reciprocal };
}

void glide (double& value, double target, double k) noexcept { value += (target - value) * k; }

using Lanes = Engine::ChannelLanes;
using LaneBits = long long __attribute__ ((vector_size (16)));

/** e^x of each lane for x in [0, 45]: the power of two split off by ln 2, the rest by a Padé form. */
Lanes expOfLanes (Lanes x) noexcept
{
    // Adding 1.5·2⁵² leaves x/ln 2 rounded to an integer in the low mantissa bits.
    constexpr double roundingShift = 6755399441055744.0;
    const Lanes shifted = x * 1.4426950408889634073599 + roundingShift;
    const Lanes n = shifted - roundingShift;
    // ln 2 in two parts, so that n·ln 2 comes off x without rounding away the remainder.
    const Lanes r = (x - n * 6.93145751953125e-1) - n * 1.42860682030941723212e-6;
    const Lanes rr = r * r;
    const Lanes p = r * ((rr * 1.26177193074810590878e-4 + 3.02994407707441961300e-2) * rr + 9.99999999999999999910e-1);
    const Lanes q = ((rr * 3.00198505138664455042e-6 + 2.52448340349684104192e-3) * rr + 2.27265548208155028766e-1) * rr
                    + 2.00000000000000000009e0;
    const Lanes mantissa = 1.0 + 2.0 * (p / (q - p));
    const LaneBits exponent =
        reinterpret_cast<LaneBits> (shifted) - reinterpret_cast<LaneBits> (Lanes {} + roundingShift);
    return mantissa * reinterpret_cast<Lanes> ((exponent + 1023) << 52);
}

/** Each lane rounded to a float's value, as a float output would round it. */
Lanes roundedToFloat (Lanes x) noexcept
{
    using FloatPair = float __attribute__ ((vector_size (8)));
    return __builtin_convertvector(__builtin_convertvector(x, FloatPair), Lanes);
}
} // namespace

Engine::ChannelLanes Engine::tanhOfLanes (ChannelLanes x) noexcept
{
    const LaneBits signBit = LaneBits {} + std::numeric_limits<long long>::min(); // the sign bit alone
    const LaneBits sign = reinterpret_cast<LaneBits> (x) & signBit;
    const Lanes a = reinterpret_cast<Lanes> (reinterpret_cast<LaneBits> (x) & ~signBit);

    // Computed for |x| and given the sign of x at the end (rounding is symmetric, so this is exact).
    // Near zero: |x| + |x|·z·P(z)/Q(z), z = x².
    const Lanes z = a * a;
    const Lanes p = (z * -9.64399179425052238628e-1 + -9.92877231001918586564e1) * z + -1.61468768441708447952e3;
    const Lanes q = ((z + 1.12811678491632931402e2) * z + 2.23548839060100448583e3) * z + 4.84406305325125486048e3;
    const Lanes nearZero = a + a * (z * p / q);

    // Beyond 0.625: 1 − 2 / (e^2|x| + 1); at 22 and past it, 1 in double.
    const Lanes limited = a < 22.0 ? a : Lanes {} + 22.0;
    const Lanes away = 1.0 - 2.0 / (expOfLanes (2.0 * limited) + 1.0);
    const Lanes magnitude = a < 0.625 ? nearZero : away;
    return reinterpret_cast<Lanes> (reinterpret_cast<LaneBits> (magnitude) | sign);
}

//==============================================================================
VANTORA_VECTOR_CLONES Engine::ChannelLanes Engine::AnalogBiquad::process (ChannelLanes x) noexcept
{
    glide (b0, target.b0, coefficientGlide);
    glide (b1, target.b1, coefficientGlide);
    glide (b2, target.b2, coefficientGlide);
    glide (a1, target.a1, coefficientGlide);
    glide (a2, target.a2, coefficientGlide);
    glide (drive, driveTarget, driveAndMixGlide);
    glide (mix, mixTarget, driveAndMixGlide);

    const ChannelLanes y = b0 * x + s1;
    s1 = b1 * x - a1 * y + s2;
    s2 = b2 * x - a2 * y;
    return roundedToFloat (x + mix * (tanhOfLanes (drive * y) / drive - x));
}

//==============================================================================
BiquadCoeffs Engine::makePeak (double sampleRate, float freqHz, float q, float gainDb) noexcept
{
    const double w0 = angularFrequency (sampleRate, freqHz);
    const double a = cookbookAmplitude (gainDb);
    const double alpha = std::sin (w0) / (2.0 * static_cast<double> (std::max (q, 0.2f)));
    const double cosW0 = std::cos (w0);
    return normalised (1.0 + alpha * a, -2.0 * cosW0, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cosW0, 1.0 - alpha / a);
}

BiquadCoeffs Engine::makeHighPass (double sampleRate, float freqHz) noexcept
{
    const double w0 = angularFrequency (sampleRate, freqHz);
    const double alpha = std::sin (w0) / static_cast<double> (1.414f);
    const double cosW0 = std::cos (w0);
    return normalised ((1.0 + cosW0) / 2.0, -(1.0 + cosW0), (1.0 + cosW0) / 2.0, 1.0 + alpha, -2.0 * cosW0,
                       1.0 - alpha);
}

BiquadCoeffs Engine::makeHighShelf (double sampleRate, float freqHz, float gainDb) noexcept
{
    const double slopeTerm = 1.0 / static_cast<double> (0.72f) - 1.0;
    const double w0 = angularFrequency (sampleRate, freqHz);
    const double a = cookbookAmplitude (gainDb);
    const double alpha = std::sin (w0) / 2.0 * std::sqrt ((a + 1.0 / a) * slopeTerm + 2.0);
    const double cosW0 = std::cos (w0);
    const double twoRootAAlpha = 2.0 * std::sqrt (a) * alpha;
    return normalised (a * ((a + 1.0) + (a - 1.0) * cosW0 + twoRootAAlpha), -2.0 * a * ((a - 1.0) + (a + 1.0) * cosW0),
                       a * ((a + 1.0) + (a - 1.0) * cosW0 - twoRootAAlpha),
                       (a + 1.0) - (a - 1.0) * cosW0 + twoRootAAlpha, 2.0 * ((a - 1.0) - (a + 1.0) * cosW0),
                       (a + 1.0) - (a - 1.0) * cosW0 - twoRootAAlpha);
}

BiquadCoeffs Engine::makeBandPass (double sampleRate, float freqHz, float q) noexcept
{
    const double w0 = angularFrequency (sampleRate, freqHz);
    const double alpha = std::sin (w0) / (2.0 * static_cast<double> (q));
    return normalised (alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * std::cos (w0), 1.0 - alpha);
}

//==============================================================================
void Engine::prepare (const juce::dsp::ProcessSpec& spec) noexcept
{
    sampleRate = spec.sampleRate;
    rows.fill ({});

    // The sections start as straight wires and glide into these designs; the fixed rows fade in by mix.
    setRowTarget (cuppedRow, makePeak (sampleRate, 350.0f, 1.1f, -6.0f), 1.07, 1.0);
    setRowTarget (cuppedRow + 1, makePeak (sampleRate, 2800.0f, 0.9f, 3.0f), 1.08, 1.0);
    setRowTarget (cuppedRow + 2, makeHighShelf (sampleRate, 5000.0f, 5.0f), 1.1, 1.0);
    setRowTarget (detectorRow, makeBandPass (sampleRate, 6200.0f, 0.85f), 1.0, 1.0);
    for (int i = 0; i < numNotchRows; ++i)
        setRowTarget (notchRow + i, makePeak (sampleRate, lowestNotchHz, 16.0f, -8.0f), 1.02, 0.0);
}

void Engine::reset() noexcept
{
    for (auto& row : rows)
        row.s1 = row.s2 = ChannelLanes {};
}

void Engine::setParameters (const Params& params) noexcept
{
    setToneCurve (params.toneCurve);
    setFeedbackNotches (params.notches);
}

void Engine::setToneCurve (const ToneCurve& curve) noexcept
{
    const auto [hpfHz, lowGainDb, lowMidGainDb, presenceHz, presenceGainDb, airHz, airGainDb] = curve;
    // A second high-pass section makes the slope 24 dB/oct for low corners.
    const auto highPass = makeHighPass (sampleRate, hpfHz);
    setRowTarget (liveToneRow, highPass, 1.1, 1.0);
    setRowTarget (liveToneRow + 1, highPass, 1.1, hpfHz < 96.0f ? 1.0 : 0.0);
    setRowTarget (liveToneRow + 2, makePeak (sampleRate, 96.0f, 0.55f, lowGainDb), 1.04,
                  std::abs (lowGainDb) > 0.02f ? 1.0 : 0.0);
    setRowTarget (liveToneRow + 3, makePeak (sampleRate, 400.0f, 0.82f, lowMidGainDb), 1.05, 1.0);
    setRowTarget (liveToneRow + 4, makePeak (sampleRate, presenceHz, 0.78f, presenceGainDb), 1.09, 1.0);
    setRowTarget (liveToneRow + 5, makeHighShelf (sampleRate, airHz, airGainDb), 1.06, 1.0);
}

void Engine::setFeedbackNotches (const FeedbackNotches& notches) noexcept
{
    const auto& frequencies = notches.frequenciesHz;
    const float q = notches.q, gainDb = notches.gainDb;
    const bool enabled = notches.enabled;
    for (int i = 0; i < numNotchRows; ++i)
    {
        const float f = frequencies[static_cast<size_t> (i)];
        const auto limited =
            static_cast<float> (std::min (static_cast<double> (std::max (f, lowestNotchHz)), 0.48 * sampleRate));
        setRowTarget (notchRow + i, makePeak (sampleRate, limited, q, gainDb), 1.02, enabled && f > 0.0f ? 1.0 : 0.0);
    }
}

void Engine::processLive (float& left, float& right) noexcept
{
    processRows (liveToneRow, numLiveToneRows, left, right);
}

void Engine::processRows (int firstRow, int count, float& left, float& right) noexcept
{
    ChannelLanes x { left, right };
    for (int row = firstRow; row < firstRow + count; ++row)
        x = section (row).process (x);
    left = static_cast<float> (x[0]);
    right = static_cast<float> (x[1]);
}

void Engine::setRowTarget (int row, const BiquadCoeffs& design, double driveTarget, double mixTarget) noexcept
{
    auto& biquad = section (row);
    biquad.target = design;
    biquad.driveTarget = driveTarget;
    biquad.mixTarget = mixTarget;
}
