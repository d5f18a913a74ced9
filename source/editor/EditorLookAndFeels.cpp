#include "editor/EditorFonts.h"
#include "editor/PluginEditor.h"

#include <cmath>

namespace
{
using juce::Colour;

constexpr juce::uint32 orange = 0xfff15a00;

juce::PathStrokeType arcStroke (float width)
{
    return { width, juce::PathStrokeType::curved, juce::PathStrokeType::rounded };
}

juce::Path arcPath (juce::Point<float> centre, float radius, float from, float to)
{
    juce::Path arc;
    arc.addCentredArc (centre.x, centre.y, radius, radius, 0.0f, from, to, true);
    return arc;
}

float finiteOrZero (double value) { return std::isfinite (value) ? static_cast<float> (value) : 0.0f; }

/** Where a horizontal slider's value lies along its track, 0..1. */
float linearProportion (float sliderPos, float minPos, float maxPos, juce::Slider& slider)
{
    const auto span = std::abs (maxPos - minPos);
    if (std::isfinite (sliderPos) && std::isfinite (minPos) && std::isfinite (maxPos) && span > 2.5f)
        return juce::jlimit (0.0f, 1.0f, (sliderPos - juce::jmin (minPos, maxPos)) / span);

    const auto atMinimum = slider.getPositionOfValue (slider.getMinimum());
    const auto atMaximum = slider.getPositionOfValue (slider.getMaximum());
    const auto valueSpan = std::abs (atMaximum - atMinimum);
    if (valueSpan > 0.00001f)
        return juce::jlimit (0.0f, 1.0f,
                             (slider.getPositionOfValue (slider.getValue()) - juce::jmin (atMinimum, atMaximum))
                                 / valueSpan);

    return juce::jlimit (0.0f, 1.0f, finiteOrZero (slider.valueToProportionOfLength (slider.getValue())));
}
} // namespace

//==============================================================================
void QuorinProcessorEditor::KnobLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                                               float sliderPosProportional, float rotaryStartAngle,
                                                               float rotaryEndAngle, juce::Slider& slider)
{
    const auto pos = juce::jlimit (0.0f, 1.0f, sliderPosProportional);
    const bool enabled = slider.isEnabled();
    const bool hovered = slider.isMouseOverOrDragging();

    const auto area = juce::Rectangle<int> (x, y, width, height).toFloat().reduced (8.0f);
    const auto diameter =
        (width > 16 && height > 16) ? static_cast<float> (juce::jmin (width - 16, height - 16)) : 0.0f;
    const auto knob = juce::Rectangle<float> (diameter, diameter).withCentre (area.getCentre());
    const auto centre = knob.getCentre();
    const auto arcRadius = diameter / 2.0f - 2.8f;
    const auto angle = rotaryStartAngle + pos * (rotaryEndAngle - rotaryStartAngle);

    const auto body = enabled ? Colour (0xff14171b).interpolatedWith (Colour (orange), pos * 0.78f)
                              : Colour (0xff2c3138).interpolatedWith (Colour (0xff3d444e), pos * 0.15f);

    g.setColour (juce::Colours::black.withAlpha (enabled ? 0.36f : 0.2f));
    g.fillEllipse (knob.translated (0.0f, 2.0f));

    juce::ColourGradient shading (body.brighter (enabled ? 0.22f : 0.06f), centre.x, knob.getY(),
                                  body.darker (enabled ? 0.32f : 0.22f), centre.x, knob.getBottom(), false);
    shading.addColour (0.55, body);
    g.setGradientFill (shading);
    g.fillEllipse (knob);

    g.setColour (enabled ? Colour (orange).withAlpha (0.22f) : Colour (0xff4a5260).withAlpha (0.42f));
    g.strokePath (arcPath (centre, arcRadius, rotaryStartAngle, rotaryEndAngle), arcStroke (1.5f));

    if (pos > 0.0001f && std::abs (angle - rotaryStartAngle) >= 0.0005f)
    {
        const auto valueArc = arcPath (centre, arcRadius, rotaryStartAngle, angle);
        const auto arcColour = enabled ? body.interpolatedWith (Colour (orange), 0.52f)
                                       : body.interpolatedWith (Colour (0xff5c6574), 0.12f);
        g.setColour (arcColour.withAlpha (enabled ? (hovered ? 0.18f : 0.12f) : 0.1f));
        g.strokePath (valueArc, arcStroke (4.6f));
        g.setColour (arcColour.withAlpha (enabled ? (hovered ? 0.64f : 0.52f) : 0.28f));
        g.strokePath (valueArc, arcStroke (2.8f));
        g.setColour (enabled ? Colour (0xffffb57a).withAlpha (hovered ? 0.42f : 0.3f)
                             : Colour (0xff8f97a3).withAlpha (hovered ? 0.42f : 0.22f));
        g.strokePath (valueArc, arcStroke (1.35f));
    }

    g.setColour (enabled ? Colour (orange).withAlpha (hovered ? 0.9f : 0.8f)
                         : Colour (0xff4f5866).withAlpha (hovered ? 0.9f : 0.55f));
    g.drawEllipse (knob.reduced (juce::jmin (1.1f, diameter / 2.0f)), 1.4f);

    // The pointer darkens as the body turns orange, and its shadow contrasts with the pointer.
    const auto pointerColour =
        enabled
            ? Colour (0xfff5f7fa).interpolatedWith (Colour (0xff15181d), juce::jlimit (0.0f, 1.0f, (pos - 0.6f) / 0.4f))
            : Colour (0xff8e96a3);
    const auto thickness = juce::jmax (0.024f * diameter, 2.2f);
    const auto tip = centre.getPointOnCircumference (0.29f * diameter, angle);
    const juce::Line<float> pointer (centre, tip);
    g.setColour (pointerColour.getPerceivedBrightness() > 0.5f ? juce::Colours::black.withAlpha (0.36f)
                                                               : juce::Colours::white.withAlpha (0.24f));
    g.drawLine (pointer, thickness + 1.2f);
    g.setColour (pointerColour);
    g.drawLine (pointer, thickness);
}

