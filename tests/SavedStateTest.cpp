// Saved state and user profiles: the round trip, the accepted roots and versions, slot and name
// rules, defaults for missing attributes, and blocks that hold nothing readable.
#include "TestSupport.h"

#include <map>

namespace
{
using TaughtModel = AdaptiveHitEngine::TaughtModel;

juce::MemoryBlock stateOf (QuorinProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

void restore (QuorinProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), int (block.getSize()));
}

/** XML text packed by the framework's own packer, as a host would store it. */
juce::MemoryBlock blockOf (const juce::String& xmlText)
{
    auto xml = juce::parseXML (xmlText);
    EXPECT_NE (xml, nullptr) << xmlText;
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*xml, block);
    return block;
}

std::unique_ptr<juce::XmlElement> xmlOf (const juce::MemoryBlock& block)
{
    return juce::AudioProcessor::getXmlFromBinary (block.getData(), int (block.getSize()));
}

TaughtModel exampleModel()
{
    TaughtModel model {};
    model[0] = { { 0.0123f, 0.71f, 0.29f, 0.0021f }, 3 };
    model[2] = { { 0.0456f, 0.12f, 0.88f, 0.3125f }, 9 };
    return model;
}

void expectModelsEqual (const TaughtModel& a, const TaughtModel& b)
{
    for (size_t k = 0; k < a.size(); ++k)
    {
        EXPECT_EQ (a[k].count, b[k].count) << k;
        EXPECT_EQ (a[k].features.transient, b[k].features.transient) << k;
        EXPECT_EQ (a[k].features.lowRatio, b[k].features.lowRatio) << k;
        EXPECT_EQ (a[k].features.highRatio, b[k].features.highRatio) << k;
        EXPECT_EQ (a[k].features.zcr, b[k].features.zcr) << k;
    }
}

std::array<float, numParameters> parameterValues (QuorinProcessor& p)
{
    std::array<float, numParameters> values {};
    for (int i = 0; i < numParameters; ++i)
        values[size_t (i)] = test::get (p, Param (i));
    return values;
}

/** Equal up to the parameters' own normalisation round trip. */
void expectValuesEqual (const std::array<float, numParameters>& a, const std::array<float, numParameters>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR (a[i], b[i], 1.0e-5f * std::max (1.0f, std::abs (a[i]))) << parameterId (Param (i));
}

void expectParametersEqual (QuorinProcessor& a, QuorinProcessor& b)
{
    expectValuesEqual (parameterValues (a), parameterValues (b));
}

/** Values away from Mix Clean, including a "Stage" venue with its own loudness. */
void setDistinctValues (QuorinProcessor& p, float smack)
{
    test::set (p, Param::venue, 0.0f);
    test::set (p, Param::loudness, 0.55f);
    test::set (p, Param::smack, smack);
    test::set (p, Param::inputgain, 4.5f);
    test::set (p, Param::mic, 7.0f);
    test::set (p, Param::chainmode, 1.0f);
    test::set (p, Param::revflavourdecay, 12.3f);
    test::set (p, Param::eqlow, -7.25f);
}

AdaptiveHitEngine& engineOf (QuorinProcessor& p) { return p.getAdaptiveHitEngine(); }

/** A processor with two profiles, a renamed empty slot and a taught model. */
struct StateFixture : testing::Test
{
    QuorinProcessor original;

    void SetUp() override
    {
        engineOf (original).installModel (exampleModel());
        setDistinctValues (original, 0.81f);
        original.saveUserProfile (1);
        test::set (original, Param::smack, 0.12f);
        original.saveUserProfile (3);
        original.setUserProfileName (3, "Tour");
        original.setUserProfileName (2, "Live set");
        test::set (original, Param::smack, 0.66f);
    }
};
} // namespace

