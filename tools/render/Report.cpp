#include "render/Report.h"

namespace
{
// JSON has no infinity: silence reads as null.
juce::var number (double v) { return std::isfinite (v) ? juce::var (std::round (v * 1000.0) / 1000.0) : juce::var(); }

juce::var readingObject (const LoudnessReading& r)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("integrated_lufs", number (r.integratedLufs));
    object->setProperty ("loudness_range_lu", number (r.loudnessRangeLu));
    object->setProperty ("true_peak_dbtp", number (r.truePeakDbtp));
    object->setProperty ("sample_peak_dbfs", number (r.samplePeakDbfs));
    object->setProperty ("duration_s", number (r.durationSeconds));
    object->setProperty ("sample_rate", r.sampleRate);
    object->setProperty ("channels", r.channels);
    return juce::var (object);
}

juce::var withVantoraMeters (juce::var reading, const VantoraReading& v)
{
    reading.getDynamicObject()->setProperty ("vantora_lufs", number (v.lufs));
    reading.getDynamicObject()->setProperty ("vantora_true_peak_dbtp", number (v.truePeakDbtp));
    return reading;
}

juce::String vantoraLines (const VantoraReading& v)
{
    return "Vantora meters: " + juce::String (v.lufs, 1) + " LUFS integrated (400 ms blocks, last 240 s), "
           + juce::String (v.truePeakDbtp, 1) + " dBTP true peak\n";
}

juce::String cell (double v, int width = 10)
{
    return (std::isfinite (v) ? juce::String (v, 1) : juce::String ("-inf")).paddedLeft (' ', width);
}

juce::String shape (const LoudnessReading& r)
{
    return juce::String (r.durationSeconds, 2) + " s, " + juce::String (juce::roundToInt (r.sampleRate)) + " Hz, "
           + juce::String (r.channels) + (r.channels == 1 ? " channel" : " channels");
}

juce::var analysisObject (const AnalysisReport& a)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("rms_dbfs", number (a.rmsDb));
    object->setProperty ("peak_dbfs", number (a.peakDb));
    object->setProperty ("lufs_estimate", number (a.lufsEstimate));
    object->setProperty ("ceiling_db", number (a.ceilingDb));
    object->setProperty ("attack", number (a.attack));
    object->setProperty ("sustain", number (a.sustain));

    juce::Array<juce::var> changes;
    for (const auto& c : a.changes)
    {
        auto* change = new juce::DynamicObject();
        change->setProperty ("id", c.id);
        change->setProperty ("from", number (c.from));
        change->setProperty ("to", number (c.to));
        change->setProperty ("to_text", c.toText);
        changes.add (juce::var (change));
    }
    object->setProperty ("set", changes);
    return juce::var (object);
}

juce::String analysisLines (const AnalysisReport& a)
{
    juce::String text;
    text << "analysis of the first 5 s: rms " << juce::String (a.rmsDb, 1) << " dBFS, peak " << juce::String (a.peakDb, 1)
         << " dBFS, loudness estimate " << juce::String (a.lufsEstimate, 1) << " LUFS\n";
    if (a.changes.empty())
        return text << "  it set nothing new\n";
    for (const auto& c : a.changes)
        text << "  set " << c.id << ": " << c.fromText << " -> " << c.toText << "\n";
    return text;
}

juce::String readingRows (const std::vector<std::pair<juce::String, const LoudnessReading*>>& columns)
{
    juce::String header = juce::String().paddedRight (' ', 22);
    for (auto& c : columns)
        header << c.first.paddedLeft (' ', 10);

    const auto row = [&] (const char* label, double LoudnessReading::*field) {
        juce::String line = juce::String (label).paddedRight (' ', 22);
        for (auto& c : columns)
            line << cell (c.second->*field);
        return line;
    };

    return header + "\n" + row ("integrated (LUFS)", &LoudnessReading::integratedLufs) + "\n"
           + row ("loudness range (LU)", &LoudnessReading::loudnessRangeLu) + "\n"
           + row ("true peak (dBTP)", &LoudnessReading::truePeakDbtp) + "\n"
           + row ("sample peak (dBFS)", &LoudnessReading::samplePeakDbfs) + "\n";
}
} // namespace

juce::String renderReport (const RenderOptions& options, const RenderResult& result, bool json)
{
    if (json)
    {
        auto* object = new juce::DynamicObject();
        object->setProperty ("input", readingObject (result.input));
        object->setProperty ("output", withVantoraMeters (readingObject (result.output), result.vantora));
        object->setProperty ("realtime_factor", number (result.realtimeFactor));
        if (result.analysis.ran)
            object->setProperty ("analysis", analysisObject (result.analysis));
        return juce::JSON::toString (juce::var (object), true) + "\n";
    }

    juce::String text;
    text << "input   " << options.input.getFullPathName() << " (" << shape (result.input) << ")\n"
         << "output  " << options.output.getFullPathName() << " (" << shape (result.output) << ")\n"
         << "speed   " << juce::String (result.realtimeFactor, 1) << " x real time\n\n"
         << (result.analysis.ran ? analysisLines (result.analysis) + "\n" : juce::String())
         << readingRows ({ { "input", &result.input }, { "output", &result.output } })
         << "(loudness and peaks measured with libebur128, ITU-R BS.1770-4)\n"
         << "output " << vantoraLines (result.vantora);
    return text;
}

juce::String measureReport (const juce::File& file, const RenderResult& result, bool json)
{
    if (json)
        return juce::JSON::toString (withVantoraMeters (readingObject (result.output), result.vantora), true) + "\n";

    return file.getFullPathName() + " (" + shape (result.output) + ")\n\n"
           + readingRows ({ { "file", &result.output } })
           + "(loudness and peaks measured with libebur128, ITU-R BS.1770-4)\n" + vantoraLines (result.vantora);
}
