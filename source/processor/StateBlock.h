#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <optional>

/** The host's state block: XML text in the framework's binary wrapper (a magic number, the text
    length, the UTF-8 text and a terminating zero, as juce::AudioProcessor::copyXmlToBinary writes it).

    A state block comes from outside (a host project, a file), so it is read without trusting it:
    the wrapper's length is checked against the block, and the text must be valid UTF-8 and plain,
    well-formed XML before the framework's parser sees it. The framework's parser recurses once per
    nesting level and asserts on malformed names, so nesting is limited and names are checked here. */
namespace stateblock
{
/** Far above a real state (a few tens of kilobytes). */
constexpr size_t maxTextBytes = size_t { 4 } << 20;
/** A real state nests five elements deep. */
constexpr int maxNestingDepth = 64;

/** The element the block holds, or null when it holds none that can be read safely. */
std::unique_ptr<juce::XmlElement> readXml (const void* data, size_t size);

/** True when the bytes start with the framework's binary wrapper. */
bool isWrapped (const void* data, size_t size) noexcept;

/** Wraps XML text in the framework's binary wrapper, as copyXmlToBinary would wrap the same text. */
juce::MemoryBlock wrapText (const void* utf8Text, size_t size);

/** A number from an attribute: plain decimal text (as the framework writes numbers), finite.
    Anything else reads as nothing, so that the caller's default applies. */
std::optional<double> readNumber (const juce::String& text);
} // namespace stateblock