TEST_F (StateFixture, RoundTripRestoresParametersProfilesNamesAndTheModel)
{
    QuorinProcessor restored;
    restore (restored, stateOf (original));

    expectParametersEqual (original, restored);
    EXPECT_FLOAT_EQ (test::get (restored, Param::loudness), 0.55f); // not moved by restoring "Stage"
    expectModelsEqual (engineOf (restored).taughtModel(), exampleModel());
    EXPECT_EQ (restored.getAdaptiveHitLearnedMask(), 5);
    EXPECT_FALSE (engineOf (restored).clearRequest.load());

    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
    {
        EXPECT_EQ (restored.hasUserProfile (slot), slot == 1 || slot == 3) << slot;
        EXPECT_EQ (restored.getUserProfileName (slot), original.getUserProfileName (slot)) << slot;
    }
    EXPECT_EQ (stateOf (restored), stateOf (original)); // the profiles' models included

    // Each profile brings back its own parameters and model.
    for (int slot : { 1, 3 })
    {
        engineOf (original).installModel ({});
        engineOf (restored).installModel ({});
        ASSERT_TRUE (original.loadUserProfile (slot));
        ASSERT_TRUE (restored.loadUserProfile (slot));
        expectParametersEqual (original, restored);
        expectModelsEqual (engineOf (restored).taughtModel(), exampleModel());
    }
    EXPECT_FLOAT_EQ (test::get (restored, Param::smack), 0.12f);
}

TEST_F (StateFixture, TheBlockCarriesVersionThreeAndOnlySlotsWorthWriting)
{
    const auto xml = xmlOf (stateOf (original));
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("VANTORAV3_STATE"));
    EXPECT_EQ (xml->getIntAttribute ("version"), 3);
    EXPECT_TRUE (xml->getChildElement (0)->hasTagName ("PARAMS"));
    EXPECT_TRUE (xml->getChildElement (1)->hasTagName ("USER_PROFILES"));
    EXPECT_TRUE (xml->getChildElement (2)->hasTagName ("ADAPTIVE_HIT_LEARN"));
    EXPECT_EQ (xml->getChildElement (2)->getNumChildElements(), 3);

    juce::StringArray written;
    for (auto* profile : xml->getChildElement (1)->getChildIterator())
        written.add (profile->getStringAttribute ("slot") + ":" + profile->getStringAttribute ("name") + ":"
                     + juce::String (profile->getNumChildElements()));
    EXPECT_EQ (written.joinIntoString (" "), "1:Profile 2:2 2:Live set:0 3:Tour:2");
}

TEST_F (StateFixture, ABlockWithoutXmlChangesNothing)
{
    const auto before = stateOf (original);
    engineOf (original).clearRequest.store (false);

    const char junk[] = "not a state";
    const auto bareText = juce::String ("<VANTORAV3_STATE version=\"3\"/>");
    juce::MemoryBlock noText;
    juce::AudioProcessor::copyXmlToBinary (juce::XmlElement ("X"), noText);
    noText.setSize (8); // the header alone
    original.setStateInformation (junk, int (sizeof (junk)));
    original.setStateInformation (bareText.toRawUTF8(), int (bareText.getNumBytesAsUTF8()));
    original.setStateInformation (noText.getData(), int (noText.getSize()));
    original.setStateInformation (nullptr, 0);

    EXPECT_TRUE (stateOf (original) == before);
    EXPECT_FALSE (engineOf (original).clearRequest.load());
}

TEST_F (StateFixture, ABareParameterTreeReplacesParametersKeepsSlotsAndForgetsTheModel)
{
    restore (original, blockOf (R"(<PARAMS><PARAM id="smack" value="0.33"/><PARAM id="mic" value="2"/></PARAMS>)"));
    EXPECT_FLOAT_EQ (test::get (original, Param::smack), 0.33f);
    EXPECT_EQ (test::get (original, Param::mic), 2.0f);
    EXPECT_EQ (test::get (original, Param::inputgain), 0.0f); // not in the tree: its default
    // No profiles element: the slots are not the tree's to change.
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
        EXPECT_EQ (original.hasUserProfile (slot), slot == 1 || slot == 3) << slot;
    EXPECT_EQ (original.getUserProfileName (2), "Live set");
    EXPECT_TRUE (engineOf (original).clearRequest.load()); // the next block forgets the model
}

