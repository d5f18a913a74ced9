#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** Finds the output gain that brings a chain's integrated loudness to a target, one render pass at
    a time. The first pass runs at the lowest gain, where the ceiling does nothing: it measures the
    chain's own level, so the next pass starts at the gain a linear chain would need, and every later
    pass knows how much loudness the ceiling takes off (the limiting). The gain then moves by the
    secant through the last two passes, kept inside the gains known to lie below and above the target. */
class TargetSearch
{
public:
    struct Limits
    {
        double minGainDb = -24.0, maxGainDb = 12.0; // the output gain's range
        double maxLimitingDb = 4.0;                 // the most loudness the ceiling may take off
        double aimLu = 0.05;                        // how close a pass must land to stop
        double toleranceLu = 0.1;                   // how close the last pass must land to count
        int maxPasses = 8;
    };

    struct Step
    {
        enum class Kind
        {
            render,     // render a pass at gainDb
            done,       // the last pass landed
            unreachable // reason says why
        };
        Kind kind = Kind::render;
        double gainDb = 0.0;
        juce::String reason;
    };

    TargetSearch (double targetLufs, Limits limits);

    /** The gain of the first pass. */
    double firstGainDb() const noexcept { return limits.minGainDb; }

    /** Takes the integrated loudness a pass at gainDb measured and says what to do next. */
    Step next (double gainDb, double measuredLufs);

    int passes() const noexcept { return static_cast<int> (points.size()) + (haveReference ? 1 : 0); }

    /** Loudness the ceiling takes off at a pass (gain, measured). */
    double limitingDb (double gainDb, double measuredLufs) const noexcept;

private:
    struct Point
    {
        double gainDb, lufs;
    };

    Step afterReference (double measuredLufs);
    Step unreachable (const juce::String& reason) const { return { Step::Kind::unreachable, 0.0, reason }; }
    double secantGain() const;

    double target;
    Limits limits;
    bool haveReference = false;
    double referenceGainDb = 0.0, referenceLufs = 0.0;
    std::vector<Point> points;
};
