#include "render/AudioFiles.h"

#include <cstdio>
#include <unistd.h>

namespace audiofiles
{
namespace
{
juce::AudioFormatManager& formats()
{
    // Built once, under the guard of a static's initialisation: batch workers share it.
    static juce::AudioFormatManager manager;
    static const bool registered = []
    {
        manager.registerFormat (new juce::WavAudioFormat(), true);
        manager.registerFormat (new juce::AiffAudioFormat(), false);
        manager.registerFormat (new juce::FlacAudioFormat(), false);
        return true;
    }();
    juce::ignoreUnused (registered);
    return manager;
}

bool isFlac (const juce::File& file) { return file.hasFileExtension ("flac"); }
bool isWav (const juce::File& file) { return file.hasFileExtension ("wav;wave"); }

juce::String resolved (const juce::File& f)
{
    // The file may not exist yet: resolve its folder, then add the name.
    const auto parent = f.getParentDirectory();
    if (char* real = ::realpath (parent.getFullPathName().toRawUTF8(), nullptr))
    {
        juce::String path = juce::String::fromUTF8 (real);
        std::free (real);
        auto full = juce::File (path).getChildFile (f.getFileName());
        if (full.isSymbolicLink())
            full = full.getLinkedTarget();
        return full.getFullPathName();
    }
    return f.getFullPathName();
}
} // namespace

std::unique_ptr<juce::AudioFormatReader> openReader (const juce::File& file, juce::String& error)
{
    if (! file.existsAsFile())
    {
        error = "cannot read input '" + file.getFullPathName() + "': no such file";
        return nullptr;
    }

    std::unique_ptr<juce::AudioFormatReader> reader (formats().createReaderFor (file));
    if (reader == nullptr || reader->lengthInSamples <= 0 || reader->sampleRate <= 0.0 || reader->numChannels < 1)
    {
        error = "cannot read input '" + file.getFullPathName()
                + "': not a readable WAV, AIFF or FLAC file with audio in it";
        return nullptr;
    }

    if (reader->numChannels > 2)
    {
        error = "cannot read input '" + file.getFullPathName() + "': " + juce::String (reader->numChannels)
                + " channels (mono or stereo expected)";
        return nullptr;
    }
    return reader;
}

bool sameFile (const juce::File& a, const juce::File& b) { return resolved (a) == resolved (b); }

juce::String checkOutputFormat (const juce::File& file, bool asFloat)
{
    if (isWav (file))
        return {};
    if (isFlac (file))
        return asFloat ? "FLAC cannot hold 32-bit float samples; write a .wav file with --float" : juce::String();
    return "cannot write '" + file.getFileName() + "': the output must end in .wav or .flac";
}

AtomicAudioFileWriter::AtomicAudioFileWriter (const juce::File& targetFile, double sampleRate, int numChannels,
                                              bool asFloat)
    : target (targetFile), temp (targetFile.getSiblingFile ("." + targetFile.getFileName() + ".part-"
                                                            + juce::String (static_cast<int> (::getpid()))))
{
    if (const auto formatError = checkOutputFormat (target, asFloat); formatError.isNotEmpty())
    {
        openError = formatError;
        return;
    }

    auto stream = std::make_unique<juce::FileOutputStream> (temp);
    if (! stream->openedOk())
    {
        openError = "cannot write '" + target.getFullPathName() + "': " + stream->getStatus().getErrorMessage();
        return;
    }

    juce::AudioFormat* format = isFlac (target)
                                    ? static_cast<juce::AudioFormat*> (formats().findFormatForFileExtension ("flac"))
                                    : formats().findFormatForFileExtension ("wav");
    const int bits = asFloat ? 32 : 24;
    writer.reset (
        format->createWriterFor (stream.get(), sampleRate, static_cast<unsigned int> (numChannels), bits, {}, 0));
    if (writer == nullptr)
    {
        openError = "cannot write '" + target.getFullPathName() + "' at this rate and channel count";
        stream.reset();
        temp.deleteFile();
        return;
    }
    stream.release(); // the writer owns it now
}

AtomicAudioFileWriter::~AtomicAudioFileWriter() { discard(); }

bool AtomicAudioFileWriter::write (const juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    return writer != nullptr && writer->writeFromAudioSampleBuffer (buffer, startSample, numSamples);
}

juce::String AtomicAudioFileWriter::commit()
{
    if (writer == nullptr)
        return openError.isNotEmpty() ? openError : juce::String ("nothing to write");

    writer.reset(); // flushes and closes
    // rename() replaces an existing target in one step: readers see the old file or the new one.
    if (std::rename (temp.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
    {
        temp.deleteFile();
        return "cannot move the finished file into place at '" + target.getFullPathName() + "'";
    }
    return {};
}

void AtomicAudioFileWriter::discard()
{
    writer.reset();
    temp.deleteFile();
}

juce::String writeWholeFile (const juce::File& target, const juce::AudioBuffer<float>& buffer, double sampleRate,
                             bool asFloat)
{
    AtomicAudioFileWriter writer (target, sampleRate, buffer.getNumChannels(), asFloat);
    if (writer.error().isNotEmpty())
        return writer.error();
    if (! writer.write (buffer, 0, buffer.getNumSamples()))
        return "cannot write '" + target.getFullPathName() + "'";
    return writer.commit();
}
} // namespace audiofiles
