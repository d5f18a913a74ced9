// The state reader under hostile blocks: random bytes, truncated and corrupted blocks, mutated XML,
// deep and huge documents, values that are not numbers. Nothing may crash, trip a sanitizer or a
// framework assertion; a block that cannot be read leaves every part of the state as it was, and a
// block that can be read leaves a whole, valid state. `make test` runs this program a second time
// built with AddressSanitizer and UndefinedBehaviorSanitizer.
#include "TestSupport.h"

#include <string>

namespace
{
using Engine = AdaptiveHitEngine;

juce::MemoryBlock stateOf (QuorinProcessor& p);

/** Everything a state block can change: the parameter tree by identity (a replaced tree is a new
    one), and the profiles and their models by what a save writes of them. */
struct Fingerprint
{
    std::array<float, numParameters> values {};
    juce::ValueTree parameterState;
    juce::MemoryBlock savedState;
    std::array<juce::String, QuorinProcessor::numUserProfiles> names;
    std::array<bool, QuorinProcessor::numUserProfiles> hasProfile {};
    std::array<int, 3> counts {};
    std::array<float, 12> features {};
    int mask = 0;
    bool clearRequest = false;

    bool operator== (const Fingerprint& o) const
    {
        return values == o.values && parameterState == o.parameterState && savedState == o.savedState
               && names == o.names && hasProfile == o.hasProfile && counts == o.counts && features == o.features
               && mask == o.mask && clearRequest == o.clearRequest;
    }
};

Engine& engineOf (QuorinProcessor& p) { return p.getAdaptiveHitEngine(); }

Fingerprint fingerprintOf (QuorinProcessor& p)
{
    Fingerprint f;
    for (int i = 0; i < numParameters; ++i)
        f.values[size_t (i)] = test::get (p, Param (i));
    f.parameterState = p.parameters.state;
    f.savedState = stateOf (p);
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
    {
        const auto i = size_t (slot);
        f.names[i] = p.getUserProfileName (slot);
        f.hasProfile[i] = p.hasUserProfile (slot);
    }
    const auto model = engineOf (p).taughtModel();
    for (size_t k = 0; k < model.size(); ++k)
    {
        f.counts[k] = model[k].count;
        const auto& x = model[k].features;
        for (auto [j, v] : { std::pair { 0, x.transient }, { 1, x.lowRatio }, { 2, x.highRatio }, { 3, x.zcr } })
            f.features[k * 4 + size_t (j)] = v;
    }
    f.mask = engineOf (p).learnedMask.load();
    f.clearRequest = engineOf (p).clearRequest.load();
    return f;
}

juce::MemoryBlock stateOf (QuorinProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

void restore (QuorinProcessor& p, const void* data, size_t size) { p.setStateInformation (data, int (size)); }

/** The framework's binary wrapper around any bytes, with a length field that may lie. */
juce::MemoryBlock wrap (const std::string& text, juce::uint32 declaredLength)
{
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt (int (declaredLength));
    out.write (text.data(), text.size());
    out.writeByte (0);
    return out.getMemoryBlock();
}

juce::MemoryBlock wrap (const std::string& text) { return wrap (text, juce::uint32 (text.size())); }

/** Every value in range and finite, names as the rules make them, the model within its bounds, and
    the state block it writes reads back into the same values. */
void expectWholeAndValid (QuorinProcessor& p, bool checkRoundTrip)
{
    for (int i = 0; i < numParameters; ++i)
    {
        const auto& range = p.parameters.getParameter (parameterId (Param (i)))->getNormalisableRange();
        const float v = test::get (p, Param (i));
        ASSERT_TRUE (std::isfinite (v) && v >= range.start && v <= range.end) << parameterId (Param (i)) << " " << v;
    }
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
    {
        const auto name = p.getUserProfileName (slot);
        ASSERT_TRUE (name.isNotEmpty() && name.length() <= 30 && name == name.trim()) << name;
    }
    int mask = 0;
    const auto model = engineOf (p).taughtModel();
    for (size_t k = 0; k < model.size(); ++k)
    {
        ASSERT_TRUE (model[k].count >= 0 && model[k].count <= 9);
        const auto& x = model[k].features;
        ASSERT_TRUE (std::isfinite (x.transient) && std::isfinite (x.lowRatio) && std::isfinite (x.highRatio)
                     && std::isfinite (x.zcr));
        mask |= model[k].count > 0 ? 1 << k : 0;
    }
    ASSERT_EQ (engineOf (p).learnedMask.load(), mask);

    if (! checkRoundTrip)
        return;
    QuorinProcessor copy;
    const auto block = stateOf (p);
    restore (copy, block.getData(), block.getSize());
    const auto a = fingerprintOf (p), b = fingerprintOf (copy);
    for (size_t i = 0; i < a.values.size(); ++i)
        ASSERT_NEAR (a.values[i], b.values[i], 1.0e-5f * std::max (1.0f, std::abs (a.values[i])))
            << parameterId (Param (int (i)));
    ASSERT_EQ (a.names, b.names);
    ASSERT_EQ (a.hasProfile, b.hasProfile);
    ASSERT_EQ (a.counts, b.counts);
    ASSERT_EQ (a.features, b.features);
}

// Pieces that have broken XML readers: references, declarations, odd numbers, bad UTF-8.
const char* const nastyPieces[] = {
    "&#x7fffffff;",
    "&#0;",
    "&#99999999999999;",
    "&#x;",
    "&amp",
    "&unknown;",
    "&lt;&gt;&quot;&apos;",
    "<!DOCTYPE a [<!ENTITY x \"&x;&x;\">]>",
    "&x;",
    "<?xml version=\"1.0\"?>",
    "<![CDATA[<a><b>]]>",
    "<!-- <a> -->",
    "<!--",
    "]]>",
    "<",
    ">",
    "</",
    "/>",
    "\"",
    "'",
    "=",
    "<a",
    "<1a/>",
    "< a/>",
    "<a b/>",
    "<a b='1' b='2'/>",
    "1e999",
    "-1e999",
    "nan",
    "inf",
    "-0",
    "1e-400",
    "0x10",
    "2147483648",
    "-2147483648",
    "99999999999999999999",
    "\xc0\xbc",
    "\xed\xa0\x80",
    "\xf4\x90\x80\x80",
    "\xff",
    "\x80",
    "\xe2\x82",
    "\0",
    "version=\"2\"",
    "version=\"nan\"",
    "slot=\"-2147483649\"",
    "slot=\"1e300\"",
    "class=\"-1e308\"",
    "count=\"1e20\"",
    "name=\"\"",
    "value=\"abc\"",
    "value=\"\"",
    "transient=\"3e38\"",
    "<PARAMS/>",
    "<USER_PROFILES/>",
    "<PROFILE slot=\"9\"/>",
    "<ADAPTIVE_HIT_LEARN/>",
    "<HIT/>",
    "<VANTORAV2_STATE>",
    "</VANTORAV3_STATE>",
    "<PARAM id=\"venue\" value=\"7\"/>",
};

class Mutator
{
public:
    explicit Mutator (int seed) : random (seed) {}

    std::string mutate (std::string text)
    {
        const int edits = 1 + random.nextInt (4);
        for (int e = 0; e < edits; ++e)
            edit (text);
        return text;
    }

    juce::Random random;

private:
    size_t position (const std::string& text) { return size_t (random.nextInt (int (text.size()) + 1)); }

    void edit (std::string& text)
    {
        switch (random.nextInt (6))
        {
            case 0: // overwrite a byte
                if (! text.empty())
                    text[position (text) % text.size()] = char (random.nextInt (256));
                break;
            case 1: // insert a byte
                text.insert (position (text), 1, char (random.nextInt (256)));
                break;
            case 2: // delete a run
            {
                const auto at = position (text);
                text.erase (at, size_t (random.nextInt (64)));
                break;
            }
            case 3: // repeat a run
            {
                const auto at = position (text);
                text.insert (at, text.substr (at, size_t (random.nextInt (200))));
                break;
            }
            case 4: // a nasty piece anywhere
                text.insert (position (text), nastyPieces[random.nextInt (int (std::size (nastyPieces)))]);
                break;
            default: // a nasty piece as an attribute value
            {
                const auto quote = text.find ('"', position (text));
                if (quote != std::string::npos)
                    text.insert (quote + 1, nastyPieces[random.nextInt (int (std::size (nastyPieces)))]);
                break;
            }
        }
    }
};

/** A processor with parameters away from Mix Clean, two profiles, a renamed slot and a taught model. */
class StateRobustness : public testing::Test
{
protected:
    QuorinProcessor processor;
    std::string validText;
    juce::MemoryBlock validBlock;
    Fingerprint baseline;

    void SetUp() override
    {
        AdaptiveHitEngine::TaughtModel model {};
        model[0] = { { 0.0123f, 0.71f, 0.29f, 0.0021f }, 3 };
        engineOf (processor).installModel (model);
        test::set (processor, Param::smack, 0.8f);
        processor.saveUserProfile (0);
        test::set (processor, Param::venue, 0.0f);
        processor.saveUserProfile (3);
        processor.setUserProfileName (2, "Dub");
        test::set (processor, Param::inputgain, 3.0f);

        validBlock = stateOf (processor);
        validText.assign (static_cast<const char*> (validBlock.getData()) + 8, validBlock.getSize() - 9);
        baseline = fingerprintOf (processor);
    }

    /** Applies a block that must not be readable: nothing at all may change. */
    void expectUnreadable (const void* data, size_t size, const juce::String& what)
    {
        restore (processor, data, size);
        ASSERT_TRUE (fingerprintOf (processor) == baseline) << what;
    }

    void expectUnreadable (const juce::MemoryBlock& block, const juce::String& what)
    {
        expectUnreadable (block.getData(), block.getSize(), what);
    }

    /** Applies a block that may or may not be readable; either nothing changed or the state is whole.
        Puts the baseline back afterwards. */
    bool applyAnything (const juce::MemoryBlock& block, bool checkRoundTrip)
    {
        restore (processor, block.getData(), block.getSize());
        const bool changed = ! (fingerprintOf (processor) == baseline);
        if (changed)
        {
            expectWholeAndValid (processor, checkRoundTrip);
            restore (processor, validBlock.getData(), validBlock.getSize());
            engineOf (processor).clearRequest.store (false);
            baseline = fingerprintOf (processor);
        }
        return changed;
    }
};
} // namespace

TEST_F (StateRobustness, RandomBytesChangeNothing)
{
    juce::Random random (11);
    std::vector<char> bytes;
    for (int n = 0; n < 3000; ++n)
    {
        bytes.resize (size_t (random.nextInt (2048)));
        for (auto& b : bytes)
            b = char (random.nextInt (256));
        if (n % 2 == 1 && bytes.size() >= 8) // half of them behind a valid header and length
        {
            const auto header = wrap ({}, juce::uint32 (bytes.size() - 8));
            std::memcpy (bytes.data(), header.getData(), 8);
        }
        expectUnreadable (bytes.data(), bytes.size(), "random block " + juce::String (n));
    }
}

TEST_F (StateRobustness, AValidBlockCutAtEveryLengthChangesNothingUntilItIsWhole)
{
    // The last byte is the text's terminating zero; the text is whole without it.
    const auto* data = static_cast<const char*> (validBlock.getData());
    const size_t size = validBlock.getSize();
    for (size_t length = 0; length + 1 < size; ++length)
    {
        juce::MemoryBlock cut (data, length); // its own allocation, so reads past the end are caught
        expectUnreadable (cut, "cut at " + juce::String (int (length)));
    }
    EXPECT_TRUE (applyAnything (juce::MemoryBlock (data, size - 1), true)); // read (new trees), and whole
}

TEST_F (StateRobustness, HeadersThatLieAboutTheLength)
{
    const std::string truncatedText = validText.substr (0, validText.size() / 2);
    for (const auto declared : { juce::uint32 (0), juce::uint32 (1), juce::uint32 (truncatedText.size() + 100),
                                 juce::uint32 (0x7fffffff), juce::uint32 (0xffffffff) })
        expectUnreadable (wrap (truncatedText, declared), "declared " + juce::String (juce::int64 (declared)));

    // A length shorter than the text cuts it: unreadable as well.
    expectUnreadable (wrap (validText, juce::uint32 (validText.size() - 20)), "short length");
    // A longer one is bounded by the block, which holds the whole text: read.
    EXPECT_TRUE (applyAnything (wrap (validText, 0xffffffff), true));
}

TEST_F (StateRobustness, MutatedBlocksNeverLeaveAPartialState)
{
    Mutator mutator (5);
    int readable = 0;
    constexpr int rounds = 20000;
    for (int n = 0; n < rounds; ++n)
    {
        SCOPED_TRACE (n);
        const auto text = mutator.mutate (validText);
        const auto block = mutator.random.nextInt (10) == 0
                               ? wrap (text, juce::uint32 (mutator.random.nextInt (int (text.size()) + 50)))
                               : wrap (text);
        readable += applyAnything (block, readable % 25 == 0) ? 1 : 0;
        if (HasFatalFailure())
            return;
    }
    // Many mutations keep the document readable; the loop must have exercised both outcomes.
    EXPECT_GT (readable, rounds / 50);
    EXPECT_LT (readable, rounds / 2);
}

TEST_F (StateRobustness, DeepNestingIsRefusedBeyondAReasonableDepth)
{
    const auto nested = [] (int depth, bool closed)
    {
        std::string text = "<VANTORAV3_STATE version=\"3\"><PARAMS><PARAM id=\"smack\" value=\"0.5\"/>";
        for (int i = 0; i < depth; ++i)
            text += "<a>";
        for (int i = 0; closed && i < depth; ++i)
            text += "</a>";
        return text + (closed ? "</PARAMS></VANTORAV3_STATE>" : "");
    };

    for (int depth : { 1000, 200000 })
    {
        expectUnreadable (wrap (nested (depth, true)), "closed depth " + juce::String (depth));
        expectUnreadable (wrap (nested (depth, false)), "open depth " + juce::String (depth));
    }
    // A deep but sane document is read: the unknown element inside the parameter tree is no parameter.
    EXPECT_TRUE (applyAnything (wrap (nested (58, true)), true));
}

TEST_F (StateRobustness, HugeDocumentsAreReadOrRefusedWhole)
{
    // Tens of thousands of parameter entries (the last for each id wins) and a megabyte-long name.
    std::string many = "<VANTORAV3_STATE version=\"3\"><PARAMS>";
    for (int i = 0; i < 40000; ++i)
        many += "<PARAM id=\"" + std::string (parameterId (Param (i % numParameters))) + "\" value=\""
                + std::to_string (i % 7 == 0 ? 1.0e6 : 0.5) + "\"/>";
    many += "</PARAMS><USER_PROFILES><PROFILE slot=\"1\" name=\"" + std::string (1 << 20, 'n')
            + "\"/></USER_PROFILES></VANTORAV3_STATE>";
    ASSERT_LT (many.size(), size_t (4) << 20);
    EXPECT_TRUE (applyAnything (wrap (many), true));

    std::string tooLarge = "<VANTORAV3_STATE version=\"3\" note=\"" + std::string (size_t (5) << 20, 'x') + "\"/>";
    expectUnreadable (wrap (tooLarge), "over the size limit");
}

TEST_F (StateRobustness, ValuesThatAreNotNumbersTakeTheirDefaults)
{
    const char* const values[] = { "abc",
                                   "",
                                   "nan",
                                   "-nan",
                                   "inf",
                                   "1e999",
                                   "0x1p3",
                                   "1,5",
                                   " 2 ",
                                   "--1",
                                   "1e",
                                   "\xc3\xa9",
                                   "9223372036854775808",
                                   "-2147483648" };
    for (const char* v : values)
    {
        SCOPED_TRACE (v);
        const std::string text =
            std::string ("<VANTORAV3_STATE version=\"") + v + "\"><PARAMS><PARAM id=\"smack\" value=\"" + v
            + "\"/><PARAM id=\"mic\" value=\"" + v + "\"/></PARAMS><USER_PROFILES><PROFILE slot=\"" + v + "\" name=\""
            + v + "\"><PARAMS/></PROFILE></USER_PROFILES><ADAPTIVE_HIT_LEARN><HIT class=\"" + v + "\" count=\"" + v
            + "\" transient=\"" + v + "\" zcr=\"" + v + "\"/></ADAPTIVE_HIT_LEARN></VANTORAV3_STATE>";
        if (! applyAnything (wrap (text), true))
            ADD_FAILURE() << "a well-formed document was not read";
    }
}

TEST_F (StateRobustness, WhatThePlainFormatNeverWritesIsRefusedAndNothingHangs)
{
    // The first two sent the framework's parser into an endless loop.
    const char* const refused[] = {
        ("<S><?"
         "?>0</>"), // split so that no compiler reads a trigraph
        "<VANTORAV3_STATE version=\"3\"><PARAMS><?note?>x</PARAMS></VANTORAV3_STATE>",
        "<VANTORAV3_STATE version=\"3\"><PARAMS><PARAM id=\"smack\" value=\"0.5\"/><?pi?></PARAMS></VANTORAV3_STATE>",
        "<?pi?><VANTORAV3_STATE version=\"3\"><PARAMS><PARAM id=\"smack\" value=\"0.5\"/></PARAMS></VANTORAV3_STATE>",
        "<!DOCTYPE s><VANTORAV3_STATE version=\"3\"><PARAMS><PARAM id=\"smack\" value=\"0.5\"/></PARAMS></VANTORAV3_STATE>",
        "<VANTORAV3_STATE version=\"3\"><PARAMS><PARAM id=\"smack\" value=\"0.5\"/><![CDATA[x]]></PARAMS></VANTORAV3_STATE>",
    };
    for (const char* text : refused)
        expectUnreadable (wrap (text), text);

    // Found by fuzzing: "<!-->" opens a comment and does not close it, so here the root does not end
    // at the first "</S>", and the processing instruction after the comment would hang the parser.
    expectUnreadable (wrap ("<S><!--></S>--><?"
                            "?>0</S>"),
                      "a comment that hides the end of the root");
    const std::string hidden = "<VANTORAV3_STATE version=\"3\"><PARAMS><!--></PARAMS>-->"
                               "<PARAM id=\"smack\" value=\"0.5\"/></PARAMS></VANTORAV3_STATE>";
    EXPECT_TRUE (applyAnything (wrap (hidden), true));

    // The declaration the framework writes, and comments, are read.
    const std::string declared = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- saved -->"
                                 "<VANTORAV3_STATE version=\"3\"><PARAMS><!-- a note -->x"
                                 "<PARAM id=\"smack\" value=\"0.5\"/></PARAMS></VANTORAV3_STATE>";
    EXPECT_TRUE (applyAnything (wrap (declared), true));
}
