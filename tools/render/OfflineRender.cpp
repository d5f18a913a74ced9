#include "render/OfflineRender.h"

#include "engines/LoudnessAnalyzer.h"
#include "processor/PluginProcessor.h"
#include "render/AudioFiles.h"
#include "render/ParameterSettings.h"
#include "render/SavedSettings.h"

namespace
{
constexpr double analysisSeconds = 5.0;

juce::AudioChannelSet channelSet (int channels)
{
    return channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
}

juce::String setLayout (QuorinProcessor& processor, int inputChannels, int outputChannels)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (channelSet (inputChannels));
    layout.outputBuses.add (channelSet (outputChannels));
    if (! processor.setBusesLayout (layout))
        return "the processor refused " + juce::String (inputChannels) + " input and "
               + juce::String (outputChannels) + " output channels";
    return {};
}

/** The factory preset, then the saved state, then the --set writes. */
juce::String applySettings (QuorinProcessor& processor, const RenderOptions& options)
{
    if (options.preset.isNotEmpty() && ! loadFactoryPreset (processor, options.preset))
        return "unknown preset '" + options.preset + "'";

    if (juce::String error; options.state != juce::File() && ! applyStateFile (processor, options.state, error))
        return error;

    for (const auto& text : options.settings)
    {
        juce::String error;
        const auto setting = parseParameterSetting (processor, text, error);
        if (setting.parameter == nullptr)
            return error;
        applyParameterSetting (setting);
    }
    return {};
}

void copyState (QuorinProcessor& from, QuorinProcessor& to)
{
    juce::MemoryBlock state;
    from.getStateInformation (state);
    to.setStateInformation (state.getData(), static_cast<int> (state.getSize()));
}

/** Reads the next block of the file into input and the processing buffer (zeros past the end);
    returns how many samples came from the file. */
int readBlock (juce::AudioFormatReader& reader, juce::int64 position, juce::AudioBuffer<float>& input,
               juce::AudioBuffer<float>& buffer)
{
    buffer.clear();
    const int count = static_cast<int> (std::clamp<juce::int64> (reader.lengthInSamples - position, 0, buffer.getNumSamples()));
    if (count > 0)
    {
        reader.read (&input, 0, count, position, true, true);
        for (int ch = 0; ch < input.getNumChannels(); ++ch)
            buffer.copyFrom (ch, 0, input, ch, 0, count);
    }
    return count;
}

std::vector<AnalysisReport::Change> changedParameters (QuorinProcessor& before, QuorinProcessor& after)
{
    std::vector<AnalysisReport::Change> changes;
    for (int i = 0; i < numParameters; ++i)
    {
        const auto* id = parameterId (static_cast<Param> (i));
        const float from = before.parameters.getRawParameterValue (id)->load();
        const float to = after.parameters.getRawParameterValue (id)->load();
        if (from != to)
        {
            const auto& parameter = *before.parameters.getParameter (id);
            changes.push_back ({ id, describeParameterValue (parameter, from), describeParameterValue (parameter, to),
                                 from, to });
        }
    }
    return changes;
}

/** Runs an ANALYZE capture over the opening of the input, as the editor's button would, on a copy of
    the configured processor (so that the render starts from untouched chain state), then gives the
    processor what the capture set. */
juce::String analyzeOpening (QuorinProcessor& processor, juce::AudioFormatReader& reader, const RenderOptions& options,
                             AnalysisReport& report)
{
    const int inChannels = static_cast<int> (reader.numChannels);
    QuorinProcessor scratch;
    if (const auto error = setLayout (scratch, inChannels, options.outputChannels); error.isNotEmpty())
        return error;
    copyState (processor, scratch);
    scratch.setNonRealtime (true);
    scratch.prepareToPlay (reader.sampleRate, options.blockSize);
    scratch.analyzeRequested.store (true);

    juce::AudioBuffer<float> input (inChannels, options.blockSize);
    juce::AudioBuffer<float> buffer (juce::jmax (inChannels, options.outputChannels), options.blockSize);
    juce::MidiBuffer midi;
    const auto captureLength = static_cast<juce::int64> (analysisSeconds * reader.sampleRate);
    for (juce::int64 position = 0; ! scratch.analysisDone.load() && position <= captureLength; position += options.blockSize)
    {
        readBlock (reader, position, input, buffer);
        scratch.processBlock (buffer, midi);
    }

    report.ran = true;
    report.rmsDb = scratch.analysisRmsDb.load();
    report.peakDb = scratch.analysisPeakDb.load();
    report.lufsEstimate = scratch.analysisLufsEstimate.load();
    report.ceilingDb = scratch.analysisCeilingDb.load();
    report.attack = scratch.analysisAttack.load();
    report.sustain = scratch.analysisSustain.load();
    report.changes = changedParameters (processor, scratch);
    copyState (scratch, processor);
    return {};
}

