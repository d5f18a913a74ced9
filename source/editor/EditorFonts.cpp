#include "editor/EditorFonts.h"

#include "VantoraFonts.h"

namespace
{
struct FontFace
{
    const char* family;
    int styleFlags;
    const char* fallbackData; // an embedded face of the same role
    int fallbackSize;
    float kerning;
};

bool isInstalled (const juce::String& family)
{
    static const auto installed = juce::Font::findAllTypefaceNames();
    return installed.contains (family);
}

juce::Typeface::Ptr loadEmbedded (const FontFace& face)
{
    return juce::Typeface::createSystemTypefaceFor (face.fallbackData, static_cast<size_t> (face.fallbackSize));
}

// The 7.0.5 form of building a font from family, style and height options: the family by name
// when installed, else the embedded face (already bold where the role is bold, so no synthetic
// emboldening), with the role's extra kerning either way.
juce::Font makeFont (const FontFace& face, const juce::Typeface::Ptr& fallback, float height)
{
    juce::Font font (height, face.styleFlags);
    if (isInstalled (face.family))
        font.setTypefaceName (face.family);
    else
        font = juce::Font (fallback).withHeight (height);
    font.setExtraKerningFactor (face.kerning);
    return font;
}

const FontFace headlineFace { "Avenir Next Condensed", juce::Font::bold, VantoraFonts::RobotoCondensedBold_ttf,
                              VantoraFonts::RobotoCondensedBold_ttfSize, 0.04f };
const FontFace displayFace { "Impact", juce::Font::bold, VantoraFonts::BebasNeueBold_otf,
                             VantoraFonts::BebasNeueBold_otfSize, 0.05f };
const FontFace uiFace { "Avenir Next", juce::Font::plain, VantoraFonts::LatoRegular_ttf,
                        VantoraFonts::LatoRegular_ttfSize, 0.015f };
const FontFace uiBoldFace { "Avenir Next", juce::Font::bold, VantoraFonts::LatoBold_ttf, VantoraFonts::LatoBold_ttfSize,
                            0.015f };
} // namespace

juce::Font makeHeadlineFont (float height)
{
    static const auto fallback = loadEmbedded (headlineFace);
    return makeFont (headlineFace, fallback, height);
}

juce::Font makeDisplayFont (float height)
{
    static const auto fallback = loadEmbedded (displayFace);
    return makeFont (displayFace, fallback, height);
}

juce::Font makeUiFont (float height, bool bold)
{
    static const auto plainFallback = loadEmbedded (uiFace);
    static const auto boldFallback = loadEmbedded (uiBoldFace);
    return bold ? makeFont (uiBoldFace, boldFallback, height) : makeFont (uiFace, plainFallback, height);
}
