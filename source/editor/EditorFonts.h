#pragma once

#include <juce_graphics/juce_graphics.h>

// The editor's three faces. Each asks for its family by name and, where that family is not
// installed, uses an open-licensed face of similar shape carried in the binary, so the window
// looks the same on every machine.

/** Condensed bold: titles, button and label text. */
juce::Font makeHeadlineFont (float height);

/** Heavy condensed display face: the product title, guide and changelog titles. */
juce::Font makeDisplayFont (float height);

/** Clean sans: body text, values, combo boxes. */
juce::Font makeUiFont (float height, bool bold);