TEST_F (StateFixture, AStateWithoutAProfilesElementKeepsTheSlots)
{
    restore (original, blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.5"/></PARAMS>)"
                                R"(</VANTORAV3_STATE>)"));
    EXPECT_FLOAT_EQ (test::get (original, Param::smack), 0.5f);
    EXPECT_TRUE (original.hasUserProfile (1));
    EXPECT_TRUE (original.hasUserProfile (3));
    EXPECT_EQ (original.getUserProfileName (3), "Tour");

    // An empty profiles element does say that the slots are empty.
    restore (original, blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.5"/></PARAMS>)"
                                R"(<USER_PROFILES/></VANTORAV3_STATE>)"));
    for (int slot = 0; slot < QuorinProcessor::numUserProfiles; ++slot)
        EXPECT_FALSE (original.hasUserProfile (slot)) << slot;
}

TEST_F (StateFixture, ForeignStatesAndStatesWithoutOurParametersChangeNothing)
{
    const char* const foreign[] = {
        R"(<SOMEOTHERPLUGIN/>)",
        R"(<SOMETHING><PARAM id="smack" value="0.7"/></SOMETHING>)",
        R"(<vantorav3_state version="3"><PARAMS><PARAM id="smack" value="0.7"/></PARAMS></vantorav3_state>)",
        R"(<VantoraV2_State><PARAMS><PARAM id="smack" value="0.7"/></PARAMS></VantoraV2_State>)",
        R"(<params><PARAM id="smack" value="0.7"/></params>)",
        R"(<VANTORAV3_STATE version="3"><params><PARAM id="smack" value="0.7"/></params></VANTORAV3_STATE>)",
        R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="SMACK" value="0.7"/></PARAMS></VANTORAV3_STATE>)",
        R"(<VANTORAV3_STATE version="3"><PARAMS/><USER_PROFILES/></VANTORAV3_STATE>)",
        R"(<VANTORAV3_STATE version="3"><USER_PROFILES/><ADAPTIVE_HIT_LEARN/></VANTORAV3_STATE>)",
        R"(<PARAMS><PARAM id="nosuchparameter" value="1"/></PARAMS>)",
    };
    const auto before = stateOf (original);
    engineOf (original).clearRequest.store (false);
    for (const auto* text : foreign)
    {
        restore (original, blockOf (text));
        EXPECT_TRUE (stateOf (original) == before) << text;
        EXPECT_FALSE (engineOf (original).clearRequest.load()) << text;
    }
}

namespace
{
struct VersionCase
{
    const char* root;
    const char* versionAttribute;
    bool appliesMixClean;
};

void PrintTo (const VersionCase& c, std::ostream* os) { *os << c.root << " " << c.versionAttribute; }

const VersionCase versionCases[] = {
    { "VANTORAV3_STATE", "version=\"3\"", false },
    { "VANTORAV3_STATE", "version=\"4\"", false },
    { "VANTORAV3_STATE", "version=\"2\"", true },
    { "VANTORAV3_STATE", "version=\"2.9\"", true },
    { "VANTORAV3_STATE", "", true },
    { "VANTORAV3_STATE", "version=\"three\"", true },
    { "VANTORAV2_STATE", "version=\"3\"", true },
    { "VANTORAV2_STATE", "", true },
};

class StateVersions : public testing::TestWithParam<VersionCase>
{
};
} // namespace