void QuorinProcessorEditor::KnobLookAndFeel::drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height,
                                                               float sliderPos, float minSliderPos, float maxSliderPos,
                                                               juce::Slider::SliderStyle style, juce::Slider& slider)
{
    if (! slider.isHorizontal())
    {
        LookAndFeel_V4::drawLinearSlider (g, x, y, width, height, sliderPos, minSliderPos, maxSliderPos, style, slider);
        return;
    }

    const bool enabled = slider.isEnabled();
    const auto p = linearProportion (sliderPos, minSliderPos, maxSliderPos, slider);
    const auto w = static_cast<float> (width), h = static_cast<float> (height);
    const auto left = static_cast<float> (x) + 2.0f;
    const auto length = juce::jmax (w - 4.0f, 0.0f);
    const juce::Rectangle<float> track (left, static_cast<float> (y) + 0.41f * h, length, juce::jmax (0.18f * h, 5.0f));

    g.setColour (juce::Colours::black.withAlpha (enabled ? 0.42f : 0.2f));
    g.fillRoundedRectangle (track.translated (0.0f, 1.0f), 4.0f);
    g.setColour (Colour (0xff1a1f26));
    g.fillRoundedRectangle (track, 4.0f);
    g.setColour (Colour (0xff3b4552).withAlpha (enabled ? 0.9f : 0.45f));
    g.drawRoundedRectangle (track, 4.0f, 1.0f);

    const auto fill = track.withWidth (juce::jmax (p * length, 5.0f));
    const auto fillAlpha = enabled ? 1.0f : 0.42f;
    g.setGradientFill (juce::ColourGradient (Colour (0xffb84a00).withAlpha (fillAlpha), left, 0.0f,
                                             Colour (0xffff9033).withAlpha (fillAlpha), fill.getRight(), 0.0f, false));
    g.fillRoundedRectangle (fill, 4.0f);

    const auto thumbHeight = juce::jmin (0.78f * h, 24.0f);
    const juce::Rectangle<float> thumb (left + (length - 14.0f) * p, static_cast<float> (y) + (h - thumbHeight) / 2.0f,
                                        14.0f, thumbHeight);
    g.setColour (juce::Colours::black.withAlpha (enabled ? 0.38f : 0.18f));
    g.fillRoundedRectangle (thumb.translated (0.0f, 1.2f), 5.0f);

    auto thumbColour = slider.findColour (juce::Slider::thumbColourId).withAlpha (enabled ? 1.0f : 0.35f);
    if (slider.isMouseButtonDown())
        thumbColour = thumbColour.darker (0.12f);
    else if (slider.isMouseOver())
        thumbColour = thumbColour.brighter (0.1f);
    const auto thumbBody = thumb.reduced (0.55f);
    g.setColour (thumbColour.brighter (0.12f));
    g.fillRoundedRectangle (thumbBody, 5.0f);
    g.setColour (thumbColour.darker (0.25f));
    g.drawRoundedRectangle (thumbBody, 5.0f, 1.0f);
}

