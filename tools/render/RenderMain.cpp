// vantora-render: runs Vantora on audio files and reports loudness and peaks.
#include "render/OfflineRender.h"
#include "render/Report.h"
#include "render/SavedSettings.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{
const char* const usage =
    "usage: vantora-render IN OUT [--preset NAME] [--state FILE] [--set id=value]... [--analyze]\n"
    "                      [--save-state FILE] [--block N] [--tail SECONDS] [--float] [--channels 1|2] [--json]\n"
    "       vantora-render --measure FILE [--json]\n"
    "Settings apply in this order: --preset, --state, each --set, then what --analyze sets.\n";

std::atomic<bool> interrupted { false };

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

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        const auto next = [&] (juce::String& value) {
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        juce::String value;

        if (arg == "--json")
            cl.json = true;
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
                return "unknown preset '" + value + "'; the presets are \"" + factoryPresetNames().joinIntoString ("\", \"")
                       + "\"";
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
        return positional.isEmpty() ? juce::String() : "--measure takes one file and no output";

    if (positional.size() != 2)
        return "give an input and an output file";

    cl.render.input = cwd.getChildFile (positional[0]);
    cl.render.output = cwd.getChildFile (positional[1]);
    return {};
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
        std::cout << measureReport (cl.measure, result, cl.json);
        return 0;
    }

    std::signal (SIGINT, onInterrupt);
    std::signal (SIGTERM, onInterrupt);

    const bool terminal = ::isatty (STDERR_FILENO) != 0;
    const auto result = renderFile (cl.render, terminal ? showProgress : std::function<void (double)>(), interrupted);
    if (result.error.isNotEmpty())
        return fail (result.error, interrupted.load() ? 130 : 1);

    std::cout << renderReport (cl.render, result, cl.json);
    return 0;
}
