#include "engines/ModernReverb.h"
#include "engines/VectorClones.h"

namespace
{
constexpr std::array<float, 6> diffuserMs { 3.0f, 4.8f, 7.5f, 12.0f, 18.8f, 30.5f };
constexpr std::array<float, 6> diffuserGains { 0.5f, 0.52f, 0.48f, 0.53f, 0.5f, 0.51f };
constexpr std::array<int, 8> lineMs { 29, 37, 43, 53, 61, 71, 79, 89 };

// Left decode weights; the right channel takes them in reverse line order.
constexpr std::array<float, 8> sideDecode { 0.49f, -0.37f, 0.45f, -0.31f, 0.32f, -0.28f, 0.27f, -0.23f };

// About the network's mean loop time in seconds: the decay rule turns a reverberation time into a
// feedback gain per loop with it.
constexpr float meanLoopSeconds = 0.047f;
constexpr float hadamardNorm = 0.353553f; // 1/sqrt(8) keeps the matrix lossless
constexpr float silentWet = 0.0001f;

int scaledLength (double sampleRate, double milliseconds, float sizeScale, int minimum)
{
    return juce::jmax (minimum, juce::roundToInt (sampleRate * milliseconds * 0.001 * sizeScale));
}

/** In-place Sylvester Hadamard transform of eight values (rows in natural order), for each of the
    first `count` columns: rows[r][i] is value r of column i. */
template <size_t Columns>
void hadamardColumns (std::array<std::array<float, Columns>, 8>& rows, int count) noexcept
{
    for (size_t span = 1; span < 8; span *= 2)
        for (size_t start = 0; start < 8; start += 2 * span)
            for (size_t r = start; r < start + span; ++r)
            {
                auto& upper = rows[r];
                auto& lower = rows[r + span];
                for (size_t i = 0; i < static_cast<size_t> (count); ++i)
                {
                    const float a = upper[i], b = lower[i];
                    upper[i] = a + b;
                    lower[i] = a - b;
                }
            }
}

/** Calls run (done, position, length) for `count` samples of a ring starting at `position`, in runs
    that stop at the ring's end, so that each run is contiguous and vectorises; returns the position
    after them. */
template <typename Run>
int inRingRuns (int position, int ringLength, int count, Run&& run) noexcept
{
    for (int done = 0; done < count;)
    {
        const int length = juce::jmin (count - done, ringLength - position);
        run (done, position, length);
        position = position + length == ringLength ? 0 : position + length;
        done += length;
    }
    return position;
}
} // namespace

//==============================================================================
void ModernReverb::prepare (const juce::dsp::ProcessSpec& spec)
{
    sampleRate = spec.sampleRate;
    const auto blockSize = static_cast<int> (spec.maximumBlockSize);

    const int maxPreDelay = juce::roundToInt (0.2 * sampleRate);
    preDelayRing.assign (static_cast<size_t> (juce::jmax (1, maxPreDelay + blockSize + 8)), 0.0f);

    for (size_t i = 0; i < diffusers.size(); ++i)
    {
        diffusers[i].buffer.assign (static_cast<size_t> (scaledLength (sampleRate, diffuserMs[i], sizeScale, 8)), 0.0f);
        diffusers[i].gain = diffuserGains[i];
    }

    chunkLength = maxChunk;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        lines[i].buffer.assign (static_cast<size_t> (scaledLength (sampleRate, lineMs[i], sizeScale, 17)), 0.0f);
        // A line read in a chunk must not need what the chunk writes: its reads are L − 1 and L − 2 back.
        chunkLength = juce::jmin (chunkLength, static_cast<int> (lines[i].buffer.size()) - 2);
    }

    reset();

    gliding.preDelaySamples.load (0.0f);
    gliding.feedback.load (0.6f);
    gliding.dampingCoeff.load (onePoleCoefficient (6000.0f));
    gliding.lowCutCoeff.load (onePoleCoefficient (85.0f));
    gliding.brightnessCoeff.load (onePoleCoefficient (5200.0f));
}

