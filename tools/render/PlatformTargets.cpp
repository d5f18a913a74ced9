#include "render/PlatformTargets.h"

#include "render/ParameterSettings.h"

#include <cmath>

namespace
{
// A streaming platform "turns a file down" only beyond this much; closer than that no one hears it.
constexpr double streamingToleranceLu = 0.5;

const std::vector<PlatformTarget> table {
    { "youtube", "YouTube", -14.0, streamingToleranceLu, -1.0, -1.0, PlatformRule::turnsDownOnly, false,
      "no official document; -1 dBTP is common practice" },
    { "spotify", "Spotify", -14.0, streamingToleranceLu, -1.0, -2.0, PlatformRule::normalises, true,
      "Spotify's artist support page; -2 dBTP for masters louder than -14 LUFS" },
    { "apple-music", "Apple Music", -16.0, streamingToleranceLu, -1.0, -1.0, PlatformRule::normalises, false,
      "Apple's mastering guidance (Sound Check)" },
    { "amazon-music", "Amazon Music", -14.0, streamingToleranceLu, -2.0, -2.0, PlatformRule::normalises, false,
      "third-party figure" },
    { "tidal", "Tidal", -14.0, streamingToleranceLu, -1.0, -1.0, PlatformRule::turnsDownOnly, false,
      "published by Tidal (2016 announcement)" },
    { "deezer", "Deezer", -15.0, streamingToleranceLu, -1.0, -1.0, PlatformRule::normalises, false,
      "third-party figure" },
    { "apple-podcasts", "Apple Podcasts", -16.0, 1.0, -1.0, -1.0, PlatformRule::compliance, false,
      "Apple's podcast audio requirements; stereo programme (mono about -19)" },
    { "ebu-r128", "EBU R128", -23.0, 0.5, -1.0, -1.0, PlatformRule::compliance, false,
      "EBU R128 (Tech 3341/3342/3343); +-1 LU for live programmes" },
    { "atsc-a85", "ATSC A/85", -24.0, 2.0, -2.0, -2.0, PlatformRule::compliance, false, "ATSC A/85 (US TV)" },
};

juce::String number (double v) { return juce::String (v, 1); }

double platformGainDb (const PlatformTarget& p, const LoudnessReading& file, double limit)
{
    const double toTarget = p.lufs - file.integratedLufs;
    switch (p.rule)
    {
        case PlatformRule::compliance:
            return 0.0;
        case PlatformRule::turnsDownOnly:
            return std::min (0.0, toTarget);
        case PlatformRule::normalises:
            break;
    }
    if (toTarget > 0.0 && p.raisesOnlyWithinHeadroom)
        return std::max (0.0, std::min (toTarget, limit - file.truePeakDbtp));
    return toTarget;
}
} // namespace

const std::vector<PlatformTarget>& platformTargets() { return table; }

const PlatformTarget* findPlatformTarget (const juce::String& name)
{
    for (const auto& p : table)
        if (name == p.name)
            return &p;
    return nullptr;
}

juce::String platformTargetNames()
{
    juce::StringArray names;
    for (const auto& p : table)
        names.add (p.name);
    return names.joinIntoString (", ");
}

LoudnessTarget parseLoudnessTarget (const juce::String& target, const juce::String& truePeak, juce::String& error)
{
    LoudnessTarget result;
    double number = 0.0;
    if (const auto* platform = findPlatformTarget (target))
        result = { platform->name, platform->lufs, platform->truePeakLimitDbtp };
    else if (parseNumber (target, number) && number >= -70.0 && number <= 0.0)
        result = { {}, number, -1.0 };
    else
    {
        error = "unknown target '" + target + "'; give LUFS from -70 to 0 or one of: " + platformTargetNames();
        return result;
    }

    if (truePeak.isNotEmpty())
    {
        // The true peak is held by the ceiling, whose range is -6 to 0 dB.
        if (! parseNumber (truePeak, number) || number < -6.0 || number > 0.0)
            error = "--true-peak takes dBTP from -6 to 0";
        result.truePeakLimitDbtp = number;
    }
    return result;
}

PlatformVerdict judge (const PlatformTarget& p, const LoudnessReading& file)
{
    PlatformVerdict v;
    if (! std::isfinite (file.integratedLufs))
    {
        v.truePeakAfterDbtp = file.truePeakDbtp;
        v.truePeakLimitDbtp = p.truePeakLimitDbtp;
        v.reason = "fail: no measurable loudness";
        return v;
    }

    // "Louder than the target" means beyond what a render to the target can promise (0.1 LU).
    v.truePeakLimitDbtp = file.integratedLufs > p.lufs + 0.1 ? p.loudTruePeakLimitDbtp : p.truePeakLimitDbtp;
    v.gainDb = platformGainDb (p, file, v.truePeakLimitDbtp);
    v.truePeakAfterDbtp = file.truePeakDbtp + v.gainDb;

    const double offTarget = file.integratedLufs - p.lufs;
    juce::StringArray failures;
    if (p.rule == PlatformRule::compliance && std::abs (offTarget) > p.toleranceLu)
        failures.add (number (file.integratedLufs) + " LUFS is outside " + number (p.lufs) + " +-"
                      + number (p.toleranceLu) + " LU");
    if (p.rule != PlatformRule::compliance && offTarget > p.toleranceLu)
        failures.add ("too loud, turned down " + number (-v.gainDb) + " dB");
    if (v.truePeakAfterDbtp > v.truePeakLimitDbtp)
        failures.add ("true peak " + number (v.truePeakAfterDbtp) + " dBTP over its " + number (v.truePeakLimitDbtp)
                      + " dBTP");

    v.passes = failures.isEmpty();
    v.reason = v.passes ? "pass" : "fail: " + failures.joinIntoString ("; ");
    return v;
}
