#include "processor/PluginProcessor.h"

#include "engines/AdaptiveHitEngine.h"
#include "processor/StateBlock.h"

#include <map>
#include <optional>

namespace
{
using HitEngine = QuorinProcessor::AdaptiveHitEngine;
using TaughtModel = HitEngine::TaughtModel;

const juce::Identifier stateTag ("VANTORAV3_STATE");
const juce::Identifier previousStateTag ("VANTORAV2_STATE");
const juce::Identifier profilesTag ("USER_PROFILES");
const juce::Identifier profileTag ("PROFILE");
const juce::Identifier modelTag ("ADAPTIVE_HIT_LEARN");
const juce::Identifier hitTag ("HIT");
const juce::Identifier parametersTag ("PARAMS"); // the parameter store's own tree types and keys
const juce::Identifier parameterTag ("PARAM");
const juce::Identifier idKey ("id"), valueKey ("value");
const juce::Identifier versionKey ("version"), slotKey ("slot"), nameKey ("name");
const juce::Identifier classKey ("class"), countKey ("count");
const juce::Identifier transientKey ("transient"), lowRatioKey ("lowRatio"), highRatioKey ("highRatio"), zcrKey ("zcr");

constexpr int stateVersion = 3;
constexpr int maxProfileNameLength = 30;

juce::String defaultProfileName (int slot) { return "Profile " + juce::String (slot + 1); }

int clampSlot (int slot) { return juce::jlimit (0, QuorinProcessor::numUserProfiles - 1, slot); }

double numberAttribute (const juce::XmlElement& e, const juce::Identifier& key, double fallback)
{
    return stateblock::readNumber (e.getStringAttribute (key)).value_or (fallback);
}

int clampedInt (double value, int minimum, int maximum)
{
    return static_cast<int> (juce::jlimit (static_cast<double> (minimum), static_cast<double> (maximum), value));
}

float featureAttribute (const juce::XmlElement& hit, const juce::Identifier& key)
{
    const double value = numberAttribute (hit, key, 0.0);
    return std::abs (value) <= std::numeric_limits<float>::max() ? static_cast<float> (value) : 0.0f;
}

/** Tags are compared exactly: the framework's own comparison ignores case. */
bool isTag (const juce::XmlElement& e, const juce::Identifier& tag) { return e.getTagName() == tag.toString(); }

const juce::XmlElement* firstChildElement (const juce::XmlElement& e)
{
    for (auto* child : e.getChildIterator())
        if (! child->isTextElement())
            return child;
    return nullptr;
}

//==============================================================================
// The learned hit model: "HIT" children for class 1, 2, 3 with count and the four features.

juce::ValueTree modelTree (const TaughtModel& model)
{
    juce::ValueTree tree (modelTag);
    for (size_t k = 0; k < model.size(); ++k)
    {
        const auto& c = model[k];
        juce::ValueTree hit (hitTag);
        hit.setProperty (classKey, static_cast<int> (k) + 1, nullptr);
        hit.setProperty (countKey, c.count, nullptr);
        hit.setProperty (transientKey, static_cast<double> (c.features.transient), nullptr);
        hit.setProperty (lowRatioKey, static_cast<double> (c.features.lowRatio), nullptr);
        hit.setProperty (highRatioKey, static_cast<double> (c.features.highRatio), nullptr);
        hit.setProperty (zcrKey, static_cast<double> (c.features.zcr), nullptr);
        tree.appendChild (hit, nullptr);
    }
    return tree;
}

/** Missing values read as 0; classes are clamped to 1..3 and counts to 0..9; a later "HIT" of the
    same class wins. */
TaughtModel readModel (const juce::XmlElement& element)
{
    TaughtModel model {};
    for (auto* hit : element.getChildIterator())
    {
        if (! isTag (*hit, hitTag))
            continue;
        auto& c = model[static_cast<size_t> (clampedInt (numberAttribute (*hit, classKey, 0.0), 1, 3) - 1)];
        c.count = clampedInt (numberAttribute (*hit, countKey, 0.0), 0, HitEngine::maxHitCount);
        c.features = { featureAttribute (*hit, transientKey), featureAttribute (*hit, lowRatioKey),
                       featureAttribute (*hit, highRatioKey), featureAttribute (*hit, zcrKey) };
    }
    return model;
}

//==============================================================================
// Parameter trees, as the parameter store reads them: a parameter the tree leaves out takes its
// default. The tree is rebuilt with every parameter, read values clamped into their range (a value
// that is not a number counts as left out), in one fixed order, so that a state written after a load
// has the bytes of the state loaded: "venue" first (its listener rewrites "loudness", which must not
// overwrite the loudness being restored), then the layout's order.

float realDefault (const juce::RangedAudioParameter& parameter)
{
    return parameter.convertFrom0to1 (parameter.getDefaultValue());
}

template <typename RealValueOf>
juce::ValueTree parameterTreeInFixedOrder (RealValueOf&& realValueOf)
{
    juce::ValueTree tree (parametersTag);
    const auto add = [&] (Param p)
    {
        const juce::String id (parameterId (p));
        tree.appendChild (juce::ValueTree (parameterTag, { { idKey, id }, { valueKey, realValueOf (id) } }), nullptr);
    };

    add (Param::venue);
    for (int i = 0; i < numParameters; ++i)
        if (static_cast<Param> (i) != Param::venue)
            add (static_cast<Param> (i));
    return tree;
}

juce::ValueTree currentParameterTree (const juce::AudioProcessorValueTreeState& store)
{
    return parameterTreeInFixedOrder ([&store] (const juce::String& id)
                                      { return store.getRawParameterValue (id)->load(); });
}

bool holdsRecognisedParameter (const juce::XmlElement& element, const juce::AudioProcessorValueTreeState& store)
{
    for (auto* child : element.getChildIterator())
        if (store.getParameter (child->getStringAttribute (idKey)) != nullptr)
            return true;
    return false;
}

juce::ValueTree parameterStateTree (const juce::XmlElement& element, juce::AudioProcessorValueTreeState& store)
{
    std::map<juce::String, float> values; // a later entry for the same id wins
    for (auto* child : element.getChildIterator())
    {
        const auto id = child->getStringAttribute (idKey);
        auto* parameter = store.getParameter (id);
        if (parameter == nullptr)
            continue;

        const auto& range = parameter->getNormalisableRange();
        const auto stored = stateblock::readNumber (child->getStringAttribute (valueKey));
        values[id] = stored ? static_cast<float> (
                         juce::jlimit (static_cast<double> (range.start), static_cast<double> (range.end), *stored))
                            : realDefault (*parameter);
    }

    return parameterTreeInFixedOrder (
        [&] (const juce::String& id)
        {
            const auto found = values.find (id);
            return found != values.end() ? found->second : realDefault (*store.getParameter (id));
        });
}

/** The store skips a parameter whose value already matches, so a switch can keep an in-between
    value a host gave it (0.45 reads as off): every parameter is put on the legal value it stands
    for, and the host is told. */
void settleOnLegalValues (juce::AudioProcessorValueTreeState& store)
{
    for (int i = 0; i < numParameters; ++i)
    {
        const auto* id = parameterId (static_cast<Param> (i));
        auto* parameter = store.getParameter (id);
        const float legal = parameter->convertTo0to1 (store.getRawParameterValue (id)->load());
        if (parameter->getValue() != legal)
            parameter->setValueNotifyingHost (legal);
    }
}

void restoreParameters (juce::AudioProcessorValueTreeState& store, const juce::ValueTree& parameterTree)
{
    store.replaceState (parameterTree);
    settleOnLegalValues (store);
}

void restoreParameterSnapshot (juce::AudioProcessorValueTreeState& store, const juce::ValueTree& snapshot)
{
    if (auto xml = snapshot.createXml())
        restoreParameters (store, parameterStateTree (*xml, store));
}

//==============================================================================
/** Everything a state block says, read before anything is changed. */
struct StateContents
{
    struct Profile
    {
        juce::String name;
        juce::ValueTree snapshot, model;
    };

