#pragma once

#include <juce_dsp/juce_dsp.h>

#include "engines/ToneCurve.h"

#include <array>

/** Five biquad coefficients normalised so that a0 = 1. */
struct BiquadCoeffs
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

/** Minimum-phase tone engine: a bank of gliding, softly saturating biquads. */
class AnalogEqEngine
{
public:
    AnalogEqEngine() = default;

    /** Two doubles in one vector register: a section's left channel in lane 0, its right in lane 1. */
    using ChannelLanes = double __attribute__ ((vector_size (16)));

    /** One section for both channels, side by side in lanes. Its coefficients, drive and mix glide
        toward their targets sample by sample, so a new design or a section switched on or off never
        clicks; both channels glide alike, so they share one glide. */
    struct AnalogBiquad
    {
        double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
        BiquadCoeffs target;
        ChannelLanes s1 {}, s2 {};
        double drive = 1.0, driveTarget = 1.0;
        double mix = 0.0, mixTarget = 0.0; // 0: the section passes its input unchanged

        /** One sample of each channel; each output lane holds a float's value, as the next section
            takes it. */
        ChannelLanes process (ChannelLanes x) noexcept;
        /** One sample of a section used alone: the same signal in both channels. */
        float process (float x) noexcept { return static_cast<float> (process (ChannelLanes { x, x })[0]); }
    };

    /** tanh of each lane, within a few ulp of the exact value: an odd rational function near zero,
        1 − 2 / (e^2|x| + 1) beyond, ±1 past 22. Both lanes in one pass, with no calls, for the
        sections' saturation. */
    static ChannelLanes tanhOfLanes (ChannelLanes x) noexcept;

    static constexpr int numRows = 13;
    // The groups of rows, each run as one cascade in row order.
    static constexpr int liveToneRow = 0, numLiveToneRows = 6;
    static constexpr int cuppedRow = 6, numCuppedRows = 3;
    static constexpr int detectorRow = 9;
    static constexpr int notchRow = 10, numNotchRows = 3;

    // The designs, frequencies clamped to 18 Hz .. 0.48 × rate. Q values are single-precision
    // constants widened to double, as the tone curve has always been voiced with them.
    static BiquadCoeffs makePeak (double sampleRate, float freqHz, float q, float gainDb) noexcept;
    static BiquadCoeffs makeHighPass (double sampleRate, float freqHz) noexcept;                // Q 0.707
    static BiquadCoeffs makeHighShelf (double sampleRate, float freqHz, float gainDb) noexcept; // slope 0.72
    static BiquadCoeffs makeBandPass (double sampleRate, float freqHz, float q) noexcept;       // 0 dB peak

    /** Stores the rate, resets every section and loads the fixed rows (cupped voicing, detector, and
        the notches' resting design). */
    void prepare (const juce::dsp::ProcessSpec& spec) noexcept;
    /** Silences every section's state; the designs and their glides stay. */
    void reset() noexcept;

    /** The three feedback notches. A notch whose frequency is 0 (off) or which is not enabled fades
        out but keeps a 30 Hz design. */
    struct FeedbackNotches
    {
        std::array<float, 3> frequenciesHz {}; // 0 for "Off"
        float q = 0.0f;
        float gainDb = 0.0f;
        bool enabled = false;
    };

    struct Params
    {
        ToneCurve toneCurve;
        FeedbackNotches notches;
    };

    /** Sets the targets the live tone rows and the notch rows glide to. */
    void setParameters (const Params& params) noexcept;

    /** One sample of each channel through the live tone curve. */
    void processLive (float& left, float& right) noexcept;

    /** One sample of each channel through `count` rows starting at `firstRow`, in order. */
    void processRows (int firstRow, int count, float& left, float& right) noexcept;

    AnalogBiquad& section (int row) noexcept { return rows[static_cast<size_t> (row)]; }

    double getSampleRate() const noexcept { return sampleRate; }

private:
    void setToneCurve (const ToneCurve& curve) noexcept;
    void setFeedbackNotches (const FeedbackNotches& notches) noexcept;
    void setRowTarget (int row, const BiquadCoeffs& design, double driveTarget, double mixTarget) noexcept;

    double sampleRate = 44100.0;
    std::array<AnalogBiquad, numRows> rows {};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AnalogEqEngine)
};