TEST_P (StateVersions, OlderStatesTakeTheMixCleanValuesAndKeepTheRest)
{
    const auto& c = GetParam();
    const auto text = juce::String ("<") + c.root + " " + c.versionAttribute + ">"
                      + R"(<PARAMS><PARAM id="smack" value="0.9"/><PARAM id="inputgain" value="5"/>)"
                      + R"(<PARAM id="chainmode" value="1"/></PARAMS>)"
                      + R"(<USER_PROFILES><PROFILE slot="2" name="Old"><PARAMS/></PROFILE></USER_PROFILES>)"
                      + R"(<ADAPTIVE_HIT_LEARN><HIT class="2" count="4" transient="0.5" lowRatio="0.25")"
                      + R"( highRatio="0.75" zcr="0.125"/></ADAPTIVE_HIT_LEARN></)" + c.root + ">";
    QuorinProcessor processor;
    restore (processor, blockOf (text));

    // Mix Clean sets smack and (through its base) chainmode, but not inputgain.
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), c.appliesMixClean ? 0.26f : 0.9f);
    EXPECT_EQ (test::get (processor, Param::chainmode), c.appliesMixClean ? 0.0f : 1.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::inputgain), 5.0f);
    EXPECT_TRUE (processor.hasUserProfile (2));
    EXPECT_EQ (processor.getUserProfileName (2), "Old");
    const auto model = engineOf (processor).taughtModel();
    EXPECT_EQ (model[1].count, 4);
    EXPECT_EQ (model[1].features.zcr, 0.125f);
    EXPECT_EQ (processor.getAdaptiveHitLearnedMask(), 2);
}

INSTANTIATE_TEST_SUITE_P (SavedState, StateVersions, testing::ValuesIn (versionCases));

TEST (SavedStateSlots, OutOfRangeSlotsAreClampedAndMissingNamesTakeTheDefault)
{
    QuorinProcessor processor;
    restore (processor,
             blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.26"/></PARAMS><USER_PROFILES>
        <PROFILE slot="-3"><PARAMS><PARAM id="smack" value="0.4"/></PARAMS></PROFILE>
        <PROFILE slot="9"><PARAMS><PARAM id="smack" value="0.5"/></PARAMS></PROFILE>
        <PROFILE slot="2" name="   "/>
        <PROFILE slot="3" name="A name of forty characters, give or take"/>
        <PROFILE slot="1" name="First"/>
        <PROFILE slot="1" name="Second"><PARAMS/></PROFILE>
      </USER_PROFILES></VANTORAV3_STATE>)"));

    EXPECT_TRUE (processor.hasUserProfile (0));
    EXPECT_EQ (processor.getUserProfileName (0), "Profile 1");
    EXPECT_TRUE (processor.hasUserProfile (4));
    EXPECT_EQ (processor.getUserProfileName (4), "Profile 5");
    EXPECT_EQ (processor.getUserProfileName (2), "Profile 3");
    EXPECT_FALSE (processor.hasUserProfile (2));
    EXPECT_EQ (processor.getUserProfileName (3), "A name of forty characters, gi");
    EXPECT_EQ (processor.getUserProfileName (1), "Second"); // a later PROFILE for the slot wins
    EXPECT_TRUE (processor.hasUserProfile (1));

    ASSERT_TRUE (processor.loadUserProfile (-3));
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.4f);
    ASSERT_TRUE (processor.loadUserProfile (9));
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.5f);
}

TEST (SavedStateSlots, NamesAreTrimmedCutToThirtyCharactersAndNeverEmpty)
{
    QuorinProcessor processor;
    processor.setUserProfileName (1, "    ");
    EXPECT_EQ (processor.getUserProfileName (1), "Profile 2");
    processor.setUserProfileName (7, "  Encore  ");
    EXPECT_EQ (processor.getUserProfileName (4), "Encore");
    const juce::String forty ("0123456789abcdefghijklmnopqrstuvwxyzABCD");
    processor.setUserProfileName (-1, forty);
    EXPECT_EQ (processor.getUserProfileName (0), forty.substring (0, 30));
}

TEST (SavedStateSlots, LoadingAnEmptySlotChangesNothingAndASlotWithoutModelForgetsTheModel)
{
    QuorinProcessor processor;
    engineOf (processor).installModel (exampleModel());
    test::set (processor, Param::smack, 0.77f);
    EXPECT_FALSE (processor.loadUserProfile (2));
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.77f);
    EXPECT_FALSE (engineOf (processor).clearRequest.load());

    restore (processor, blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.26"/></PARAMS>
        <USER_PROFILES><PROFILE slot="2"><PARAMS><PARAM id="smack" value="0.2"/></PARAMS></PROFILE></USER_PROFILES>
        <ADAPTIVE_HIT_LEARN><HIT class="1" count="1"/></ADAPTIVE_HIT_LEARN></VANTORAV3_STATE>)"));
    EXPECT_FALSE (engineOf (processor).clearRequest.load());
    ASSERT_TRUE (processor.loadUserProfile (2));
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.2f);
    EXPECT_TRUE (engineOf (processor).clearRequest.load());
}