    bool applyMixClean = false;
    juce::ValueTree parameters;
    bool replacesProfiles = false; // only a state with a profiles element says what the slots hold
    std::array<std::optional<Profile>, QuorinProcessor::numUserProfiles> profiles;
    std::optional<TaughtModel> model;
};

/** The elements that decide each part; a later element replaces an earlier one (only where it
    carries something, for a profile), so only the last ones are converted. */
// Outside the struct that holds it: a nested struct with member initialisers is incomplete for
// std::optional until the enclosing struct is (clang rejects emplace() on it).
struct DecidingProfileElements
{
    juce::String name;
    const juce::XmlElement* snapshot = nullptr;
    const juce::XmlElement* model = nullptr;
};

struct DecidingElements
{
    const juce::XmlElement* parameters = nullptr;
    const juce::XmlElement* model = nullptr;
    bool profilesElement = false;
    std::array<std::optional<DecidingProfileElements>, QuorinProcessor::numUserProfiles> profiles;
};

void noteProfile (const juce::XmlElement& element, DecidingElements& deciding)
{
    const double slotValue = numberAttribute (element, slotKey, -1.0);
    const int slot = slotValue < 0.0 ? 0 : clampedInt (slotValue, 0, QuorinProcessor::numUserProfiles - 1);

    auto& profile = deciding.profiles[static_cast<size_t> (slot)];
    if (! profile)
        profile.emplace();
    profile->name = element.getStringAttribute (nameKey, defaultProfileName (slot));

    // The first child element (whatever its tag) is the snapshot; a model follows it.
    const auto* first = firstChildElement (element);
    if (first == nullptr)
        return;
    profile->snapshot = first;
    for (auto* child : element.getChildIterator())
        if (child != first && isTag (*child, modelTag))
            profile->model = child;
}

DecidingElements findDecidingElements (const juce::XmlElement& root)
{
    DecidingElements deciding;
    for (auto* child : root.getChildIterator())
    {
        if (isTag (*child, profilesTag))
        {
            deciding.profilesElement = true;
            for (auto* profile : child->getChildIterator())
                if (isTag (*profile, profileTag))
                    noteProfile (*profile, deciding);
        }
        else if (isTag (*child, modelTag))
            deciding.model = child;
        else if (isTag (*child, parametersTag))
            deciding.parameters = child; // each parameter tree replaces the whole store
    }
    return deciding;
}

/** Nothing when the state is not one of ours (the root, case included, is this format's, the
    previous version's or a bare parameter tree) or names none of our parameters: such a state is
    left unapplied rather than read as all defaults. */
std::optional<StateContents> readState (const juce::XmlElement& root, juce::AudioProcessorValueTreeState& store)
{
    const bool bareParameters = isTag (root, parametersTag);
    const bool previousVersion = isTag (root, previousStateTag);
    if (! bareParameters && ! previousVersion && ! isTag (root, stateTag))
        return std::nullopt;

    DecidingElements deciding;
    if (bareParameters)
        deciding.parameters = &root;
    else
        deciding = findDecidingElements (root);
    if (deciding.parameters == nullptr || ! holdsRecognisedParameter (*deciding.parameters, store))
        return std::nullopt;

    StateContents contents;
    const int version = clampedInt (numberAttribute (root, versionKey, 0.0), std::numeric_limits<int>::min(),
                                    std::numeric_limits<int>::max());
    contents.applyMixClean = ! bareParameters && (previousVersion || version <= 2);
    contents.parameters = parameterStateTree (*deciding.parameters, store);
    contents.replacesProfiles = deciding.profilesElement;
    if (deciding.model != nullptr)
        contents.model = readModel (*deciding.model);

    for (size_t i = 0; i < deciding.profiles.size(); ++i)
        if (const auto& found = deciding.profiles[i])
        {
            auto& profile = contents.profiles[i].emplace();
            profile.name = found->name;
            if (found->snapshot != nullptr)
                profile.snapshot = parameterStateTree (*found->snapshot, store);
            if (found->model != nullptr)
                profile.model = modelTree (readModel (*found->model));
        }
    return contents;
}
} // namespace