//==============================================================================
void QuorinProcessorEditor::UiLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                                 const juce::Colour& backgroundColour,
                                                                 bool shouldDrawButtonAsHighlighted,
                                                                 bool shouldDrawButtonAsDown)
{
    if (dynamic_cast<juce::TextButton*> (&button) == nullptr || ! button.getClickingTogglesState())
    {
        LookAndFeel_V4::drawButtonBackground (g, button, backgroundColour, shouldDrawButtonAsHighlighted,
                                              shouldDrawButtonAsDown);
        return;
    }

    const bool on = button.getToggleState();
    auto fill = on ? button.findColour (juce::TextButton::buttonOnColourId) : Colour (0xff3d4654);
    auto outline = on ? fill.brighter (0.2f) : Colour (0xff596372);
    if (shouldDrawButtonAsDown)
    {
        fill = fill.darker (0.14f);
        outline = outline.darker (0.12f);
    }
    else if (shouldDrawButtonAsHighlighted)
    {
        fill = fill.brighter (on ? 0.06f : 0.14f);
        outline = outline.brighter (0.1f);
    }
    if (! button.isEnabled())
    {
        fill = fill.interpolatedWith (Colour (0xff808080), 0.4f).withMultipliedBrightness (0.74f);
        outline = outline.withAlpha (0.55f);
    }

    const auto bounds = button.getLocalBounds().toFloat().reduced (1.2f);
    g.setColour (juce::Colours::black.withAlpha (0.22f));
    g.fillRoundedRectangle (bounds.translated (0.0f, 1.2f), 5.5f);
    g.setColour (fill);
    g.fillRoundedRectangle (bounds, 5.5f);
    g.setColour (outline);
    g.drawRoundedRectangle (bounds, 5.5f, 1.0f);
}

juce::Font QuorinProcessorEditor::UiLookAndFeel::getTextButtonFont (juce::TextButton&, int buttonHeight)
{
    return makeHeadlineFont (juce::jlimit (12.0f, 20.0f, static_cast<float> (buttonHeight - 8)));
}

void QuorinProcessorEditor::UiLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& toggle,
                                                             bool shouldDrawButtonAsHighlighted,
                                                             bool shouldDrawButtonAsDown)
{
    const auto local = toggle.getLocalBounds().toFloat();
    const auto pill = local.withSizeKeepingCentre (juce::jmax (local.getWidth() - 1.6f, 0.0f),
                                                   juce::jmax (local.getHeight() - 1.6f, 0.0f));
    const bool on = toggle.getToggleState();

    Colour fill, outline, text;
    if (toggle.isEnabled())
    {
        fill = Colour (on ? 0xfff15a00 : 0xff4a5462);
        outline = Colour (on ? 0xffff8a3d : 0xff5f6b7a);
        text = Colour (on ? 0xff0b0c0f : 0xffb8c0cc);
        if (! shouldDrawButtonAsDown && shouldDrawButtonAsHighlighted)
        {
            fill = fill.brighter (on ? 0.08f : 0.12f);
            outline = outline.brighter (0.12f);
        }
    }
    else
    {
        fill = Colour (0xff2e343d);
        outline = Colour (0xff3e4650);
        text = Colour (0xff6b727c);
    }
    if (shouldDrawButtonAsDown)
    {
        fill = fill.darker (0.12f);
        outline = outline.darker (0.15f);
    }

    g.setColour (juce::Colours::black.withAlpha (0.26f));
    g.fillRoundedRectangle (pill.translated (0.0f, 1.0f), 5.5f);
    g.setColour (fill);
    g.fillRoundedRectangle (pill, 5.5f);
    g.setColour (outline);
    g.drawRoundedRectangle (pill, 5.5f, 1.0f);

    g.setColour (text);
    g.setFont (makeHeadlineFont (juce::jmax (pill.getHeight() - 10.0f, 11.0f)));
    g.drawFittedText (toggle.getButtonText(), toggle.getLocalBounds().reduced (8, 1), juce::Justification::centred, 1);
}

juce::Font QuorinProcessorEditor::UiLookAndFeel::getLabelFont (juce::Label& label)
{
    return makeHeadlineFont (juce::jmax (label.getFont().getHeight(), 12.0f));
}

juce::Font QuorinProcessorEditor::UiLookAndFeel::getComboBoxFont (juce::ComboBox&) { return makeUiFont (14.0f, true); }

juce::Font QuorinProcessorEditor::UiLookAndFeel::getPopupMenuFont() { return makeUiFont (14.0f, true); }
