#include "demo/DemoTake.h"

#include <cmath>
#include <cstdint>

namespace demo
{
namespace
{
constexpr double twoPi = 6.283185307179586;

/** xorshift32: the same sequence everywhere, unlike the standard distributions. */
class Noise
{
public:
    explicit Noise (std::uint32_t seed) : state (seed) {}

    float next() noexcept // uniform in [-1, 1)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float> (state) / 2147483648.0f - 1.0f;
    }

private:
    std::uint32_t state;
};

/** One-pole low-pass; the high-pass is the input minus it. */
class OnePole
{
public:
    OnePole (double cutoffHz, double sampleRate) : k (1.0 - std::exp (-twoPi * cutoffHz / sampleRate)) {}
    double lowPass (double x) noexcept { return state += (x - state) * k; }
    double highPass (double x) noexcept { return x - lowPass (x); }

private:
    double k, state = 0.0;
};

using Voice = void (*) (float* out, int length, double fs, Noise& noise, float gain);

void kick (float* out, int length, double fs, Noise& noise, float gain)
{
    double phase = 0.0;
    OnePole clickTone (2500.0, fs);
    for (int i = 0; i < length; ++i)
    {
        const double t = i / fs;
        phase += twoPi * (45.0 + 75.0 * std::exp (-t / 0.03)) / fs;
        const double attack = std::min (1.0, t / 0.002);
        const double body = std::sin (phase) * attack * std::exp (-t / 0.09);
        const double click = clickTone.lowPass (noise.next()) * std::exp (-t / 0.003);
        out[i] += gain * static_cast<float> (std::tanh (1.4 * body + 0.6 * click));
    }
}

void snare (float* out, int length, double fs, Noise& noise, float gain)
{
    double phase = 0.0;
    OnePole highPass (1500.0, fs);
    for (int i = 0; i < length; ++i)
    {
        const double t = i / fs;
        phase += twoPi * 190.0 / fs;
        const double hiss = highPass.highPass (noise.next()) * std::exp (-t / 0.06);
        const double body = 0.6 * std::sin (phase) * std::exp (-t / 0.04);
        out[i] += gain * static_cast<float> (hiss + body);
    }
}

void hiHat (float* out, int length, double fs, Noise& noise, float gain)
{
    OnePole first (6000.0, fs), second (6000.0, fs);
    for (int i = 0; i < length; ++i)
    {
        const double t = i / fs;
        const double hiss = second.highPass (first.highPass (noise.next()));
        out[i] += gain * static_cast<float> (hiss * std::exp (-t / 0.025));
    }
}

void inwardK (float* out, int length, double fs, Noise& noise, float gain)
{
    OnePole aboveTwoK (2200.0, fs), belowFourK (4200.0, fs);
    for (int i = 0; i < length; ++i)
    {
        const double t = i / fs;
        const double band = belowFourK.lowPass (aboveTwoK.highPass (noise.next()));
        const double envelope = std::min (1.0, t / 0.005) * std::exp (-t / 0.04);
        const double click = t < 0.001 ? 0.8 * noise.next() : 0.0;
        out[i] += gain * static_cast<float> (2.2 * band * envelope + click);
    }
}

struct Step
{
    Voice voice;
    float gain;
    double seconds;
    HitKind kind;
};

// One bar of sixteen steps; empty steps hold no voice.
const Step* stepAt (int step)
{
    static const Step kickStep { kick, 0.8f, 0.3, HitKind::kick }, snareStep { snare, 0.55f, 0.25, HitKind::snare },
        hatStep { hiHat, 0.3f, 0.12, HitKind::hiHat }, inwardStep { inwardK, 0.42f, 0.2, HitKind::inwardK };
    switch (step)
    {
        case 0:
        case 6:
        case 10:
            return &kickStep;
        case 4:
        case 12:
            return &snareStep;
        case 2:
        case 8:
            return &hatStep;
        case 14:
            return &inwardStep;
        default:
            return (step % 2 == 1 && step != 7) ? &hatStep : nullptr;
    }
}

void addRoom (float* out, int length, double fs, Noise& noise)
{
    OnePole rumble (400.0, fs);
    for (int i = 0; i < length; ++i)
        out[i] += 0.004f * static_cast<float> (rumble.lowPass (noise.next()));

    // One early reflection, as from a nearby wall.
    const int delay = static_cast<int> (0.023 * fs);
    for (int i = length - 1; i >= delay; --i)
        out[i] += 0.18f * out[i - delay];
}
} // namespace

LabelledTake makeLabelledDemoTake (double sampleRate, double seconds)
{
    const int length = static_cast<int> (seconds * sampleRate);
    LabelledTake labelled { juce::AudioBuffer<float> (1, length), {} };
    auto& take = labelled.audio;
    take.clear();
    auto* out = take.getWritePointer (0);

    Noise noise (0x5eedu);
    const double stepSeconds = 60.0 / 96.0 / 4.0; // sixteenths at 96 BPM

    for (int n = 0;; ++n)
    {
        const auto* step = stepAt (n % 16);
        // Human timing and level: up to ±4 ms early or late and ±2 dB.
        const double jitter = 0.004 * noise.next();
        const float level = std::pow (10.0f, 0.1f * noise.next());
        const int start = static_cast<int> ((n * stepSeconds + 0.05 + jitter) * sampleRate);
        if (start >= length)
            break;
        if (step == nullptr)
            continue;

        const int voiceLength = std::min (static_cast<int> (step->seconds * sampleRate), length - start);
        step->voice (out + start, voiceLength, sampleRate, noise, step->gain * level);
        labelled.onsets.push_back ({ start, step->kind });
    }

    addRoom (out, length, sampleRate, noise);

    const float peak = take.getMagnitude (0, 0, length);
    if (peak > 0.0f)
        take.applyGain (0.7f / peak); // about −3 dBFS, as a careful recording would peak
    return labelled;
}

juce::AudioBuffer<float> makeDemoTake (double sampleRate, double seconds)
{
    return makeLabelledDemoTake (sampleRate, seconds).audio;
}
} // namespace demo
