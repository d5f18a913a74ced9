// libFuzzer target for the saved-state reader. Each input is given to one long-lived processor twice:
// as the raw block (header and length included) and as XML text in the framework's binary wrapper, the
// way a host stores it. Whatever happens, every parameter stays finite and in range; a crash, a hang
// (libFuzzer's -timeout), a sanitizer report or a framework assertion is a finding.
#include "processor/PluginProcessor.h"
#include "processor/StateBlock.h"

#include <juce_events/juce_events.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{
bool readingInput = false; // the framework's own shutdown at exit is not under test

void abortOnAssertion (const char* file, int line)
{
    if (! readingInput)
        return;
    std::fprintf (stderr, "framework assertion failed at %s:%d\n", file, line);
    std::abort();
}

/** Made once and never destroyed: libFuzzer ends the process with exit(), and the framework's
    shutdown must not run after its own statics are gone. */
QuorinProcessor& processor()
{
    static const auto* framework = new juce::ScopedJuceInitialiser_GUI();
    static auto* instance = new QuorinProcessor();
    juce::ignoreUnused (framework);
    return *instance;
}

void expectParametersInRange (QuorinProcessor& p)
{
    for (int i = 0; i < numParameters; ++i)
    {
        const auto* id = parameterId (static_cast<Param> (i));
        const auto& range = p.parameters.getParameter (id)->getNormalisableRange();
        const float value = p.parameters.getRawParameterValue (id)->load();
        if (! (value >= range.start && value <= range.end))
        {
            std::fprintf (stderr, "parameter %s left at %g\n", id, static_cast<double> (value));
            std::abort();
        }
    }
}
} // namespace

// libFuzzer's entry points.
extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    vantoraSetAssertionHandler (abortOnAssertion);
    processor();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    auto& p = processor();
    readingInput = true;
    p.setStateInformation (data, static_cast<int> (size));
    const auto wrapped = stateblock::wrapText (data, size);
    p.setStateInformation (wrapped.getData(), static_cast<int> (wrapped.getSize()));
    expectParametersInRange (p);
    readingInput = false;
    return 0;
}
