// vantora-render: runs Vantora on audio files, masters them to a loudness target and reports
// loudness, peaks and what each platform would do with the result.
#include "render/Batch.h"
#include "render/OfflineRender.h"
#include "render/Report.h"
#include "render/SavedSettings.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{
const char* const usage =
    "usage: vantora-render IN OUT [--preset NAME] [--state FILE] [--set id=value]... [--analyze]\n"
    "                      [--save-state FILE] [--block N] [--tail SECONDS] [--float] [--channels 1|2]\n"
    "                      [--target NAME|LUFS [--true-peak DBTP]] [--report] [--json]\n"
    "       vantora-render IN... --out-dir DIR [the same options but --save-state]\n"
    "       vantora-render --measure FILE [--report] [--json]\n"
    "Settings apply in this order: --preset, --state, each --set, what --analyze sets, then what --target sets.\n"
    "--target renders to a platform's loudness (youtube, spotify, apple-music, amazon-music, tidal, deezer,\n"
    "apple-podcasts, ebu-r128, atsc-a85) or to a number of LUFS with the true peak at most -1 dBTP.\n"
    "--report adds the compliance report: loudness, range, peaks, PLR and every platform's verdict.\n";

std::atomic<bool> interrupted { false };

// The exit status of a render whose loudness target cannot be reached.
constexpr int targetUnreachable = 3;

// The render loop stops at the next block and discards its file; a second signal ends the process
// at once, should anything before the loop hold it up.
extern "C" void onInterrupt (int signalNumber)
{
    interrupted.store (true);
    std::signal (signalNumber, SIG_DFL);
}

struct CommandLine
{
    RenderOptions render;
    juce::File measure;
    bool json = false;
    bool report = false;
    std::optional<LoudnessTarget> target;
    juce::File outDir;
    juce::Array<juce::File> inputs; // of a batch
};

int fail (const juce::String& message, int code = 1)
{
    std::cerr << "vantora-render: " << message << "\n";
    return code;
}

bool parseInt (const juce::String& text, int minimum, int maximum, int& out)
{
    if (! text.containsOnly ("0123456789"))
        return false;
    const auto value = text.getLargeIntValue();
    if (text.isEmpty() || value < minimum || value > maximum)
        return false;
    out = static_cast<int> (value);
    return true;
}

/** Fills the command line or returns why it cannot. */
juce::String parse (const juce::StringArray& args, CommandLine& cl)
{
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    juce::StringArray positional;
    juce::String targetText, truePeakText;

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        const auto next = [&] (juce::String& value)
        {
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        juce::String value;

        if (arg == "--json")
            cl.json = true;
        else if (arg == "--report")
            cl.report = true;
        else if (arg == "--target" || arg == "--true-peak")
        {
            if (! next (value))
                return arg + (arg == "--target" ? " needs a platform name or LUFS" : " needs dBTP");
            (arg == "--target" ? targetText : truePeakText) = value;
        }
        else if (arg == "--out-dir")
        {
            if (! next (value))
                return "--out-dir needs a folder";
            cl.outDir = cwd.getChildFile (value);
        }
        else if (arg == "--float")
            cl.render.asFloat = true;
        else if (arg == "--set")
        {
            if (! next (value))
                return "--set needs id=value";
            cl.render.settings.add (value);
        }
        else if (arg == "--preset")
        {
            if (! next (value) || ! factoryPresetNames().contains (value))
                return "unknown preset '" + value + "'; the presets are \""
                       + factoryPresetNames().joinIntoString ("\", \"") + "\"";
            cl.render.preset = value;
        }
        else if (arg == "--state" || arg == "--save-state")
        {
            if (! next (value))
                return arg + " needs a file";
            (arg == "--state" ? cl.render.state : cl.render.saveState) = cwd.getChildFile (value);
        }
        else if (arg == "--analyze")
            cl.render.analyze = true;
        else if (arg == "--block")
        {
            if (! next (value) || ! parseInt (value, 1, 65536, cl.render.blockSize))
                return "--block takes a whole number of samples from 1 to 65536";
        }
        else if (arg == "--tail")
        {
            if (! next (value) || ! value.containsOnly ("0123456789.") || value.isEmpty()
                || value.getDoubleValue() > 600.0)
                return "--tail takes seconds from 0 to 600";
            cl.render.tailSeconds = value.getDoubleValue();
        }
        else if (arg == "--channels")
        {
            if (! next (value) || ! parseInt (value, 1, 2, cl.render.outputChannels))
                return "--channels takes 1 or 2";
        }
        else if (arg == "--measure")
        {
            if (! next (value))
                return "--measure needs a file";
            cl.measure = cwd.getChildFile (value);
        }
        else if (arg.startsWith ("--"))
            return "unknown option '" + arg + "'";
        else
            positional.add (arg);
    }

    if (cl.measure != juce::File())
    {
        if (targetText.isNotEmpty() || cl.outDir != juce::File())
            return "--measure reads a file as it is; --target and --out-dir are for renders";
        return positional.isEmpty() ? juce::String() : "--measure takes one file and no output";
    }

    if (truePeakText.isNotEmpty() && targetText.isEmpty())
        return "--true-peak goes with --target";
    if (targetText.isNotEmpty())
    {
        juce::String error;
        cl.target = parseLoudnessTarget (targetText, truePeakText, error);
        if (error.isNotEmpty())
            return error;
    }

    if (cl.outDir != juce::File())
    {
        if (positional.isEmpty())
            return "give the input files of the batch";
        if (cl.render.saveState != juce::File())
            return "--save-state names one file; a batch cannot use it";
        for (const auto& name : positional)
            cl.inputs.add (cwd.getChildFile (name));
        return {};
    }

    if (positional.size() != 2)
        return "give an input and an output file";

    cl.render.input = cwd.getChildFile (positional[0]);
    cl.render.output = cwd.getChildFile (positional[1]);
    return {};
}

