#include "render/OfflineRender.h"

#include "engines/LoudnessAnalyzer.h"
#include "processor/PluginProcessor.h"
#include "render/AudioFiles.h"
#include "render/BlockQueue.h"
#include "render/ParameterSettings.h"
#include "render/SavedSettings.h"
#include "render/TargetSearch.h"

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
        return "the processor refused " + juce::String (inputChannels) + " input and " + juce::String (outputChannels)
               + " output channels";
    return {};
}

/** Writes "id=value" settings in order. */
juce::String applySettingList (QuorinProcessor& processor, const juce::StringArray& settings)
{
    for (const auto& text : settings)
    {
        juce::String error;
        const auto setting = parseParameterSetting (processor, text, error);
        if (setting.parameter == nullptr)
            return error;
        applyParameterSetting (setting);
    }
    return {};
}

/** The factory preset, then the saved state, then the --set writes. */
juce::String applySettings (QuorinProcessor& processor, const RenderOptions& options)
{
    if (options.preset.isNotEmpty() && ! loadFactoryPreset (processor, options.preset))
        return "unknown preset '" + options.preset + "'";

    if (juce::String error; options.state != juce::File() && ! applyStateFile (processor, options.state, error))
        return error;
    return applySettingList (processor, options.settings);
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
    const int count =
        static_cast<int> (std::clamp<juce::int64> (reader.lengthInSamples - position, 0, buffer.getNumSamples()));
    if (count > 0)
    {
        reader.read (&input, 0, count, position, true, true);
        for (int ch = 0; ch < input.getNumChannels(); ++ch)
            buffer.copyFrom (ch, 0, input, ch, 0, count);
    }
    return count;
}

std::vector<float> parameterValues (QuorinProcessor& processor)
{
    std::vector<float> values;
    for (int i = 0; i < numParameters; ++i)
        values.push_back (processor.parameters.getRawParameterValue (parameterId (static_cast<Param> (i)))->load());
    return values;
}

std::vector<ParameterChange> changedParameters (QuorinProcessor& processor, const std::vector<float>& before,
                                                const std::vector<float>& after)
{
    std::vector<ParameterChange> changes;
    for (int i = 0; i < numParameters; ++i)
    {
        const auto from = before[static_cast<size_t> (i)], to = after[static_cast<size_t> (i)];
        if (from == to)
            continue;
        const auto* id = parameterId (static_cast<Param> (i));
        const auto& parameter = *processor.parameters.getParameter (id);
        changes.push_back (
            { id, describeParameterValue (parameter, from), describeParameterValue (parameter, to), from, to });
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
    for (juce::int64 position = 0; ! scratch.analysisDone.load() && position <= captureLength;
         position += options.blockSize)
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
    report.changes = changedParameters (processor, parameterValues (processor), parameterValues (scratch));
    copyState (scratch, processor);
    return {};
}

juce::String configure (QuorinProcessor& processor, const RenderOptions& options, juce::AudioFormatReader& reader,
                        AnalysisReport& analysis, std::vector<ParameterChange>& finalChanges)
{
    if (auto error = setLayout (processor, static_cast<int> (reader.numChannels), options.outputChannels);
        error.isNotEmpty())
        return error;
    if (auto error = applySettings (processor, options); error.isNotEmpty())
        return error;
    if (options.analyze)
        if (auto error = analyzeOpening (processor, reader, options, analysis); error.isNotEmpty())
            return error;

    const auto configured = parameterValues (processor);
    if (auto error = applySettingList (processor, options.finalSettings); error.isNotEmpty())
        return error;
    finalChanges = changedParameters (processor, configured, parameterValues (processor));

    processor.setNonRealtime (true);
    processor.prepareToPlay (reader.sampleRate, options.blockSize);
    return {};
}

/** Decides which part of each processed block goes to the file: the first `latency` samples are
    dropped, so that the output lines up with the input, and nothing past the total length. */
class OutputAlignment
{
public:
    explicit OutputAlignment (juce::int64 total) : remaining (total) {}

    void setLatency (int samples) { toSkip = samples; }
    bool done() const { return remaining <= 0; }
    juce::int64 samplesLeft() const { return remaining; }

    struct Slice
    {
        int start = 0, count = 0;
    };

    /** The part of a block of this length that is written. */
    Slice next (int blockLength)
    {
        const int skip = static_cast<int> (std::min<juce::int64> (toSkip, blockLength));
        toSkip -= skip;
        const int count = static_cast<int> (std::min<juce::int64> (remaining, blockLength - skip));
        if (count <= 0)
            return {};
        remaining -= count;
        return { skip, count };
    }

private:
    juce::int64 remaining;
    juce::int64 toSkip = 0;
};

/** What a render measures and writes, run on the queue's second thread in the order of the blocks:
    the input's reference reading, and the output's reference reading, largest true peak and file. */
class MeasuredStreams
{
public:
    enum Stream
    {
        input,
        output
    };

    MeasuredStreams (audiofiles::AtomicAudioFileWriter& w, int inChannels, int outChannels, double sampleRate)
        : writer (w), inputMeter (inChannels, sampleRate), outputMeter (outChannels, sampleRate)
    {
        truePeakMeter.prepare (sampleRate);
    }

    void consume (int stream, const juce::AudioBuffer<float>& samples)
    {
        const int n = samples.getNumSamples();
        if (stream == input)
            return inputMeter.add (samples, 0, n);

        outputMeter.add (samples, 0, n);
        largestTruePeak = juce::jmax (largestTruePeak, truePeakMeter.measure (samples, largestTruePeak));
        if (! writer.write (samples, 0, n))
            writeFailed = true;
    }

    // Read once the queue is drained.
    bool failed() const { return writeFailed.load(); }
    LoudnessReading inputReading() const { return inputMeter.reading(); }
    LoudnessReading outputReading() const { return outputMeter.reading(); }
    float truePeak() const { return largestTruePeak; } // the largest true peak of everything written

private:
    audiofiles::AtomicAudioFileWriter& writer;
    ReferenceMeter inputMeter, outputMeter;
    TruePeakMeter truePeakMeter;
    float largestTruePeak = 0.0f;
    std::atomic<bool> writeFailed { false };
};
} // namespace

