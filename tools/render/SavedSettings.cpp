#include "render/SavedSettings.h"

#include "processor/StateBlock.h"

namespace
{
struct FactoryPreset
{
    const char* name;
    void (QuorinProcessor::*load)();
};

constexpr FactoryPreset factoryPresets[] = {
    { "Mix Clean", &QuorinProcessor::loadMixCleanPreset },
    { "YT Punch", &QuorinProcessor::loadMixYouTubePunchPreset },
    { "Streaming Safe", &QuorinProcessor::loadMixStreamingSafePreset },
    { "Minimal", &QuorinProcessor::loadMixMinimalPreset },
    { "Beatbox Tight", &QuorinProcessor::loadBeatboxTightPreset },
};

void dropByteOrderMark (juce::MemoryBlock& text)
{
    if (text.getSize() >= 3 && juce::CharPointer_UTF8::isByteOrderMark (text.getData()))
        text.removeSection (0, 3);
}

juce::MemoryBlock readStateFile (const juce::File& file, juce::String& error)
{
    juce::MemoryBlock bytes;
    if (! file.existsAsFile() || ! file.loadFileAsData (bytes))
    {
        error = "cannot read state file '" + file.getFullPathName() + "'";
        return {};
    }

    if (! stateblock::isWrapped (bytes.getData(), bytes.getSize()))
    {
        dropByteOrderMark (bytes);
        bytes = stateblock::wrapText (bytes.getData(), bytes.getSize());
    }
    return bytes;
}
} // namespace

juce::StringArray factoryPresetNames()
{
    juce::StringArray names;
    for (const auto& preset : factoryPresets)
        names.add (preset.name);
    return names;
}

bool loadFactoryPreset (QuorinProcessor& processor, const juce::String& name)
{
    for (const auto& preset : factoryPresets)
        if (name == preset.name)
        {
            (processor.*preset.load)();
            return true;
        }
    return false;
}

bool applyStateFile (QuorinProcessor& processor, const juce::File& file, juce::String& error)
{
    const auto bytes = readStateFile (file, error);
    if (error.isNotEmpty())
        return false;
    if (processor.restoreState (bytes.getData(), static_cast<int> (bytes.getSize())))
        return true;
    error = "'" + file.getFullPathName() + "' holds no readable state of Vantora's; nothing was applied";
    return false;
}