TEST (SavedStateModel, MissingAttributesReadAsZeroAndClassesAndCountsAreClamped)
{
    QuorinProcessor processor;
    restore (
        processor,
        blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.26"/></PARAMS><ADAPTIVE_HIT_LEARN>
        <HIT class="0" count="-5" transient="0.3"/>
        <HIT class="7" count="12" lowRatio="0.6"/>
        <HIT count="2" zcr="0.01" transient="not a number"/>
        <OTHER class="2" count="3"/>
      </ADAPTIVE_HIT_LEARN></VANTORAV3_STATE>)"));

    const auto model = engineOf (processor).taughtModel();
    // The third HIT has no class (read as 0, so class 1) and overwrites the first.
    EXPECT_EQ (model[0].count, 2);
    EXPECT_EQ (model[0].features.zcr, 0.01f);
    EXPECT_EQ (model[0].features.transient, 0.0f);
    EXPECT_EQ (model[1].count, 0);
    EXPECT_EQ (model[2].count, 9);
    EXPECT_EQ (model[2].features.lowRatio, 0.6f);
    EXPECT_EQ (processor.getAdaptiveHitLearnedMask(), 1 | 4);

    restore (
        processor,
        blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS><PARAM id="smack" value="0.26"/></PARAMS><ADAPTIVE_HIT_LEARN>
        <HIT class="2" count="-5" transient="0.3"/></ADAPTIVE_HIT_LEARN></VANTORAV3_STATE>)"));
    EXPECT_EQ (engineOf (processor).taughtModel()[1].count, 0);
    EXPECT_EQ (engineOf (processor).taughtModel()[1].features.transient, 0.3f);
    EXPECT_EQ (processor.getAdaptiveHitLearnedMask(), 0);
}

TEST (SavedStateParameters, MissingOrUnreadableValuesTakeTheDefaultAndOutOfRangeValuesAreClamped)
{
    QuorinProcessor processor;
    test::set (processor, Param::detail, 0.9f);
    restore (processor, blockOf (R"(<VANTORAV3_STATE version="3"><PARAMS>
        <PARAM id="smack"/>
        <PARAM id="eqlow" value="99"/>
        <PARAM id="detail" value="1e999"/>
        <PARAM id="mic" value="-4"/>
        <PARAM id="nosuchparameter" value="1"/>
      </PARAMS></VANTORAV3_STATE>)"));
    EXPECT_FLOAT_EQ (test::get (processor, Param::smack), 0.26f); // the layout default
    EXPECT_FLOAT_EQ (test::get (processor, Param::eqlow), 12.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::detail), 0.44f);
    EXPECT_EQ (test::get (processor, Param::mic), 0.0f);
    EXPECT_FLOAT_EQ (test::get (processor, Param::inputgain), 0.0f); // left out: its default
}

TEST (SavedStateParameters, RestoringAVenueNeverOverwritesTheRestoredLoudness)
{
    // Left out, "venue" returns to its default "Home"; stored, it is "Stage". Either way the
    // change of venue happens before the stored loudness is applied.
    for (const auto& [venue, current] : { std::pair { "", 0.0f }, { R"(<PARAM id="venue" value="0"/>)", 1.0f } })
    {
        QuorinProcessor processor;
        test::set (processor, Param::venue, current);
        restore (processor,
                 blockOf (juce::String (R"(<VANTORAV3_STATE version="3"><PARAMS>)")
                          + R"(<PARAM id="loudness" value="0.5"/>)" + venue + "</PARAMS></VANTORAV3_STATE>"));
        EXPECT_FLOAT_EQ (test::get (processor, Param::loudness), 0.5f) << venue;
    }
}