namespace
{
/** One run of the chain over the input, written to a temporary file that only commit() puts in place. */
struct Pass
{
    RenderResult result;
    std::unique_ptr<audiofiles::AtomicAudioFileWriter> writer;
    juce::MemoryBlock usedState;
    double seconds = 0.0; // how long the pass took

    /** Moves the output into place and writes the state file; returns an error or an empty string. */
    juce::String commit (const RenderOptions& options)
    {
        if (auto error = writer->commit(); error.isNotEmpty())
            return error;
        if (options.saveState != juce::File()
            && ! options.saveState.replaceWithData (usedState.getData(), usedState.getSize()))
            return "cannot write state file '" + options.saveState.getFullPathName() + "'";
        return {};
    }
};

RenderResult failed (const juce::String& error)
{
    RenderResult result;
    result.error = error;
    return result;
}

juce::String checkPaths (const RenderOptions& options)
{
    if (audiofiles::sameFile (options.input, options.output))
        return "the output path is the input file; choose another output";
    for (const auto& other : { options.input, options.output })
        if (options.saveState != juce::File() && audiofiles::sameFile (options.saveState, other))
            return "the state file path is the input or the output; choose another";
    return {};
}

Pass renderPass (const RenderOptions& options, const std::function<void (double)>& progress,
                 const std::atomic<bool>& cancel)
{
    Pass pass;
    auto& result = pass.result;
    auto reader = audiofiles::openReader (options.input, result.error);
    if (reader == nullptr)
        return pass;

    const double rate = reader->sampleRate;
    const int inChannels = static_cast<int> (reader->numChannels);
    const int outChannels = options.outputChannels;
    const auto totalLength =
        reader->lengthInSamples + static_cast<juce::int64> (std::llround (options.tailSeconds * rate));

    QuorinProcessor processor;
    if (result.error = configure (processor, options, *reader, result.analysis, result.target.changes);
        result.error.isNotEmpty())
        return pass;
    processor.getStateInformation (pass.usedState);

    pass.writer =
        std::make_unique<audiofiles::AtomicAudioFileWriter> (options.output, rate, outChannels, options.asFloat);
    if (result.error = pass.writer->error(); result.error.isNotEmpty())
        return pass;

    const int block = options.blockSize;
    MeasuredStreams streams (*pass.writer, inChannels, outChannels, rate);
    BlockQueue queue (juce::jmax (inChannels, outChannels), block, 64,
                      [&streams] (int stream, const juce::AudioBuffer<float>& samples)
                      { streams.consume (stream, samples); });
    OutputAlignment output (totalLength);

    juce::AudioBuffer<float> input (inChannels, block);
    juce::AudioBuffer<float> buffer (juce::jmax (inChannels, outChannels), block);
    juce::MidiBuffer midi;

    const auto started = juce::Time::getMillisecondCounterHiRes();
    juce::int64 readPosition = 0;
    bool latencyKnown = false;

    while (! output.done())
    {
        if (cancel.load() || streams.failed())
            break;

        const int fromFile = readBlock (*reader, readPosition, input, buffer);
        if (fromFile > 0)
        {
            queue.push (MeasuredStreams::input, input, inChannels, 0, fromFile);
            readPosition += fromFile;
        }

        processor.processBlock (buffer, midi);

        if (! latencyKnown)
        {
            output.setLatency (processor.getLatencySamples());
            latencyKnown = true;
        }

        if (const auto slice = output.next (buffer.getNumSamples()); slice.count > 0)
            queue.push (MeasuredStreams::output, buffer, outChannels, slice.start, slice.count);

        if (progress)
            progress (1.0 - static_cast<double> (output.samplesLeft()) / static_cast<double> (totalLength));
    }
    queue.drain();

    if (cancel.load())
    {
        pass.writer->discard();
        result.error = "interrupted; no output written";
        return pass;
    }
    if (streams.failed())
    {
        result.error = "cannot write '" + options.output.getFullPathName() + "'";
        return pass;
    }

    pass.seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
    result.input = streams.inputReading();
    result.output = streams.outputReading();
    result.vantora = { processor.loudnessLufs.load(), TruePeakMeter::toDbtp (streams.truePeak()) };
    result.realtimeFactor = static_cast<double> (totalLength) / rate / juce::jmax (pass.seconds, 1.0e-6);
    return pass;
}

juce::String gainSetting (double db) { return "outputgain=" + juce::String (db, 2); }
juce::String ceilingSetting (double db) { return "limiterceiling=" + juce::String (db, 2); }

/** Why a pass ends the search without a file: the target is out of reach, or the reference reads a
    true peak over the limit that the ceiling's guard holds by its own meter. Empty otherwise. */
juce::String whyNotKept (const TargetSearch::Step& step, const LoudnessReading& output, const LoudnessTarget& target)
{
    if (step.kind == TargetSearch::Step::Kind::unreachable)
        return step.reason;
    if (step.kind == TargetSearch::Step::Kind::done && output.truePeakDbtp > target.truePeakLimitDbtp)
        return "the true peak reads " + juce::String (output.truePeakDbtp, 2) + " dBTP, over the "
               + juce::String (target.truePeakLimitDbtp, 1) + " dBTP limit the ceiling holds";
    return {};
}

} // namespace

