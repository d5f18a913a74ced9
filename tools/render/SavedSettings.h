#pragma once

#include "processor/PluginProcessor.h"

/** The factory presets by the names the editor shows them under. */
juce::StringArray factoryPresetNames();

/** Loads the named factory preset; false, and nothing changes, for a name that is none of them. */
bool loadFactoryPreset (QuorinProcessor& processor, const juce::String& name);

/** Reads a saved state file: the block as a host stores it (the framework's binary wrapper around
    XML text), or the bare XML text, which is wrapped the same way. Returns an empty block and says
    why in error when the file cannot be read or holds no readable state. */
juce::MemoryBlock readStateFile (const juce::File& file, juce::String& error);