TEST (SavedStateProfiles, AProfileStoresTheParametersAndTheModelOfTheMoment)
{
    QuorinProcessor processor;
    engineOf (processor).installModel (exampleModel());
    setDistinctValues (processor, 0.91f);
    processor.saveUserProfile (12); // slot 4
    EXPECT_TRUE (processor.hasUserProfile (4));
    const auto saved = parameterValues (processor);

    processor.loadBeatboxTightPreset();
    engineOf (processor).installModel ({});
    ASSERT_TRUE (processor.loadUserProfile (4));
    expectValuesEqual (parameterValues (processor), saved);
    expectModelsEqual (engineOf (processor).taughtModel(), exampleModel());
    EXPECT_EQ (processor.getUserProfileName (4), "Profile 5"); // saving does not rename
}

namespace
{
/** Sets a normalised value as a plug-in wrapper does for its host: the raw value, then the listeners. */
void setAsHost (juce::AudioProcessorParameter& parameter, float normalised)
{
    parameter.setValue (normalised);
    parameter.sendValueChangedMessageToListeners (normalised);
}

void setEveryParameterAtRandom (QuorinProcessor& p, juce::Random& random)
{
    for (auto* parameter : p.getParameters())
        setAsHost (*parameter, random.nextFloat());
}

/** The last value the host was told for each parameter. */
struct HostView : juce::AudioProcessorListener
{
    std::map<int, float> told;
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        told[index] = value;
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
};
} // namespace

TEST (SavedStateExactness, EveryParameterHoldsItsLegalValueAfterARestoreAndTheHostIsTold)
{
    juce::Random random (3);
    for (int round = 0; round < 20; ++round)
    {
        QuorinProcessor processor;
        setEveryParameterAtRandom (processor, random);
        const auto saved = stateOf (processor);
        std::vector<float> legal;
        for (auto* parameter : processor.getParameters())
        {
            auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
            legal.push_back (ranged->convertTo0to1 (ranged->convertFrom0to1 (parameter->getValue())));
        }

        setEveryParameterAtRandom (processor, random);
        HostView host;
        processor.addListener (&host);
        restore (processor, saved);
        processor.removeListener (&host);

        for (auto* parameter : processor.getParameters())
        {
            const auto i = parameter->getParameterIndex();
            ASSERT_EQ (parameter->getValue(), legal[size_t (i)]) << parameter->getName (64) << " round " << round;
            if (host.told.count (i) > 0)
            {
                EXPECT_EQ (host.told[i], legal[size_t (i)]) << parameter->getName (64);
            }
        }
        // The switch from the field report: an in-between value the restore would have skipped.
        auto* autogain = processor.parameters.getParameter ("autogain");
        setAsHost (*autogain, autogain->getValue() > 0.5f ? 0.55f : 0.45f);
        const float before = autogain->getValue();
        processor.addListener (&host);
        restore (processor, saved);
        processor.removeListener (&host);
        EXPECT_EQ (autogain->getValue(), before > 0.5f ? 1.0f : 0.0f);
        EXPECT_EQ (host.told[autogain->getParameterIndex()], autogain->getValue());
    }
}

TEST (SavedStateExactness, LoadThenSaveGivesTheBytesLoadedAlsoAfterPreparing)
{
    juce::Random random (8);
    for (int round = 0; round < 10; ++round)
    {
        QuorinProcessor first;
        if (round > 0)
            setEveryParameterAtRandom (first, random);
        if (round % 3 == 2)
            first.saveUserProfile (round % 5);
        const auto saved = stateOf (first);

        QuorinProcessor second;
        restore (second, saved);
        EXPECT_TRUE (stateOf (second) == saved) << "round " << round;
        second.prepareToPlay (44100.0, 256);
        EXPECT_TRUE (stateOf (second) == saved) << "round " << round << " after prepare";
        restore (second, stateOf (second));
        EXPECT_TRUE (stateOf (second) == saved) << "round " << round << " twice";
    }
}
