#include "editor/EditorSliders.h"

#include "editor/EditorTexts.h"

#include <cmath>

namespace
{
constexpr std::array<float, 18> notchFrequencies { 160.0f,  200.0f,  250.0f,  315.0f,  400.0f,  500.0f,
                                                   630.0f,  800.0f,  1000.0f, 1250.0f, 1600.0f, 2000.0f,
                                                   2500.0f, 3150.0f, 4000.0f, 5000.0f, 6300.0f, 8000.0f };

/** The notch index 1..18 nearest to a frequency in hertz; the lower index wins a tie. */
int nearestNotchIndex (double hertz)
{
    int best = 0;
    for (size_t k = 1; k < notchFrequencies.size(); ++k)
        if (std::abs (notchFrequencies[k] - hertz) < std::abs (notchFrequencies[static_cast<size_t> (best)] - hertz))
            best = static_cast<int> (k);
    return best + 1;
}
} // namespace

juce::String PercentSlider::getTextFromValue (double value)
{
    return juce::String (juce::jlimit (0, 100, roundHalfToEven (value * 100.0))) + "%";
}

double PercentSlider::getValueFromText (const juce::String& text)
{
    return juce::jlimit (0.0, 1.0, text.upToFirstOccurrenceOf ("%", false, false).getDoubleValue() / 100.0);
}

juce::String DecibelSlider::getTextFromValue (double value)
{
    if (std::abs (value) < 0.05)
        return "0.0 dB";
    return juce::String (value, 1) + " dB";
}

const std::array<const char*, 19> FeedbackNotchSlider::labels { "Off",      "160 Hz",  "200 Hz",  "250 Hz",  "315 Hz",
                                                                "400 Hz",   "500 Hz",  "630 Hz",  "800 Hz",  "1.0 kHz",
                                                                "1.25 kHz", "1.6 kHz", "2.0 kHz", "2.5 kHz", "3.15 kHz",
                                                                "4.0 kHz",  "5.0 kHz", "6.3 kHz", "8.0 kHz" };

FeedbackNotchSlider::FeedbackNotchSlider()
{
    setSliderStyle (LinearHorizontal);
    setRange (0.0, 18.0, 1.0);
    setTextBoxStyle (TextBoxRight, false, 96, 22);
    setColour (trackColourId, juce::Colour (0xff1d2229));
    setColour (backgroundColourId, juce::Colour (0xff0c0e12));
    setColour (thumbColourId, juce::Colour (0xfff15a00));
    setColour (textBoxTextColourId, juce::Colour (0xffeceff5));
    setColour (textBoxOutlineColourId, juce::Colour (0xff37414d));
    setColour (textBoxBackgroundColourId, juce::Colour (0xff12161d));
    setScrollWheelEnabled (true);
    setDoubleClickReturnValue (true, 0.0);
    setTooltip ("Sweep to pick a notch centre, or slide left for Off.");
}

juce::String FeedbackNotchSlider::getTextFromValue (double value)
{
    return labels[static_cast<size_t> (juce::jlimit (0, 18, roundHalfToEven (value)))];
}

double FeedbackNotchSlider::getValueFromText (const juce::String& text)
{
    const auto typed = text.trim().toLowerCase();
    if (typed.isEmpty() || typed == "off")
        return 0.0;

    for (size_t i = 0; i < labels.size(); ++i)
        if (typed.equalsIgnoreCase (labels[i]))
            return static_cast<double> (i);

    // Anything else is read as hertz: "2k" reads as 2 and picks the lowest notch.
    const auto hertz = typed.retainCharacters ("0123456789.").getDoubleValue();
    return hertz > 0.0 ? static_cast<double> (nearestNotchIndex (hertz)) : 0.0;
}

void styleKnob (juce::Slider& slider, juce::LookAndFeel& lookAndFeel, bool big)
{
    slider.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    slider.setRange (0.0, 1.0);
    slider.setTextBoxStyle (juce::Slider::TextBoxBelow, false, big ? 78 : 56, big ? 24 : 20);
    slider.setColour (juce::Slider::textBoxTextColourId, juce::Colour (0xffeceff5));
    slider.setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
    slider.setColour (juce::Slider::textBoxBackgroundColourId, juce::Colours::transparentBlack);
    slider.setMouseDragSensitivity (big ? 210 : 180);
    slider.setNumDecimalPlacesToDisplay (0);
    slider.setScrollWheelEnabled (false);
    slider.setLookAndFeel (&lookAndFeel);
}
