// Writes the synthetic demo take as a 24-bit mono WAV file.
#include "demo/DemoTake.h"
#include "render/AudioFiles.h"

#include <iostream>

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: vantora-demo-take OUT.wav\n";
        return 2;
    }

    const juce::File out = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const auto take = demo::makeDemoTake();
    if (const auto error = audiofiles::writeWholeFile (out, take, demo::takeSampleRate, false); error.isNotEmpty())
    {
        std::cerr << "vantora-demo-take: " << error << "\n";
        return 1;
    }
    return 0;
}
