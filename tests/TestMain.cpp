#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

namespace
{
// A framework assertion is a misuse the framework detected: make it a failing test, not a log line.
void failOnAssertion (const char* file, int line)
{
    ADD_FAILURE() << "framework assertion failed at " << file << ":" << line;
}
} // namespace

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    vantoraSetAssertionHandler (failOnAssertion);
    return RUN_ALL_TESTS();
}
