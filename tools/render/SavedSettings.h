#pragma once

#include "processor/PluginProcessor.h"

/** The factory presets by the names the editor shows them under. */
juce::StringArray factoryPresetNames();

/** Loads the named factory preset; false, and nothing changes, for a name that is none of them. */
bool loadFactoryPreset (QuorinProcessor& processor, const juce::String& name);

/** Applies a saved state file: the block as a host stores it (the framework's binary wrapper around
    XML text), or the bare XML text, which is wrapped the same way. False, with the reason in error
    and nothing changed, when the file cannot be read or holds no state of ours. */
bool applyStateFile (QuorinProcessor& processor, const juce::File& file, juce::String& error);
