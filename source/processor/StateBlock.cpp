#include "processor/StateBlock.h"

#include <charconv>
#include <cstring>

namespace
{
// The header that juce::AudioProcessor::copyXmlToBinary writes in front of the text.
constexpr juce::uint32 wrapperMagic = 0x21324356;
constexpr size_t headerBytes = 8;

juce::uint32 readLittleEndian32 (const char* bytes) noexcept
{
    juce::uint32 value = 0;
    std::memcpy (&value, bytes, sizeof (value)); // the block need not be aligned
    return juce::ByteOrder::swapIfBigEndian (value);
}

bool isContinuation (unsigned char c) noexcept { return (c & 0xc0) == 0x80; }

/** Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. (The framework's decoder
    turns an overlong form into the plain character, which would let a '<' slip past the checker.) */
bool isStrictUtf8 (const char* text, size_t length) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (text);
    for (size_t i = 0; i < length;)
    {
        const unsigned char lead = bytes[i];
        if (lead < 0x80)
        {
            ++i;
            continue;
        }

        size_t extra = 0;
        unsigned char low = 0x80, high = 0xbf; // allowed range of the second byte
        if (lead >= 0xc2 && lead <= 0xdf)
            extra = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            extra = 2;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            extra = 3;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        }
        else
            return false;

        if (length - i <= extra || bytes[i + 1] < low || bytes[i + 1] > high)
            return false;
        for (size_t k = 2; k <= extra; ++k)
            if (! isContinuation (bytes[i + k]))
                return false;
        i += extra + 1;
    }
    return true;
}