RenderResult renderFile (const RenderOptions& options, const std::function<void (double)>& progress,
                         const std::atomic<bool>& cancel)
{
    if (auto error = checkPaths (options); error.isNotEmpty())
        return failed (error);
    auto pass = renderPass (options, progress, cancel);
    if (pass.result.error.isEmpty())
        pass.result.error = pass.commit (options);
    return pass.result;
}

RenderResult renderToTarget (const RenderOptions& options, const LoudnessTarget& target,
                             const std::function<void (double)>& progress, const std::atomic<bool>& cancel)
{
    if (auto error = checkPaths (options); error.isNotEmpty())
        return failed (error);

    TargetSearch search (target.lufs, {});
    const double ceilingDb = target.truePeakLimitDbtp;
    double gainDb = search.firstGainDb();
    double totalSeconds = 0.0;

    for (;;)
    {
        auto passOptions = options;
        passOptions.finalSettings = { "outputtarget=Custom", "limiteron=on", ceilingSetting (ceilingDb),
                                      gainSetting (gainDb) };
        auto pass = renderPass (passOptions, progress, cancel);
        auto& result = pass.result;
        totalSeconds += pass.seconds;
        if (result.error.isNotEmpty())
            return result;

        const auto step = search.next (gainDb, result.output.integratedLufs);
        if (const auto why = whyNotKept (step, result.output, target); why.isNotEmpty())
        {
            pass.writer->discard();
            result.error = why;
            result.unreachable = true;
            return result;
        }

        if (step.kind == TargetSearch::Step::Kind::done)
        {
            result.target = { true,
                              target,
                              search.passes(),
                              gainDb,
                              std::max (0.0, search.limitingDb (gainDb, result.output.integratedLufs)),
                              result.target.changes };
            result.realtimeFactor = result.output.durationSeconds / juce::jmax (totalSeconds, 1.0e-6);
            result.error = pass.commit (passOptions);
            return result;
        }
        gainDb = step.gainDb;
    }
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

    LoudnessAnalyzer analyzer;
    analyzer.prepare ({ reader->sampleRate, 512, 2 });
    float lufs = -70.0f;
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
        lufs = analyzer.process (samples).value_or (lufs);
        largestPeak = juce::jmax (largestPeak, truePeak.measure (samples, largestPeak));
    }

    result.output = meter.reading();
    result.vantora = { lufs, TruePeakMeter::toDbtp (largestPeak) };
    return result;
}