void ModernReverb::reset() noexcept
{
    std::fill (preDelayRing.begin(), preDelayRing.end(), 0.0f);
    preDelayWrite = 0;
    preDelayState = 0.0f;

    for (auto& d : diffusers)
    {
        std::fill (d.buffer.begin(), d.buffer.end(), 0.0f);
        d.position = 0;
    }

    for (auto& line : lines)
    {
        std::fill (line.buffer.begin(), line.buffer.end(), 0.0f);
        line.writePosition = 0;
        line.dampingState = 0.0f;
    }

    outputFilters = {};
    gliding.wet.load (0.0f);
    gliding.width.load (1.0f);
    gliding.highCutEnabled.load (0.0f);
    highCutActive = false;
    gliding.highCutCoeff.load (1.0f);
}

float ModernReverb::onePoleCoefficient (float cornerHz) const noexcept
{
    const float dt = 1.0f / static_cast<float> (sampleRate);
    const float rc = cornerHz < 1.0f ? 0.15915494f : 1.0f / (juce::MathConstants<float>::twoPi * cornerHz);
    return dt / (rc + dt);
}

//==============================================================================
void ModernReverb::setParameters (const Params& params) noexcept
{
    const auto [decaySeconds, preDelayMs, dampingHz, lowCutHz, highCutHz] = params;
    const float damping = juce::jlimit (1200.0f, 18000.0f, dampingHz);
    gliding.dampingCoeff.target = onePoleCoefficient (juce::jmin (0.97f * damping * voicing.dampingScale, 19500.0f));

    const float brightnessHz = (damping - 1200.0f) * 11000.0f / 16800.0f + 6200.0f + voicing.brightnessOffsetHz;
    gliding.brightnessCoeff.target = onePoleCoefficient (juce::jlimit (4800.0f, 20000.0f, brightnessHz));

    gliding.lowCutCoeff.target = onePoleCoefficient (juce::jlimit (20.0f, 2600.0f, lowCutHz));

    const auto maxDelay = static_cast<float> (preDelayRing.size() - 1);
    const auto delay = static_cast<float> (juce::roundToInt (preDelayMs * 0.001f * static_cast<float> (sampleRate)));
    gliding.preDelaySamples.target = juce::jlimit (0.0f, maxDelay, delay);

    // A reverberation time T falls 60 dB in T seconds: 3 decades of amplitude over T / loop time loops.
    const float decay =
        juce::jmax (0.05f, juce::jlimit (0.3f, voicing.maxDecaySeconds, decaySeconds) * voicing.decayScale);
    gliding.feedback.target =
        juce::jlimit (0.05f, voicing.maxFeedback, std::pow (10.0f, -3.0f * meanLoopSeconds / decay));

    highCutActive = highCutHz < 19700.0f;
    gliding.highCutEnabled.target = highCutActive ? 1.0f : 0.0f;
    gliding.highCutCoeff.target = highCutActive ? onePoleCoefficient (juce::jmax (2600.0f, highCutHz)) : 1.0f;
}

//==============================================================================
VANTORA_VECTOR_CLONES void ModernReverb::Diffuser::process (float* samples, int count) noexcept
{
    // Within a run each slot is read, then written, once.
    position = inRingRuns (position, static_cast<int> (buffer.size()), count,
                           [this, samples] (int done, int start, int run) noexcept
                           {
                               float* delayLine = buffer.data() + start;
                               float* x = samples + done;
                               for (int i = 0; i < run; ++i)
                               {
                                   const float delayed = delayLine[i];
                                   delayLine[i] = delayed * gain + x[i];
                                   x[i] = delayed - gain * x[i];
                               }
                           });
}

VANTORA_VECTOR_CLONES void ModernReverb::glideControls (int count) noexcept
{
    // A local copy, which the stores into the chunk's controls cannot touch.
    auto g = gliding;
    for (int i = 0; i < count; ++i)
        chunkControls[static_cast<size_t> (i)] = { g.preDelaySamples.glide (0.08f),  g.feedback.glide (0.03f),
                                                   g.dampingCoeff.glide (0.04f),     g.lowCutCoeff.glide (0.05f),
                                                   g.brightnessCoeff.glide (0.045f), g.highCutCoeff.glide (0.05f),
                                                   g.highCutEnabled.glide (0.08f),   g.wet.glide (0.0028f),
                                                   g.width.glide (0.0028f) };
    gliding = g;
}

