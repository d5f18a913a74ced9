#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

/** A 0..1 control shown and typed as a whole percentage, whatever range the slider has. */
class PercentSlider : public juce::Slider
{
public:
    juce::String getTextFromValue (double value) override;
    double getValueFromText (const juce::String& text) override;
};

/** A gain shown in decibels with one decimal; typed text is read by the parameter. */
class DecibelSlider : public juce::Slider
{
public:
    juce::String getTextFromValue (double value) override;
};

/** One feedback notch: a choice index 0..18 shown as "Off" or the notch's centre frequency. */
class FeedbackNotchSlider : public juce::Slider
{
public:
    FeedbackNotchSlider();

    juce::String getTextFromValue (double value) override;
    double getValueFromText (const juce::String& text) override;

    static const std::array<const char*, 19> labels;
};

/** Turns a slider into a macro knob: rotary, value box below, 0..1 until its attachment sets the range. */
void styleKnob (juce::Slider& slider, juce::LookAndFeel& lookAndFeel, bool big);
