#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <ebur128.h>

#include <array>
#include <memory>

/** One measured signal: the reference meter's readings and the file's shape. */
struct LoudnessReading
{
    double integratedLufs = 0.0; // -inf for silence
    double loudnessRangeLu = 0.0;
    double maxMomentaryLufs = 0.0; // the loudest 400 ms window, read every 100 ms; -inf for silence
    double maxShortTermLufs = 0.0; // the loudest 3 s window, read every 100 ms; -inf for silence
    double truePeakDbtp = 0.0;     // -inf for silence
    double samplePeakDbfs = 0.0;   // -inf for silence
    double durationSeconds = 0.0;
    double sampleRate = 0.0;
    int channels = 0;
};

/** EBU R128 / ITU-R BS.1770 reference meter (libebur128), fed block by block. */
class ReferenceMeter
{
public:
    ReferenceMeter (int numChannels, double sampleRate);
    ~ReferenceMeter();

    void add (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples);
    LoudnessReading reading() const;

private:
    void addFrames (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples);
    void readWindows();
    double meanOfLatestEnergies (size_t count) const;

    struct StateDeleter
    {
        void operator() (ebur128_state* state) const;
    };

    std::unique_ptr<ebur128_state, StateDeleter> state;
    std::vector<float> interleaved;
    int channels;
    double rate;
    long long frames = 0;
    long long framesPerReading;               // 100 ms, as libebur128 counts it
    bool readingsTileWindows;                 // a 100 ms window read is exactly one reading period (not at 11025 Hz)
    std::array<double, 30> recentEnergies {}; // the last 3 s of 100 ms energies, oldest at nextEnergy
    size_t nextEnergy = 0;
    double maxMomentary, maxShortTerm;
};