bool isAsciiLetter (char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit (char c) noexcept { return c >= '0' && c <= '9'; }
bool isNameStart (char c) noexcept { return isAsciiLetter (c) || c == '_' || c == ':'; }
bool isNameBody (char c) noexcept { return isNameStart (c) || isAsciiDigit (c) || c == '-' || c == '.'; }
bool isSpace (char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/** Accepts the plain XML that the framework writes: an optional XML declaration, elements with ASCII
    names, quoted attributes, text, the five named and the numeric character references and comments,
    nested at most maxNestingDepth deep. No document type, no custom entities, no CDATA and no other
    processing instruction: the framework's parser loops for ever on a processing instruction followed
    by text inside an element. Only the prolog and the root element are checked, as the framework's
    parser reads no further. */
class XmlTextChecker
{
public:
    XmlTextChecker (const char* text, size_t length) : pos (text), end (text + length) {}

    bool check()
    {
        skipSpace();
        if (startsWith ("<?xml ") && ! skipDelimited ("<?xml ", "?>"))
            return false;

        for (;;)
        {
            skipSpace();
            if (! startsWith ("<!--"))
                return consume ('<') && readElement (1);
            if (! skipDelimited ("<!--", "-->"))
                return false;
        }
    }

private:
    const char* pos;
    const char* const end;

    bool atEnd() const noexcept { return pos >= end; }
    char peek() const noexcept { return atEnd() ? '\0' : *pos; }

    bool consume (char c) noexcept
    {
        if (peek() != c)
            return false;
        ++pos;
        return true;
    }

    bool startsWith (const char* s) const noexcept
    {
        const auto n = std::strlen (s);
        return static_cast<size_t> (end - pos) >= n && std::memcmp (pos, s, n) == 0;
    }

    /** Moves past `opening` and then past the next `terminator` (never one that overlaps the
        opening: the framework's parser reads "<!-->" as the start of a comment, not a whole one). */
    bool skipDelimited (const char* opening, const char* terminator) noexcept
    {
        pos += std::strlen (opening);
        return skipPast (terminator);
    }

    bool skipPast (const char* terminator) noexcept
    {
        for (; ! atEnd(); ++pos)
            if (startsWith (terminator))
            {
                pos += std::strlen (terminator);
                return true;
            }
        return false;
    }

    void skipSpace() noexcept
    {
        while (isSpace (peek()))
            ++pos;
    }

    bool readName() noexcept
    {
        if (! isNameStart (peek()))
            return false;
        while (isNameBody (peek()))
            ++pos;
        // A non-ASCII byte could continue the name for the framework's parser.
        return static_cast<unsigned char> (peek()) < 0x80;
    }

    bool readCharacterCode (int base, int maxDigits) noexcept
    {
        long code = 0;
        int digits = 0;
        for (; ! atEnd() && *pos != ';'; ++pos, ++digits)
        {
            const int digit = juce::CharacterFunctions::getHexDigitValue (static_cast<juce::juce_wchar> (*pos));
            if (digit < 0 || digit >= base || digits >= maxDigits)
                return false;
            code = code * base + digit;
        }
        return digits > 0 && consume (';') && code >= 1 && code <= 0x10ffff;
    }

    bool readReference() noexcept // just after '&'
    {
        for (const char* named : { "amp;", "lt;", "gt;", "quot;", "apos;" })
            if (startsWith (named))
            {
                pos += std::strlen (named);
                return true;
            }
        if (! consume ('#'))
            return false;
        return consume ('x') ? readCharacterCode (16, 6) : readCharacterCode (10, 7);
    }

    bool readAttributeValue() noexcept
    {
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            return false;
        ++pos;
        while (! atEnd())
        {
            const char c = *pos++;
            if (c == quote)
                return true;
            if (c == '<' || (c == '&' && ! readReference()))
                return false;
        }
        return false;
    }

    bool readAttribute() noexcept
    {
        if (! readName())
            return false;
        skipSpace();
        if (! consume ('='))
            return false;
        skipSpace();
        return readAttributeValue();
    }

    bool readElement (int depth) noexcept // just after '<'
    {
        if (depth > stateblock::maxNestingDepth || ! readName())
            return false;

        for (;;)
        {
            const bool spaced = isSpace (peek());
            skipSpace();
            if (startsWith ("/>"))
            {
                pos += 2;
                return true;
            }
            if (consume ('>'))
                return readContent (depth);
            if (! spaced || ! readAttribute())
                return false;
        }
    }

    bool readContent (int depth) noexcept // after the start tag, through the end tag
    {
        while (! atEnd())
        {
            if (startsWith ("</"))
                return skipPast (">");
            if (startsWith ("<!--"))
            {
                if (! skipDelimited ("<!--", "-->"))
                    return false;
            }
            else if (consume ('<'))
            {
                if (! readElement (depth + 1))
                    return false;
            }
            else if (consume ('&'))
            {
                if (! readReference())
                    return false;
            }
            else
                ++pos;
        }
        return false;
    }
};
} // namespace

namespace stateblock
{
bool isWrapped (const void* data, size_t size) noexcept
{
    return data != nullptr && size > headerBytes
           && readLittleEndian32 (static_cast<const char*> (data)) == wrapperMagic;
}

std::unique_ptr<juce::XmlElement> readXml (const void* data, size_t size)
{
    if (! isWrapped (data, size))
        return {};

    const auto* bytes = static_cast<const char*> (data);
    const auto declaredLength = static_cast<size_t> (readLittleEndian32 (bytes + 4));
    const auto* text = bytes + headerBytes;
    const auto* zero =
        static_cast<const char*> (std::memchr (text, 0, juce::jmin (declaredLength, size - headerBytes)));
    const auto length =
        zero != nullptr ? static_cast<size_t> (zero - text) : juce::jmin (declaredLength, size - headerBytes);

    if (length == 0 || length > maxTextBytes || ! isStrictUtf8 (text, length)
        || ! XmlTextChecker (text, length).check())
        return {};

    return juce::parseXML (juce::String::fromUTF8 (text, static_cast<int> (length)));
}

juce::MemoryBlock wrapText (const void* utf8Text, size_t size)
{
    juce::MemoryOutputStream out;
    out.writeInt (static_cast<int> (wrapperMagic));
    out.writeInt (static_cast<int> (size));
    out.write (utf8Text, size);
    out.writeByte (0);
    return out.getMemoryBlock();
}

std::optional<double> readNumber (const juce::String& text)
{
    const auto trimmed = text.trim();
    const char* first = trimmed.toRawUTF8();
    const char* last = first + trimmed.getNumBytesAsUTF8();
    double value = 0.0;
    const auto [stop, error] = std::from_chars (first, last, value);
    if (error != std::errc() || stop != last || ! std::isfinite (value))
        return std::nullopt;
    return value;
}
} // namespace stateblock
