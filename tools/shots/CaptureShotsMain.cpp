// Renders the editor's Engine page while ANALYZE measures the demo take and once it has finished,
// for the screenshots that a window without a sound card cannot show.
//   vantora-capture-shots OUTDIR

#include "demo/DemoTake.h"
#include "processor/PluginProcessor.h"

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
void runPendingMessages()
{
    for (int i = 0; i < 1000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}

void click (juce::Component& editor, const juce::String& id)
{
    if (auto* button = dynamic_cast<juce::Button*> (editor.findChildWithID (id)))
        button->triggerClick();
    runPendingMessages();
}

bool writeSnapshot (juce::Component& editor, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;
    const auto written =
        stream.openedOk() && png.writeImageToStream (editor.createComponentSnapshot (editor.getLocalBounds()), stream);
    std::cout << (written ? "wrote " : "could not write ") << file.getFullPathName() << std::endl;
    return written;
}

/** Timer ticks as the window would see them while the blocks play. */
void tick (juce::Component& editor)
{
    if (auto* timer = dynamic_cast<juce::Timer*> (&editor))
        timer->timerCallback();
    runPendingMessages();
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: vantora-capture-shots OUTDIR" << std::endl;
        return 2;
    }
    const juce::ScopedJuceInitialiser_GUI juceInitialiser;
    const juce::File outDir (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    outDir.createDirectory();

    constexpr int blockSize = 480;
    QuorinProcessor processor;
    processor.prepareToPlay (demo::takeSampleRate, blockSize);
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    runPendingMessages();
    click (*editor, "button.SHOW ADVANCED");
    click (*editor, "button.ENGINE");
    click (*editor, "button.ANALYZE");

    const auto take = demo::makeDemoTake();
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    bool ok = true, runningShot = false;
    for (int start = 0; start + blockSize <= take.getNumSamples(); start += blockSize)
    {
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom (ch, 0, take, juce::jmin (ch, take.getNumChannels() - 1), start, blockSize);
        processor.processBlock (block, midi);
        if ((start / blockSize) % 8 == 0)
            tick (*editor);
        if (! runningShot && processor.analyzeProgress.load() >= 0.6f)
        {
            tick (*editor);
            ok = writeSnapshot (*editor, outDir.getChildFile ("analyze-running.png")) && ok;
            runningShot = true;
        }
        if (processor.analysisDone.load())
            break;
    }
    tick (*editor);
    ok = processor.analysisDone.load() && writeSnapshot (*editor, outDir.getChildFile ("analyze-finished.png")) && ok;

    processor.editorBeingDeleted (editor.get());
    editor.reset();
    return ok ? 0 : 1;
}
