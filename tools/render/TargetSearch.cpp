#include "render/TargetSearch.h"

#include <cmath>

namespace
{
juce::String db (double v, int decimals = 1) { return (v > 0.0 ? "+" : "") + juce::String (v, decimals); }
juce::String lufs (double v) { return juce::String (v, 1) + " LUFS"; }
} // namespace

TargetSearch::TargetSearch (double targetLufs, Limits l) : target (targetLufs), limits (l) {}

double TargetSearch::limitingDb (double gainDb, double measuredLufs) const noexcept
{
    return referenceLufs + (gainDb - referenceGainDb) - measuredLufs;
}

TargetSearch::Step TargetSearch::next (double gainDb, double measuredLufs)
{
    if (! haveReference)
    {
        haveReference = true;
        referenceGainDb = gainDb;
        referenceLufs = measuredLufs;
        return afterReference (measuredLufs);
    }

    points.push_back ({ gainDb, measuredLufs });
    const double error = measuredLufs - target;
    const double limiting = limitingDb (gainDb, measuredLufs);

    if (limiting > limits.maxLimitingDb && error <= limits.aimLu)
        return unreachable (lufs (target) + " needs more than the " + juce::String (limits.maxLimitingDb, 1)
                            + " dB of limiting the tool allows: at " + lufs (measuredLufs)
                            + " the ceiling already takes " + juce::String (limiting, 1) + " dB");
    if (std::abs (error) <= limits.aimLu)
        return { Step::Kind::done, gainDb, {} };
    if (error < 0.0 && gainDb >= limits.maxGainDb)
        return unreachable (lufs (target) + " needs more than the output gain's " + db (limits.maxGainDb, 0)
                            + " dB: it reaches " + lufs (measuredLufs));
    if (passes() >= limits.maxPasses)
    {
        if (std::abs (error) <= limits.toleranceLu)
            return { Step::Kind::done, gainDb, {} };
        return unreachable (lufs (target) + " not reached within 0.1 LU in " + juce::String (passes())
                            + " passes (last " + lufs (measuredLufs) + ")");
    }
    return { Step::Kind::render, secantGain(), {} };
}

TargetSearch::Step TargetSearch::afterReference (double measuredLufs)
{
    if (! std::isfinite (measuredLufs))
        return unreachable ("the rendered output has no measurable loudness (silent or too short)");

    const double linearGain = referenceGainDb + target - measuredLufs;
    if (linearGain < limits.minGainDb)
        return unreachable (lufs (target) + " needs " + db (linearGain) + " dB of output gain, below its "
                            + db (limits.minGainDb, 0) + " dB");
    // The ceiling only ever takes loudness off, so a gain past the range cannot help.
    if (linearGain > limits.maxGainDb)
        return unreachable (lufs (target) + " needs " + db (linearGain) + " dB of output gain, beyond its "
                            + db (limits.maxGainDb, 0) + " dB");
    return { Step::Kind::render, std::round (linearGain * 100.0) / 100.0, {} };
}

double TargetSearch::secantGain() const
{
    // The reference pass is the first point of the secant: the chain is linear up to the ceiling.
    const Point reference { referenceGainDb, referenceLufs };
    const auto& last = points.back();
    const auto& before = points.size() > 1 ? points[points.size() - 2] : reference;

    // The highest gain known to land below the target and the lowest known to land above it.
    double below = -HUGE_VAL, above = HUGE_VAL;
    for (const auto& p : points)
    {
        if (p.lufs < target)
            below = std::max (below, p.gainDb);
        else
            above = std::min (above, p.gainDb);
    }

    const double run = last.gainDb - before.gainDb;
    const double slope = run != 0.0 ? (last.lufs - before.lufs) / run : 1.0;
    double gain = last.gainDb + (target - last.lufs) / (slope > 0.05 ? slope : 1.0);
    if ((gain <= below || gain >= above) && std::isfinite (below) && std::isfinite (above))
        gain = 0.5 * (below + above); // the secant left the bracket: halve it instead
    // The output gain moves in steps of 0.01 dB: name the gain the pass will really use.
    return std::round (juce::jlimit (limits.minGainDb, limits.maxGainDb, gain) * 100.0) / 100.0;
}