//==============================================================================
void QuorinProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    juce::XmlElement root (stateTag);
    root.setAttribute (versionKey, stateVersion);

    if (auto params = currentParameterTree (parameters).createXml())
        root.addChildElement (params.release());

    auto* profiles = root.createNewChildElement (profilesTag);
    for (int slot = 0; slot < numUserProfiles; ++slot)
    {
        const auto i = static_cast<size_t> (slot);
        const bool hasProfile = hasUserProfile (slot);
        if (! hasProfile && getUserProfileName (slot) == defaultProfileName (slot))
            continue;

        auto* profile = profiles->createNewChildElement (profileTag);
        profile->setAttribute (slotKey, slot);
        profile->setAttribute (nameKey, getUserProfileName (slot));
        if (! hasProfile)
            continue;

        profile->addChildElement (userProfileTrees[i].createXml().release());
        if (userProfileHitStored[i] && userProfileHitTrees[i].isValid())
            profile->addChildElement (userProfileHitTrees[i].createXml().release());
    }

    root.addChildElement (modelTree (adaptiveHitEngine->taughtModel()).createXml().release());
    copyXmlToBinary (root, destData);
}

void QuorinProcessor::setStateInformation (const void* data, int sizeInBytes) { restoreState (data, sizeInBytes); }