juce::String configure (QuorinProcessor& processor, const RenderOptions& options, juce::AudioFormatReader& reader,
                        AnalysisReport& analysis)
{
    if (auto error = setLayout (processor, static_cast<int> (reader.numChannels), options.outputChannels);
        error.isNotEmpty())
        return error;
    if (auto error = applySettings (processor, options); error.isNotEmpty())
        return error;
    if (options.analyze)
        if (auto error = analyzeOpening (processor, reader, options, analysis); error.isNotEmpty())
            return error;

    processor.setNonRealtime (true);
    processor.prepareToPlay (reader.sampleRate, options.blockSize);
    return {};
}

/** Streams processor output into the writer, dropping the first `latency` samples so that the
    output lines up with the input, and measures what it writes. */
class AlignedOutput
{
public:
    AlignedOutput (audiofiles::AtomicAudioFileWriter& w, ReferenceMeter& m, int numChannels, double sampleRate,
                   juce::int64 total)
        : writer (w), meter (m), channels (numChannels), remaining (total)
    {
        truePeakMeter.prepare (sampleRate);
    }

    /** The largest true peak of everything written. */
    float truePeak() const { return largestTruePeak; }

    void setLatency (int samples) { toSkip = samples; }
    bool done() const { return remaining <= 0; }
    juce::int64 samplesLeft() const { return remaining; }

    bool push (juce::AudioBuffer<float>& block)
    {
        const int skip = static_cast<int> (std::min<juce::int64> (toSkip, block.getNumSamples()));
        toSkip -= skip;
        const int count = static_cast<int> (std::min<juce::int64> (remaining, block.getNumSamples() - skip));
        if (count <= 0)
            return true;
        remaining -= count;
        meter.add (block, skip, count);
        const juce::AudioBuffer<float> written (block.getArrayOfWritePointers(), channels, skip, count);
        largestTruePeak = juce::jmax (largestTruePeak, truePeakMeter.measure (written, largestTruePeak));
        return writer.write (block, skip, count);
    }

private:
    audiofiles::AtomicAudioFileWriter& writer;
    ReferenceMeter& meter;
    int channels;
    TruePeakMeter truePeakMeter;
    float largestTruePeak = 0.0f;
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

    for (const auto& other : { options.input, options.output })
        if (options.saveState != juce::File() && audiofiles::sameFile (options.saveState, other))
        {
            result.error = "the state file path is the input or the output; choose another";
            return result;
        }

    QuorinProcessor processor;
    if (result.error = configure (processor, options, *reader, result.analysis); result.error.isNotEmpty())
        return result;

    juce::MemoryBlock usedState;
    processor.getStateInformation (usedState);

    audiofiles::AtomicAudioFileWriter writer (options.output, rate, outChannels, options.asFloat);
    if (result.error = writer.error(); result.error.isNotEmpty())
        return result;

    ReferenceMeter inputMeter (inChannels, rate), outputMeter (outChannels, rate);
    AlignedOutput output (writer, outputMeter, outChannels, rate, totalLength);

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

        const int fromFile = readBlock (*reader, readPosition, input, buffer);
        if (fromFile > 0)
        {
            inputMeter.add (input, 0, fromFile);
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

    if (options.saveState != juce::File() && ! options.saveState.replaceWithData (usedState.getData(), usedState.getSize()))
    {
        result.error = "cannot write state file '" + options.saveState.getFullPathName() + "'";
        return result;
    }

    result.input = inputMeter.reading();
    result.output = outputMeter.reading();
    result.vantora = { processor.loudnessLufs.load(), TruePeakMeter::toDbtp (output.truePeak()) };
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
    truePeak.prepare (reader->sampleRate);
    float largestPeak = 0.0f;

    juce::AudioBuffer<float> buffer (channels, chunk);
    for (juce::int64 position = 0; position < reader->lengthInSamples; position += chunk)
    {
        const int count = static_cast<int> (std::min<juce::int64> (chunk, reader->lengthInSamples - position));
        reader->read (&buffer, 0, count, position, true, true);
        meter.add (buffer, 0, count);

        const juce::AudioBuffer<float> samples (buffer.getArrayOfWritePointers(), channels, count);
        analyzer.process (samples, lufs);
        largestPeak = juce::jmax (largestPeak, truePeak.measure (samples, largestPeak));
    }

    result.output = meter.reading();
    result.vantora = { lufs.load(), TruePeakMeter::toDbtp (largestPeak) };
    return result;
}
