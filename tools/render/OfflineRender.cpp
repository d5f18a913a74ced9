#include "render/OfflineRender.h"

#include "engines/LoudnessAnalyzer.h"
#include "processor/PluginProcessor.h"
#include "render/AudioFiles.h"
#include "render/ParameterSettings.h"

namespace
{
juce::AudioChannelSet channelSet (int channels)
{
    return channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
}

juce::String configure (QuorinProcessor& processor, const RenderOptions& options, int inputChannels, double rate)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (channelSet (inputChannels));
    layout.outputBuses.add (channelSet (options.outputChannels));
    if (! processor.setBusesLayout (layout))
        return "the processor refused " + juce::String (inputChannels) + " input and "
               + juce::String (options.outputChannels) + " output channels";

    for (const auto& text : options.settings)
    {
        juce::String error;
        const auto setting = parseParameterSetting (processor, text, error);
        if (setting.parameter == nullptr)
            return error;
        applyParameterSetting (setting);
    }

    processor.setNonRealtime (true);
    processor.prepareToPlay (rate, options.blockSize);
    return {};
}

/** Streams processor output into the writer, dropping the first `latency` samples so that the
    output lines up with the input. */
class AlignedOutput
{
public:
    AlignedOutput (audiofiles::AtomicAudioFileWriter& w, ReferenceMeter& m, juce::int64 total)
        : writer (w), meter (m), remaining (total)
    {
    }

    void setLatency (int samples) { toSkip = samples; }
    bool done() const { return remaining <= 0; }
    juce::int64 samplesLeft() const { return remaining; }

    bool push (const juce::AudioBuffer<float>& block)
    {
        const int skip = static_cast<int> (std::min<juce::int64> (toSkip, block.getNumSamples()));
        toSkip -= skip;
        const int count = static_cast<int> (std::min<juce::int64> (remaining, block.getNumSamples() - skip));
        if (count <= 0)
            return true;
        remaining -= count;
        meter.add (block, skip, count);
        return writer.write (block, skip, count);
    }

private:
    audiofiles::AtomicAudioFileWriter& writer;
    ReferenceMeter& meter;
    juce::int64 remaining;
    juce::int64 toSkip = 0;
};
} // namespace

RenderResult renderFile (const RenderOptions& options, const std::function<void (double)>& progress,
                         const std::atomic<bool>& cancel)
{
    RenderResult result;
    auto reader = audiofiles::openReader (options.input, result.error);
    if (reader == nullptr)
        return result;

    if (audiofiles::sameFile (options.input, options.output))
    {
        result.error = "the output path is the input file; choose another output";
        return result;
    }

    const double rate = reader->sampleRate;
    const int inChannels = static_cast<int> (reader->numChannels);
    const int outChannels = options.outputChannels;
    const auto inputLength = reader->lengthInSamples;
    const auto totalLength = inputLength + static_cast<juce::int64> (std::llround (options.tailSeconds * rate));

    QuorinProcessor processor;
    if (result.error = configure (processor, options, inChannels, rate); result.error.isNotEmpty())
        return result;

    audiofiles::AtomicAudioFileWriter writer (options.output, rate, outChannels, options.asFloat);
    if (result.error = writer.error(); result.error.isNotEmpty())
        return result;

    ReferenceMeter inputMeter (inChannels, rate), outputMeter (outChannels, rate);
    AlignedOutput output (writer, outputMeter, totalLength);

    const int block = options.blockSize;
    juce::AudioBuffer<float> input (inChannels, block);
    juce::AudioBuffer<float> buffer (juce::jmax (inChannels, outChannels), block);
    juce::MidiBuffer midi;

    const auto started = juce::Time::getMillisecondCounterHiRes();
    juce::int64 readPosition = 0;
    bool latencyKnown = false;

    while (! output.done())
    {
        if (cancel.load())
        {
            writer.discard();
            result.error = "interrupted; no output written";
            return result;
        }

        buffer.clear();
        const int fromFile = static_cast<int> (std::clamp<juce::int64> (inputLength - readPosition, 0, block));
        if (fromFile > 0)
        {
            reader->read (&input, 0, fromFile, readPosition, true, true);
            inputMeter.add (input, 0, fromFile);
            for (int ch = 0; ch < inChannels; ++ch)
                buffer.copyFrom (ch, 0, input, ch, 0, fromFile);
            readPosition += fromFile;
        }

        processor.processBlock (buffer, midi);

        if (! latencyKnown)
        {
            output.setLatency (processor.getLatencySamples());
            latencyKnown = true;
        }

        if (! output.push (buffer))
        {
            result.error = "cannot write '" + options.output.getFullPathName() + "'";
            return result;
        }

        if (progress)
            progress (1.0 - static_cast<double> (output.samplesLeft()) / static_cast<double> (totalLength));
    }

    const double seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
    if (result.error = writer.commit(); result.error.isNotEmpty())
        return result;

    result.input = inputMeter.reading();
    result.output = outputMeter.reading();
    result.vantora = { processor.loudnessLufs.load(), processor.truePeakDb.load() };
    result.realtimeFactor = static_cast<double> (totalLength) / rate / juce::jmax (seconds, 1.0e-6);
    return result;
}

RenderResult measureFile (const juce::File& file)
{
    RenderResult result;
    auto reader = audiofiles::openReader (file, result.error);
    if (reader == nullptr)
        return result;

    const int channels = static_cast<int> (reader->numChannels);
    ReferenceMeter meter (channels, reader->sampleRate);
    constexpr int chunk = 65536;

    QuorinProcessor::LoudnessAnalyzer analyzer;
    analyzer.prepare (reader->sampleRate);
    std::atomic<float> lufs { -70.0f };
    TruePeakMeter truePeak;
    truePeak.prepare (chunk);
    float largestPeak = 0.0f;

    juce::AudioBuffer<float> buffer (channels, chunk);
    for (juce::int64 position = 0; position < reader->lengthInSamples; position += chunk)
    {
        const int count = static_cast<int> (std::min<juce::int64> (chunk, reader->lengthInSamples - position));
        reader->read (&buffer, 0, count, position, true, true);
        meter.add (buffer, 0, count);

        const juce::AudioBuffer<float> samples (buffer.getArrayOfWritePointers(), channels, count);
        analyzer.process (samples, lufs);
        largestPeak = juce::jmax (largestPeak, truePeak.measure (samples));
    }

    result.output = meter.reading();
    result.vantora = { lufs.load(), TruePeakMeter::toDbtp (largestPeak) };
    return result;
}