bool QuorinProcessor::restoreState (const void* data, int sizeInBytes)
{
    // Read everything first: a block that cannot be read changes nothing.
    const auto xml = stateblock::readXml (data, static_cast<size_t> (juce::jmax (0, sizeInBytes)));
    if (xml == nullptr)
        return false;

    const auto contents = readState (*xml, parameters);
    if (! contents)
        return false;

    adaptiveHitEngine->clearRequest.store (true); // forgotten on the next block unless a model follows
    if (contents->replacesProfiles)
        emptyUserProfiles();

    for (int slot = 0; slot < numUserProfiles; ++slot)
        if (const auto& profile = contents->profiles[static_cast<size_t> (slot)])
        {
            const auto i = static_cast<size_t> (slot);
            setUserProfileName (slot, profile->name);
            userProfileTrees[i] = profile->snapshot;
            userProfileStored[i] = profile->snapshot.isValid();
            userProfileHitTrees[i] = profile->model;
            userProfileHitStored[i] = profile->model.isValid();
        }

    restoreParameters (parameters, contents->parameters);
    if (contents->model)
        adaptiveHitEngine->installModel (*contents->model);
    // Older states are brought onto the Mix Clean values; parameters the preset does not set keep
    // what was stored, so the preset is applied without its reset.
    if (contents->applyMixClean)
        applyMixCleanValues();
    return true;
}

//==============================================================================
void QuorinProcessor::emptyUserProfiles()
{
    for (int slot = 0; slot < numUserProfiles; ++slot)
    {
        const auto i = static_cast<size_t> (slot);
        userProfileTrees[i] = {};
        userProfileStored[i] = false;
        userProfileHitTrees[i] = {};
        userProfileHitStored[i] = false;
        userProfileNames[i] = defaultProfileName (slot);
    }
}

void QuorinProcessor::saveUserProfile (int slot)
{
    const auto i = static_cast<size_t> (clampSlot (slot));
    userProfileTrees[i] = currentParameterTree (parameters);
    userProfileStored[i] = userProfileTrees[i].isValid();
    userProfileHitTrees[i] = modelTree (adaptiveHitEngine->taughtModel());
    userProfileHitStored[i] = true;
}

bool QuorinProcessor::loadUserProfile (int slot)
{
    if (! hasUserProfile (slot))
        return false;

    const auto i = static_cast<size_t> (clampSlot (slot));
    restoreParameterSnapshot (parameters, userProfileTrees[i]);

    const auto xml =
        userProfileHitStored[i] && userProfileHitTrees[i].isValid() ? userProfileHitTrees[i].createXml() : nullptr;
    if (xml != nullptr)
        adaptiveHitEngine->installModel (readModel (*xml));
    else
        adaptiveHitEngine->clearRequest.store (true);
    return true;
}

bool QuorinProcessor::hasUserProfile (int slot) const
{
    const auto i = static_cast<size_t> (clampSlot (slot));
    return userProfileStored[i] && userProfileTrees[i].isValid();
}

juce::String QuorinProcessor::getUserProfileName (int slot) const
{
    const int s = clampSlot (slot);
    const auto name = userProfileNames[static_cast<size_t> (s)].trim();
    return name.isEmpty() ? defaultProfileName (s) : name;
}

void QuorinProcessor::setUserProfileName (int slot, const juce::String& name)
{
    const int s = clampSlot (slot);
    const auto trimmed = name.trim().substring (0, maxProfileNameLength);
    userProfileNames[static_cast<size_t> (s)] = trimmed.isEmpty() ? defaultProfileName (s) : trimmed;
}
