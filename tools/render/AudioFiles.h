#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

namespace audiofiles
{
/** Opens WAV, AIFF or FLAC; on failure returns null and says why in error. */
std::unique_ptr<juce::AudioFormatReader> openReader (const juce::File& file, juce::String& error);

/** True when both names lead to the same file (links and relative paths resolved). */
bool sameFile (const juce::File& a, const juce::File& b);

/** Checks that the output's extension names a format we write (.wav, .flac). */
juce::String checkOutputFormat (const juce::File& file, bool asFloat);

/** Writes into a temporary file beside the target and renames it over the target only on commit,
    so that a failed or interrupted write never leaves a half-written file or touches an existing one. */
class AtomicAudioFileWriter
{
public:
    AtomicAudioFileWriter (const juce::File& target, double sampleRate, int numChannels, bool asFloat);
    ~AtomicAudioFileWriter();

    /** Empty when the writer is ready, else what went wrong. */
    juce::String error() const { return openError; }

    bool write (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples);
    juce::String commit();
    void discard();

    /** The temporary file of the writer in progress (for interrupt handlers). */
    const juce::File& temporaryFile() const { return temp; }

private:
    juce::File target, temp;
    std::unique_ptr<juce::AudioFormatWriter> writer;
    juce::String openError;
};

/** Writes a whole buffer through an AtomicAudioFileWriter; returns an error or an empty string. */
juce::String writeWholeFile (const juce::File& target, const juce::AudioBuffer<float>& buffer, double sampleRate,
                             bool asFloat);
} // namespace audiofiles