VANTORA_VECTOR_CLONES void ModernReverb::readPreDelay (const float* left, const float* right, int count) noexcept
{
    // The ring position and the smoothing state stay in locals, which the ring's writes cannot touch.
    float* ring = preDelayRing.data();
    const int length = static_cast<int> (preDelayRing.size());
    int write = preDelayWrite;
    float state = preDelayState;
    for (int i = 0; i < count; ++i)
    {
        const auto n = static_cast<size_t> (i);
        ring[write] = (left[i] + (right != nullptr ? right[i] : left[i])) * 0.5f;

        float position = static_cast<float> (write) - chunkControls[n].preDelay;
        if (position < 0.0f)
            position += static_cast<float> (length);
        // Never negative here, so truncation is the floor (and cheaper than the library call).
        int first = static_cast<int> (position);
        const float fraction = position - static_cast<float> (first);
        if (first >= length) // rounding can land a position just below the length on it
            first -= length;
        const int second = first + 1 < length ? first + 1 : 0;
        const float a = ring[first];
        const float b = ring[second];
        state += (a + (b - a) * fraction - state) * 0.092f;
        chunkInput[n] = state;

        if (++write == length)
            write = 0;
    }
    preDelayWrite = write;
    preDelayState = state;
}

void ModernReverb::diffuseChunkInput (int count) noexcept
{
    // Diffuser after diffuser over the whole chunk: each sees the samples it would sample by sample.
    for (auto& d : diffusers)
        d.process (chunkInput.data(), count);
    for (int i = 0; i < count; ++i)
        chunkInput[static_cast<size_t> (i)] *= 0.78f;
}

VANTORA_VECTOR_CLONES void ModernReverb::readLines (int count) noexcept
{
    // Each line's two oldest samples averaged over the chunk, in runs up to the ring's end (they were
    // written L - 1 and L - 2 samples ago), into lineOutputs; then the damping filters over it.
    for (size_t l = 0; l < numLines; ++l)
    {
        const float* buffer = lines[l].buffer.data();
        const int length = static_cast<int> (lines[l].buffer.size());
        float* __restrict values = lineOutputs[l].data();
        int older = lines[l].writePosition + 1 < length ? lines[l].writePosition + 1 : 0;
        for (int done = 0; done < count;)
        {
            // The newer sample wraps one step before the older one does.
            const int run = juce::jmin (count - done, length - 1 - older);
            for (int i = 0; i < run; ++i)
                values[done + i] = 0.5f * (buffer[older + i] + buffer[older + i + 1]);
            done += run;
            older += run;
            if (done < count)
            {
                values[done++] = 0.5f * (buffer[older] + buffer[0]);
                older = 0;
            }
        }
    }

    // All eight lines' damping filters side by side in two vectors: they are independent.
    FloatLanes damped[2];
    for (size_t half = 0; half < 2; ++half)
        for (size_t lane = 0; lane < 4; ++lane)
            damped[half][lane] = lines[4 * half + lane].dampingState;
    for (size_t n = 0; n < static_cast<size_t> (count); ++n)
    {
        const float coefficient = 0.92f * chunkControls[n].damping;
        for (size_t half = 0; half < 2; ++half)
        {
            auto& output = lineOutputs;
            const size_t first = 4 * half;
            const FloatLanes value { output[first][n], output[first + 1][n], output[first + 2][n],
                                     output[first + 3][n] };
            damped[half] += (value - damped[half]) * coefficient;
            for (size_t lane = 0; lane < 4; ++lane)
                output[first + lane][n] = damped[half][lane];
        }
    }
    for (size_t half = 0; half < 2; ++half)
        for (size_t lane = 0; lane < 4; ++lane)
            lines[4 * half + lane].dampingState = damped[half][lane];
}

VANTORA_VECTOR_CLONES void ModernReverb::writeLines (int count) noexcept
{
    mixedOutputs = lineOutputs;
    hadamardColumns (mixedOutputs, count);
    for (int i = 0; i < count; ++i)
        chunkFeedback[static_cast<size_t> (i)] =
            chunkControls[static_cast<size_t> (i)].feedback * voicing.feedbackTrim * hadamardNorm;

    for (size_t l = 0; l < lines.size(); ++l)
    {
        auto& line = lines[l];
        float* const buffer = line.buffer.data();
        const auto& mixed = mixedOutputs[l];
        line.writePosition = inRingRuns (line.writePosition, static_cast<int> (line.buffer.size()), count,
                                         [this, buffer, &mixed] (int done, int start, int run) noexcept
                                         {
                                             float* __restrict out = buffer + start;
                                             for (int i = 0; i < run; ++i)
                                             {
                                                 const auto n = static_cast<size_t> (done + i);
                                                 out[i] = chunkFeedback[n] * mixed[n] + chunkInput[n];
                                             }
                                         });
    }
}