/** Renders every input into the out-dir; the exit status says whether all of them succeeded. */
int runBatch (const CommandLine& cl, const std::atomic<bool>& cancel)
{
    if (! cl.outDir.isDirectory() && ! cl.outDir.createDirectory())
        return fail ("cannot create the folder '" + cl.outDir.getFullPathName() + "'");

    int finished = 0;
    const auto count = cl.inputs.size();
    const auto started = juce::Time::getMillisecondCounterHiRes();
    const auto items = renderBatch (
        cl.render, cl.target, cl.inputs, cl.outDir,
        [&] (const BatchItem& item) { std::cerr << batchProgressLine (item, ++finished, count) << std::endl; }, cancel);
    const double seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;

    std::cout << batchSummary (items, seconds, cl.json);
    if (cancel.load())
        return 130;
    const bool allRendered =
        std::all_of (items.begin(), items.end(), [] (const BatchItem& i) { return i.result.error.isEmpty(); });
    return allRendered ? 0 : 1;
}

void showProgress (double fraction)
{
    static int shown = -1;
    const int percent = juce::jlimit (0, 100, static_cast<int> (fraction * 100.0));
    if (percent == shown)
        return;
    shown = percent;
    const int filled = percent * 40 / 100;
    std::cerr << "\r[" << std::string (static_cast<size_t> (filled), '#')
              << std::string (static_cast<size_t> (40 - filled), '.') << "] " << percent << "%"
              << (percent == 100 ? "\n" : "") << std::flush;
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (args.isEmpty() || args.contains ("--help") || args.contains ("-h"))
    {
        std::cout << usage;
        return args.isEmpty() ? 2 : 0;
    }

    CommandLine cl;
    if (const auto error = parse (args, cl); error.isNotEmpty())
        return fail (error + "\n" + usage, 2);

    juce::ScopedJuceInitialiser_GUI framework; // the parameter store wants a message manager

    if (cl.measure != juce::File())
    {
        const auto result = measureFile (cl.measure);
        if (result.error.isNotEmpty())
            return fail (result.error);
        std::cout << measureReport (cl.measure, result, cl.json, cl.report);
        return 0;
    }

    std::signal (SIGINT, onInterrupt);
    std::signal (SIGTERM, onInterrupt);

    if (cl.outDir != juce::File())
        return runBatch (cl, interrupted);

    const bool terminal = ::isatty (STDERR_FILENO) != 0;
    const auto progress = terminal ? showProgress : std::function<void (double)>();
    const auto result = cl.target ? renderToTarget (cl.render, *cl.target, progress, interrupted)
                                  : renderFile (cl.render, progress, interrupted);
    if (result.error.isNotEmpty())
        return fail (result.error, interrupted.load() ? 130 : result.unreachable ? targetUnreachable : 1);

    std::cout << renderReport (cl.render, result, cl.json, cl.report);
    return 0;
}
