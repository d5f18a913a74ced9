#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** A parameter write asked for on the command line: the parameter and the real value to give it. */
struct ParameterSetting
{
    juce::RangedAudioParameter* parameter = nullptr;
    float value = 0.0f;
};

/** A whole text read as one finite number ("1.2.3", "." or "--5" are not). */
bool parseNumber (const juce::String& text, double& value);

/** Parses "id=value" against the processor's parameters. The value is the parameter's real value;
    a switch takes 0/1 or off/on, a choice its index or its exact text. On failure returns a setting
    without a parameter and says why in error (close ids for an unknown id, the range for a value out
    of range). */
ParameterSetting parseParameterSetting (juce::AudioProcessor& processor, const juce::String& text, juce::String& error);

/** Writes the value through the host notification path, as an automation write would. */
void applyParameterSetting (const ParameterSetting& setting);

/** A real value as a person reads it: a choice's text, on/off for a switch, else the number. */
juce::String describeParameterValue (const juce::RangedAudioParameter& parameter, float realValue);
