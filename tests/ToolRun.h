#pragma once

// Runs the command-line tools as a user would and collects what they print.
#include <juce_core/juce_core.h>

namespace tool
{
struct Run
{
    int exitCode = -1;
    juce::String output; // stdout and stderr together
};

inline Run run (const char* tool, const juce::StringArray& args)
{
    juce::StringArray command { tool };
    command.addArray (args);
    juce::ChildProcess process;
    Run result;
    if (! process.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return result;
    result.output = process.readAllProcessOutput();
    process.waitForProcessToFinish (300000);
    result.exitCode = static_cast<int> (process.getExitCode());
    return result;
}

inline Run render (const juce::StringArray& args) { return run (VANTORA_RENDER_TOOL, args); }
} // namespace tool