FloatLanes ModernReverb::filterOutput (OutputFilters& f, FloatLanes x, const SampleControls& c) noexcept
{
    f.lowCut += (x - f.lowCut) * c.lowCut;
    x -= 0.38f * f.lowCut; // a partial low cut keeps some body in the tail
    f.post += (x - f.post) * 0.095f;
    f.brightness += (f.post - f.brightness) * c.brightness;
    if (c.highCutEnabled > 0.02f)
        f.highCut += (f.brightness - f.highCut) * (c.highCut * c.highCutEnabled + (1.0f - c.highCutEnabled));
    else
        f.highCut = f.brightness;
    f.final += (f.highCut - f.final) * 0.085f;
    return f.final;
}

VANTORA_VECTOR_CLONES void ModernReverb::decodeLines (int count) noexcept
{
    // Line by line over the chunk, so that it vectorises: each sample gets the same sums, in line order.
    std::fill_n (decodedSum.begin(), count, 0.0f);
    std::fill_n (decodedSideLeft.begin(), count, 0.0f);
    std::fill_n (decodedSideRight.begin(), count, 0.0f);
    for (size_t l = 0; l < numLines; ++l)
    {
        const auto& output = lineOutputs[l];
        const float toLeft = sideDecode[l], toRight = sideDecode[numLines - 1 - l];
        for (size_t n = 0; n < static_cast<size_t> (count); ++n)
        {
            decodedSum[n] += output[n];
            decodedSideLeft[n] += toLeft * output[n];
            decodedSideRight[n] += toRight * output[n];
        }
    }
}

void ModernReverb::process (juce::dsp::AudioBlock<float>& block, float wetLevel, float widthAmount) noexcept
{
    const float wetTarget = juce::jlimit (0.0f, 1.0f, wetLevel);

    // A silent bus freezes its tail instead of letting it decay.
    if ((wetTarget <= silentWet && gliding.wet.current <= silentWet) || block.getNumSamples() < 1)
        return;

    gliding.wet.target = wetTarget;
    gliding.width.target = juce::jlimit (0.0f, 1.0f, widthAmount);

    auto* left = block.getChannelPointer (0);
    auto* right = block.getNumChannels() > 1 ? block.getChannelPointer (1) : nullptr;
    const int total = static_cast<int> (block.getNumSamples());
    for (int start = 0; start < total; start += chunkLength)
        processChunk (left + start, right != nullptr ? right + start : nullptr,
                      juce::jmin (chunkLength, total - start));
}

VANTORA_VECTOR_CLONES void ModernReverb::processChunk (float* left, float* right, int count) noexcept
{
    // The controls and the network's input depend on nothing the network does: worked out first.
    glideControls (count);
    readPreDelay (left, right, count);
    diffuseChunkInput (count);

    // Line by line, then column by column: the same sums per sample as sample by sample.
    readLines (count);
    writeLines (count);

    decodeLines (count);

    // The filters run from a local copy, which the stores into the output cannot touch.
    auto filters = outputFilters;
    for (int i = 0; i < count; ++i)
    {
        const auto n = static_cast<size_t> (i);
        const auto& c = chunkControls[n];
        const float inLeft = left[i];
        const float inRight = right != nullptr ? right[i] : inLeft;

        const float mono = 0.125f * decodedSum[n] * voicing.monoWeight;
        const FloatLanes input { mono + voicing.sideWeight * decodedSideLeft[n],
                                 mono + voicing.sideWeight * decodedSideRight[n], 0.0f, 0.0f };
        const auto decoded = filterOutput (filters, input, c);
        const float decodedLeft = decoded[0], decodedRight = decoded[1];

        const float ws = juce::jlimit (0.0f, 1.38f, (0.38f * c.width + 1.0f + voicing.widthBoost) * c.width);
        const float mid = (decodedLeft + decodedRight) * 0.5f;
        const float side = (decodedLeft - decodedRight) * 0.5f * ws;
        const float gain = c.wet * 0.82f;

        left[i] = inLeft + (mid + side) * gain;
        if (right != nullptr)
            right[i] = inRight + (mid - side) * gain;
    }
    outputFilters = filters;
}
