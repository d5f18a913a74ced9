#include "render/ParameterSettings.h"

namespace
{
int editDistance (const juce::String& a, const juce::String& b)
{
    std::vector<int> row (static_cast<size_t> (b.length() + 1));
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int> (j);

    for (int i = 1; i <= a.length(); ++i)
    {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.length(); ++j)
        {
            const int above = row[static_cast<size_t> (j)];
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[static_cast<size_t> (j)] =
                std::min ({ above + 1, row[static_cast<size_t> (j - 1)] + 1, diagonal + cost });
            diagonal = above;
        }
    }
    return row.back();
}

juce::String closeIds (juce::AudioProcessor& processor, const juce::String& id)
{
    std::vector<std::pair<int, juce::String>> ranked;
    for (auto* p : processor.getParameters())
        if (auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (p))
        {
            const auto& candidate = withId->paramID;
            const bool related = candidate.contains (id) || id.contains (candidate);
            const int distance = related ? 0 : editDistance (id.toLowerCase(), candidate);
            if (distance <= juce::jmax (2, id.length() / 3))
                ranked.emplace_back (distance, candidate);
        }

    std::stable_sort (ranked.begin(), ranked.end(), [] (auto& a, auto& b) { return a.first < b.first; });
    juce::StringArray names;
    for (size_t i = 0; i < ranked.size() && i < 6; ++i)
        names.add (ranked[i].second);
    return names.joinIntoString (", ");
}

juce::String formatRangeValue (float v)
{
    return juce::String (v, 3).trimCharactersAtEnd ("0").trimCharactersAtEnd (".");
}

bool parseSwitch (const juce::String& text, float& value)
{
    const auto t = text.trim().toLowerCase();
    if (t == "1" || t == "on")
        value = 1.0f;
    else if (t == "0" || t == "off")
        value = 0.0f;
    else
        return false;
    return true;
}

bool parseChoice (const juce::AudioParameterChoice& choice, const juce::String& text, float& value)
{
    if (const int exact = choice.choices.indexOf (text); exact >= 0)
    {
        value = static_cast<float> (exact);
        return true;
    }

    double number = 0.0;
    if (parseNumber (text, number) && number == std::floor (number) && number >= 0.0 && number < choice.choices.size())
    {
        value = static_cast<float> (number);
        return true;
    }
    return false;
}
} // namespace

bool parseNumber (const juce::String& text, double& value)
{
    const auto trimmed = text.trim();
    if (trimmed.isEmpty())
        return false;
    char* end = nullptr;
    value = std::strtod (trimmed.toRawUTF8(), &end);
    return end != nullptr && *end == '\0' && std::isfinite (value);
}

ParameterSetting parseParameterSetting (juce::AudioProcessor& processor, const juce::String& text, juce::String& error)
{
    const int equals = text.indexOfChar ('=');
    if (equals <= 0)
    {
        error = "--set takes id=value, not '" + text + "'";
        return {};
    }

    const auto id = text.substring (0, equals).trim();
    const auto valueText = text.substring (equals + 1).trim();

    juce::RangedAudioParameter* parameter = nullptr;
    for (auto* p : processor.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p); ranged != nullptr && ranged->paramID == id)
            parameter = ranged;

    if (parameter == nullptr)
    {
        const auto close = closeIds (processor, id);
        error = "unknown parameter '" + id + "'" + (close.isNotEmpty() ? "; close ids: " + close : juce::String());
        return {};
    }

    float value = 0.0f;
    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter))
    {
        if (! parseChoice (*choice, valueText, value))
        {
            error = "'" + id + "' takes an index 0 to " + juce::String (choice->choices.size() - 1) + " or one of: \""
                    + choice->choices.joinIntoString ("\", \"") + "\" (got '" + valueText + "')";
            return {};
        }
    }
    else if (dynamic_cast<juce::AudioParameterBool*> (parameter) != nullptr)
    {
        if (! parseSwitch (valueText, value))
        {
            error = "'" + id + "' is a switch: give 0/1 or off/on (got '" + valueText + "')";
            return {};
        }
    }
    else
    {
        const auto& range = parameter->getNormalisableRange();
        double number = 0.0;
        if (! parseNumber (valueText, number) || number < range.start || number > range.end)
        {
            error = "value '" + valueText + "' for '" + id + "' is out of range " + formatRangeValue (range.start)
                    + " to " + formatRangeValue (range.end);
            return {};
        }
        value = static_cast<float> (number);
    }

    return { parameter, value };
}

void applyParameterSetting (const ParameterSetting& setting)
{
    setting.parameter->setValueNotifyingHost (setting.parameter->convertTo0to1 (setting.value));
}

juce::String describeParameterValue (const juce::RangedAudioParameter& parameter, float realValue)
{
    if (auto* choice = dynamic_cast<const juce::AudioParameterChoice*> (&parameter))
        return choice->choices[juce::jlimit (0, choice->choices.size() - 1, juce::roundToInt (realValue))];
    if (dynamic_cast<const juce::AudioParameterBool*> (&parameter) != nullptr)
        return realValue > 0.5f ? "on" : "off";
    return formatRangeValue (realValue);
}
