#include "engines/LoudnessAnalyzer.h"
#include "engines/VectorClones.h"

namespace
{
constexpr float absoluteGateLufs = -70.0f;
constexpr float relativeGateLu = 10.0f;
constexpr double powerFloor = 1.0e-12;

float loudnessOfPower (double meanPower) noexcept
{
    return 10.0f * std::log10 (static_cast<float> (juce::jmax (meanPower, powerFloor))) - 0.691f;
}

double powerOfLoudness (float lufs) noexcept { return std::pow (10.0, (static_cast<double> (lufs) + 0.691) / 10.0); }
} // namespace

void LoudnessAnalyzer::prepare (const juce::dsp::ProcessSpec& spec)
{
    sampleRate = spec.sampleRate;
    blockLength = juce::jmax (1, juce::roundToInt (0.4f * static_cast<float> (sampleRate)));

    // K-weighting from the framework's biquad designs at the running rate.
    const auto highPass = juce::dsp::IIR::Coefficients<float>::makeHighPass (sampleRate, 38.0f, 0.5f);
    const auto shelf = juce::dsp::IIR::Coefficients<float>::makeHighShelf (sampleRate, 1500.0f, 0.707f, 1.5848932f);
    for (size_t ch = 0; ch < 2; ++ch)
    {
        kHighPass[ch].coefficients = highPass;
        kShelf[ch].coefficients = shelf;
    }
    reset();
}

void LoudnessAnalyzer::reset() noexcept
{
    energySum = 0.0;
    sampleCount = 0;
    history.fill (absoluteGateLufs);
    historyWrite = 0;
    historyCount = 0;
    for (size_t ch = 0; ch < 2; ++ch)
    {
        kHighPass[ch].reset();
        kShelf[ch].reset();
    }
}

VANTORA_VECTOR_CLONES std::optional<float> LoudnessAnalyzer::process (const juce::AudioBuffer<float>& buffer) noexcept
{
    std::optional<float> reading;
    if (buffer.getNumChannels() < 1)
        return reading;

    const auto* left = buffer.getReadPointer (0);
    const auto* right = buffer.getReadPointer (buffer.getNumChannels() > 1 ? 1 : 0);

    // Both channels side by side in vector lanes.
    auto highPass = Filter::startLanes (kHighPass);
    auto shelf = Filter::startLanes (kShelf);
    for (int i = 0; i < buffer.getNumSamples(); ++i)
    {
        const auto weighted = shelf.process (highPass.process (FloatLanes { left[i], right[i], 0.0f, 0.0f }));
        const float l = weighted[0], r = weighted[1];
        // Channel powers add, as in BS.1770: a one-channel buffer counts on both sides.
        energySum += static_cast<double> (l) * l + static_cast<double> (r) * r;

        if (++sampleCount >= blockLength)
            reading = completeBlock();
    }
    Filter::finishLanes (highPass, kHighPass);
    Filter::finishLanes (shelf, kShelf);
    return reading;
}

float LoudnessAnalyzer::completeBlock() noexcept
{
    history[static_cast<size_t> (historyWrite)] = loudnessOfPower (energySum / sampleCount);
    historyWrite = (historyWrite + 1) % historySize;
    historyCount = juce::jmin (historyCount + 1, historySize);

    energySum = 0.0;
    sampleCount = 0;
    return integratedLoudness();
}

float LoudnessAnalyzer::integratedLoudness() const noexcept
{
    const auto ungated = gatedMean (std::numeric_limits<float>::lowest());
    if (ungated.count == 0)
        return absoluteGateLufs;

    const auto gated = gatedMean (ungated.lufs - relativeGateLu);
    return gated.count > 0 ? gated.lufs : ungated.lufs;
}

LoudnessAnalyzer::GatedMean LoudnessAnalyzer::gatedMean (float floorLufs) const noexcept
{
    // Walks the ring in place: nothing is allocated at block boundaries.
    double powerSum = 0.0;
    int count = 0;
    for (int i = 0; i < historyCount; ++i)
    {
        const float h = history[static_cast<size_t> (i)];
        if (h > absoluteGateLufs && h >= floorLufs)
        {
            powerSum += powerOfLoudness (h);
            ++count;
        }
    }
    return { count, count > 0 ? loudnessOfPower (powerSum / count) : absoluteGateLufs };
}
