#include "engines/LinearPhaseEqEngine.h"

#include "engines/AnalogEqEngine.h"
#include "engines/VectorClones.h"

#include <cmath>
#include <complex>

namespace
{
using Engine = LinearPhaseEqEngine;
using Complex = std::complex<double>;
constexpr double twoPi = 2.0 * juce::MathConstants<double>::pi;

/** A biquad's response at z⁻¹ = `z1` (and z⁻² = `z2`). */
Complex responseOf (const BiquadCoeffs& s, Complex z1, Complex z2) noexcept
{
    return (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

int wrapped (int index) noexcept
{
    return ((index % Engine::spectrumSize) + Engine::spectrumSize) % Engine::spectrumSize;
}

bool movedBeyond (float now, float then, float tolerance) noexcept { return std::abs (now - then) > tolerance; }

// How often the designer looks for requests: well below the 50 ms crossfade of a kernel change.
constexpr int designerPollMs = 2;
} // namespace

//==============================================================================
Engine::LinearPhaseEqEngine()
{
    for (int m = 0; m < spectrumSize; ++m)
    {
        unitCos[static_cast<size_t> (m)] = std::cos (twoPi * m / spectrumSize);
        unitSin[static_cast<size_t> (m)] = std::sin (twoPi * m / spectrumSize);
    }
}

Engine::~LinearPhaseEqEngine() = default;

void Engine::prepare (const juce::dsp::ProcessSpec& spec)
{
    designer.stop(); // it reads the rate
    sampleRate = spec.sampleRate;
    maxBlock = static_cast<int> (juce::jmax (juce::uint32 (1), spec.maximumBlockSize));
    // A kernel change in real time crossfades over 50 ms.
    fadeLength = juce::jmax (1, static_cast<int> (0.05 * sampleRate));

    for (auto& line : lines)
        line.assign (static_cast<size_t> (numTaps - 1 + maxBlock), 0.0f);
    fadingOutput.assign (static_cast<size_t> (maxBlock), 0.0f);

    activeKernel.fill (0.0f);
    activeKernel[centreTap] = 1.0f;
    reset();
    needsRebuild = true;
    latestInstalled = latestRequested;
    designer.start();
}

void Engine::reset() noexcept
{
    for (auto& line : lines)
        std::fill (line.begin(), line.end(), 0.0f);
    fadeDone = fadeLength;
}

//==============================================================================
Engine::Taps Engine::lowPassPrototype (float cornerHz) const noexcept
{
    const auto rate = static_cast<float> (sampleRate);
    const double fc = std::min (0.45f * rate, cornerHz) / rate;

    Taps taps {};
    double sum = 0.0;
    for (int n = 0; n < numTaps; ++n)
    {
        const int offset = n - centreTap;
        const double window = 0.5 - 0.5 * std::cos (twoPi * n / (numTaps - 1));
        const double sinc =
            offset == 0 ? 2.0 * fc : std::sin (twoPi * fc * offset) / (juce::MathConstants<double>::pi * offset);
        taps[static_cast<size_t> (n)] = sinc * window;
        sum += taps[static_cast<size_t> (n)];
    }

    if (sum > 0.000001) // unity gain at DC
        for (auto& tap : taps)
            tap /= sum;
    return taps;
}

std::vector<float> Engine::buildUserShelfImpulse (float lowDb, float midDb, float highDb) const
{
    // Three complementary bands: below 220 Hz, 220 Hz to 3.6 kHz, above 3.6 kHz.
    const auto low = lowPassPrototype (220.0f);
    const auto lowAndMid = lowPassPrototype (3600.0f);
    const auto gain = [] (float db) { return juce::Decibels::decibelsToGain (static_cast<double> (db)); };
    const double gL = gain (lowDb), gM = gain (midDb), gH = gain (highDb);

    std::vector<float> kernel (static_cast<size_t> (numTaps));
    for (size_t n = 0; n < kernel.size(); ++n)
    {
        const double impulse = static_cast<int> (n) == centreTap ? 1.0 : 0.0;
        kernel[n] = static_cast<float> (gL * low[n] + gM * (lowAndMid[n] - low[n]) + gH * (impulse - lowAndMid[n]));
    }
    return kernel;
}

void Engine::mergeLiveToneCurveLinearPhase (std::vector<float>& kernel, const ToneCurve& curve, float presenceQ) const
{
    const auto [hpfHz, lowGainDb, lowMidGainDb, presenceHz, presenceGainDb, airHz, airGainDb] = curve;
    jassert (kernel.size() == static_cast<size_t> (numTaps));
    using Analog = AnalogEqEngine;
    const auto highPass = Analog::makeHighPass (sampleRate, hpfHz);
    const std::array<BiquadCoeffs, 6> sections {
        highPass,
        hpfHz < 96.0f ? highPass : BiquadCoeffs {}, // 24 dB/oct for low corners
        Analog::makePeak (sampleRate, 96.0f, 0.55f, lowGainDb),
        Analog::makePeak (sampleRate, 400.0f, 0.82f, lowMidGainDb),
        Analog::makePeak (sampleRate, presenceHz, std::max (presenceQ, 0.2f), presenceGainDb),
        Analog::makeHighShelf (sampleRate, airHz, airGainDb),
    };

    const auto unit = [this] (int m)
    { return Complex (unitCos[static_cast<size_t> (m)], -unitSin[static_cast<size_t> (m)]); };

    std::array<double, spectrumSize> magnitude {};
    for (int j = 0; j < spectrumSize; ++j)
    {
        Complex kernelResponse;
        for (int k = 0; k < numTaps; ++k)
            kernelResponse += static_cast<double> (kernel[static_cast<size_t> (k)]) * unit (wrapped (k * j));

        Complex toneResponse (1.0);
        for (const auto& section : sections)
            toneResponse *= responseOf (section, unit (j), unit (wrapped (2 * j)));

        magnitude[static_cast<size_t> (j)] = std::abs (toneResponse) * std::abs (kernelResponse);
    }

    // Zero phase about the centre tap: the inverse transform of the magnitude alone.
    for (int n = 0; n < numTaps; ++n)
    {
        double sum = magnitude[0];
        for (int l = 1; l < spectrumSize; ++l)
            sum += magnitude[static_cast<size_t> (l)] * unitCos[static_cast<size_t> (wrapped (l * (n - centreTap)))];
        kernel[static_cast<size_t> (n)] = static_cast<float> (sum / spectrumSize);
    }
}

//==============================================================================
bool Engine::needsRebuildFor (const Design& d) const noexcept
{
    constexpr float gainDb = 0.08f;
    const auto& last = lastBuild;
    const auto &c = d.curve, &lastCurve = last.curve;
    return needsRebuild || movedBeyond (d.lowDb, last.lowDb, gainDb) || movedBeyond (d.midDb, last.midDb, gainDb)
           || movedBeyond (d.highDb, last.highDb, gainDb) || movedBeyond (c.hpfHz, lastCurve.hpfHz, 1.5f)
           || movedBeyond (c.lowMidGainDb, lastCurve.lowMidGainDb, gainDb)
           || movedBeyond (c.presenceHz, lastCurve.presenceHz, 4.0f) || movedBeyond (d.presenceQ, last.presenceQ, 0.04f)
           || movedBeyond (c.presenceGainDb, lastCurve.presenceGainDb, gainDb)
           || movedBeyond (c.airHz, lastCurve.airHz, 6.0f) || movedBeyond (c.airGainDb, lastCurve.airGainDb, gainDb)
           || movedBeyond (c.lowGainDb, lastCurve.lowGainDb, gainDb);
}

Engine::Kernel Engine::kernelFor (const Design& d) const
{
    auto taps = buildUserShelfImpulse (d.lowDb, d.midDb, d.highDb);
    mergeLiveToneCurveLinearPhase (taps, d.curve, d.presenceQ);
    // Symmetric to rounding by construction; made exactly so, since the filter folds the taps in pairs.
    Kernel result;
    std::copy (taps.begin(), taps.end(), result.begin());
    for (int k = 0; k < centreTap; ++k)
        result[static_cast<size_t> (numTaps - 1 - k)] = result[static_cast<size_t> (k)];
    return result;
}

void Engine::rebuild (const Design& design) noexcept
{
    lastBuild = design;
    needsRebuild = ! designer.post (design, latestRequested + 1);
    if (! needsRebuild)
        ++latestRequested;
}

void Engine::rebuildNow (const Design& design, const juce::AudioBuffer<float>& recentInput)
{
    lastBuild = design;
    needsRebuild = false;
    latestInstalled = latestRequested;
    activeKernel = kernelFor (design);
    reset();

    const int count = juce::jmin (recentInput.getNumSamples(), numTaps - 1);
    for (int ch = 0; ch < recentInput.getNumChannels() && ch < 2; ++ch)
        std::copy_n (recentInput.getReadPointer (ch, recentInput.getNumSamples() - count), count,
                     lines[static_cast<size_t> (ch)].begin() + (numTaps - 1 - count));
}

void Engine::crossfadeTo (const Kernel& next) noexcept
{
    fadingKernel = activeKernel;
    activeKernel = next;
    fadeDone = 0;
}

void Engine::process (juce::dsp::AudioBlock<float> block) noexcept
{
    if (kernelPending() && fadeDone == fadeLength)
        if (const auto next = designer.takeNewest (latestInstalled, latestInstalled))
            crossfadeTo (*next);

    const auto step = static_cast<size_t> (maxBlock);
    for (size_t start = 0; start < block.getNumSamples(); start += step)
        processPiece (block.getSubBlock (start, std::min (step, block.getNumSamples() - start)));
}

namespace
{
/** y[n] = Σ taps[k]·x[n − k] for a kernel symmetric about its centre tap, each pair of equal taps
    folded into one product; `x` has numTaps − 1 samples of history before it. Tap by tap over the
    block, so that the inner loop vectorises; silent taps (most of a pure delay) are skipped. Where the
    processor has them, eight- or sixteen-wide vectors run it: each output is the same sum in the same order. */
VANTORA_WIDE_VECTOR_CLONES void runSymmetricFir (const std::array<float, Engine::numTaps>& taps, const float* x,
                                                 float* y, int numSamples) noexcept
{
    constexpr int last = Engine::numTaps - 1;
    const float centre = taps[Engine::centreTap];
    const float* middle = x - Engine::centreTap;
    for (int n = 0; n < numSamples; ++n)
        y[n] = centre * middle[n];

    // Four pairs per pass over the block, so that the output is loaded and stored a quarter as often.
    static_assert (Engine::centreTap % 4 == 0);
    for (int k = 0; k < Engine::centreTap; k += 4)
    {
        const auto tap = [&taps, k] (int j) { return taps[static_cast<size_t> (k + j)]; };
        const float t0 = tap (0), t1 = tap (1), t2 = tap (2), t3 = tap (3);
        if (t0 == 0.0f && t1 == 0.0f && t2 == 0.0f && t3 == 0.0f)
            continue;
        const float* near = x - k;
        const float* far = x - (last - k);
        for (int n = 0; n < numSamples; ++n)
            y[n] += t0 * (near[n] + far[n]) + t1 * (near[n - 1] + far[n + 1]) + t2 * (near[n - 2] + far[n + 2])
                    + t3 * (near[n - 3] + far[n + 3]);
    }
}

} // namespace

void Engine::processPiece (juce::dsp::AudioBlock<float> piece) noexcept
{
    const int numSamples = static_cast<int> (piece.getNumSamples());
    const int fadeStart = fadeDone;
    for (size_t ch = 0; ch < std::min (piece.getNumChannels(), lines.size()); ++ch)
    {
        auto* io = piece.getChannelPointer (ch);
        auto& line = lines[ch];
        float* x = line.data() + (numTaps - 1);
        std::copy_n (io, numSamples, x);
        runSymmetricFir (activeKernel, x, io, numSamples);

        if (fadeStart < fadeLength)
        {
            runSymmetricFir (fadingKernel, x, fadingOutput.data(), numSamples);
            for (int n = 0; n < numSamples; ++n)
            {
                const float gain =
                    static_cast<float> (juce::jmin (fadeStart + n + 1, fadeLength)) / static_cast<float> (fadeLength);
                io[n] = fadingOutput[static_cast<size_t> (n)] + gain * (io[n] - fadingOutput[static_cast<size_t> (n)]);
            }
        }
        std::copy_n (line.begin() + numSamples, numTaps - 1, line.begin()); // keep the newest history
    }
    fadeDone = juce::jmin (fadeLength, fadeStart + numSamples);
}

//==============================================================================
Engine::Designer::Designer (const LinearPhaseEqEngine& owner)
    : juce::Thread ("Linear-phase kernel designer"), engine (owner)
{
}

Engine::Designer::~Designer() { stop(); }

void Engine::Designer::start() { startThread(); }

void Engine::Designer::stop()
{
    stopThread (-1);
    requestQueue.reset();
    kernelQueue.reset();
}

bool Engine::Designer::post (const Design& design, std::uint64_t serial) noexcept
{
    if (requestQueue.getFreeSpace() == 0)
        return false;
    const auto scope = requestQueue.write (1);
    requests[static_cast<size_t> (scope.startIndex1)] = { design, serial };
    return true;
}

std::optional<Engine::Designer::Request> Engine::Designer::takeNewestRequest() noexcept
{
    std::optional<Request> newest;
    const auto scope = requestQueue.read (requestQueue.getNumReady());
    scope.forEach ([&] (int index) { newest = requests[static_cast<size_t> (index)]; });
    return newest;
}

std::optional<Engine::Kernel> Engine::Designer::takeNewest (std::uint64_t after, std::uint64_t& serial) noexcept
{
    const Finished* newest = nullptr;
    const auto scope = kernelQueue.read (kernelQueue.getNumReady());
    scope.forEach (
        [&] (int index)
        {
            const auto& kernel = finished[static_cast<size_t> (index)];
            if (kernel.serial > after)
                newest = &kernel;
        });
    if (newest == nullptr)
        return std::nullopt;
    serial = newest->serial;
    return newest->taps;
}

void Engine::Designer::run()
{
    while (! threadShouldExit())
    {
        const auto request = takeNewestRequest();
        if (! request.has_value())
        {
            wait (designerPollMs);
            continue;
        }

        const auto taps = engine.kernelFor (request->design);
        while (kernelQueue.getFreeSpace() == 0 && ! threadShouldExit())
            wait (designerPollMs);
        if (threadShouldExit())
            return;

        const auto scope = kernelQueue.write (1);
        finished[static_cast<size_t> (scope.startIndex1)] = { taps, request->serial };
    }
}
