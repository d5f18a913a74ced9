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

juce::var changeList (const std::vector<ParameterChange>& changes)
{
    juce::Array<juce::var> list;
    for (const auto& c : changes)
    {
        auto* change = new juce::DynamicObject();
        change->setProperty ("id", c.id);
        change->setProperty ("from", number (c.from));
        change->setProperty ("to", number (c.to));
        change->setProperty ("to_text", c.toText);
        list.add (juce::var (change));
    }
    return list;
}

juce::String changeLines (const std::vector<ParameterChange>& changes)
{
    juce::String text;
    for (const auto& c : changes)
        text << "  set " << c.id << ": " << c.fromText << " -> " << c.toText << "\n";
    return text;
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
    object->setProperty ("set", changeList (a.changes));
    return juce::var (object);
}

juce::String analysisLines (const AnalysisReport& a)
{
    juce::String text;
    text << "analysis of the first 5 s: rms " << juce::String (a.rmsDb, 1) << " dBFS, peak "
         << juce::String (a.peakDb, 1) << " dBFS, loudness estimate " << juce::String (a.lufsEstimate, 1) << " LUFS\n";
    if (a.changes.empty())
        return text << "  it set nothing new\n";
    return text << changeLines (a.changes);
}

juce::String readingRows (const std::vector<std::pair<juce::String, const LoudnessReading*>>& columns)
{
    juce::String header = juce::String().paddedRight (' ', 22);
    for (auto& c : columns)
        header << c.first.paddedLeft (' ', 10);

    const auto row = [&] (const char* label, double LoudnessReading::*field)
    {
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

double plr (const LoudnessReading& r) { return r.truePeakDbtp - r.integratedLufs; }

const char* const referenceNote =
    "measured with libebur128: ITU-R BS.1770-4 loudness and true peak, EBU Tech 3342 range";

juce::var complianceObject (const LoudnessReading& r)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("reference", referenceNote);
    object->setProperty ("integrated_lufs", number (r.integratedLufs));
    object->setProperty ("loudness_range_lu", number (r.loudnessRangeLu));
    object->setProperty ("max_momentary_lufs", number (r.maxMomentaryLufs));
    object->setProperty ("max_short_term_lufs", number (r.maxShortTermLufs));
    object->setProperty ("true_peak_dbtp", number (r.truePeakDbtp));
    object->setProperty ("sample_peak_dbfs", number (r.samplePeakDbfs));
    object->setProperty ("plr_lu", number (plr (r)));

    juce::Array<juce::var> platforms;
    for (const auto& p : platformTargets())
    {
        const auto v = judge (p, r);
        auto* row = new juce::DynamicObject();
        row->setProperty ("name", p.name);
        row->setProperty ("target_lufs", p.lufs);
        row->setProperty ("true_peak_limit_dbtp", v.truePeakLimitDbtp);
        row->setProperty ("gain_db", number (v.gainDb));
        row->setProperty ("true_peak_after_dbtp", number (v.truePeakAfterDbtp));
        row->setProperty ("pass", v.passes);
        row->setProperty ("verdict", v.reason);
        platforms.add (juce::var (row));
    }
    object->setProperty ("platforms", platforms);
    return juce::var (object);
}

juce::String complianceLines (const LoudnessReading& r)
{
    const auto line = [] (const char* label, double v, const char* unit)
    { return juce::String (label).paddedRight (' ', 22) + cell (v, 7) + " " + unit + "\n"; };
    juce::String text;
    text << "compliance (" << referenceNote << ")\n"
         << line ("integrated", r.integratedLufs, "LUFS") << line ("loudness range", r.loudnessRangeLu, "LU")
         << line ("max momentary", r.maxMomentaryLufs, "LUFS") << line ("max short-term", r.maxShortTermLufs, "LUFS")
         << line ("true peak", r.truePeakDbtp, "dBTP") << line ("sample peak", r.samplePeakDbfs, "dBFS")
         << line ("PLR", plr (r), "LU") << "\n"
         << juce::String ("platform").paddedRight (' ', 16) << "   target  TP limit      gain  TP after  verdict\n";
    for (const auto& p : platformTargets())
    {
        const auto v = judge (p, r);
        text << juce::String (p.name).paddedRight (' ', 16) << cell (p.lufs, 9) << cell (v.truePeakLimitDbtp)
             << cell (v.gainDb) << cell (v.truePeakAfterDbtp) << "  " << v.reason << "\n";
    }
    return text;
}

juce::var targetObject (const TargetReport& t)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("name", t.target.name.isNotEmpty() ? juce::var (t.target.name) : juce::var());
    object->setProperty ("lufs", t.target.lufs);
    object->setProperty ("true_peak_limit_dbtp", t.target.truePeakLimitDbtp);
    object->setProperty ("passes", t.passes);
    object->setProperty ("output_gain_db", number (t.outputGainDb));
    object->setProperty ("limiting_db", number (t.limitingDb));
    object->setProperty ("set", changeList (t.changes));
    return juce::var (object);
}

juce::String targetLines (const TargetReport& t)
{
    const auto name = t.target.name.isNotEmpty() ? t.target.name + " " : juce::String();
    return "target  " + name + juce::String (t.target.lufs, 1) + " LUFS, true peak at most "
           + juce::String (t.target.truePeakLimitDbtp, 1) + " dBTP: " + juce::String (t.passes)
           + " passes, output gain " + juce::String (t.outputGainDb, 2) + " dB, the ceiling takes "
           + juce::String (t.limitingDb, 1) + " dB\n"
           + "the tool set (the loudness assist stays out of the way, the ceiling holds the limit):\n"
           + changeLines (t.changes);
}
} // namespace

juce::String renderReport (const RenderOptions& options, const RenderResult& result, bool json, bool compliance)
{
    if (json)
    {
        auto* object = new juce::DynamicObject();
        object->setProperty ("input", readingObject (result.input));
        object->setProperty ("output", withVantoraMeters (readingObject (result.output), result.vantora));
        object->setProperty ("realtime_factor", number (result.realtimeFactor));
        if (result.analysis.ran)
            object->setProperty ("analysis", analysisObject (result.analysis));
        if (result.target.ran)
            object->setProperty ("target", targetObject (result.target));
        if (compliance)
            object->setProperty ("compliance", complianceObject (result.output));
        return juce::JSON::toString (juce::var (object), true) + "\n";
    }

    juce::String text;
    text << "input   " << options.input.getFullPathName() << " (" << shape (result.input) << ")\n"
         << "output  " << options.output.getFullPathName() << " (" << shape (result.output) << ")\n"
         << "speed   " << juce::String (result.realtimeFactor, 1) << " x real time\n"
         << (result.target.ran ? targetLines (result.target) : juce::String()) << "\n"
         << (result.analysis.ran ? analysisLines (result.analysis) + "\n" : juce::String())
         << readingRows ({ { "input", &result.input }, { "output", &result.output } })
         << "(loudness and peaks measured with libebur128, ITU-R BS.1770-4)\n"
         << "output " << vantoraLines (result.vantora)
         << (compliance ? "\n" + complianceLines (result.output) : juce::String());
    return text;
}

juce::String measureReport (const juce::File& file, const RenderResult& result, bool json, bool compliance)
{
    if (json)
    {
        auto reading = withVantoraMeters (readingObject (result.output), result.vantora);
        if (compliance)
            reading.getDynamicObject()->setProperty ("compliance", complianceObject (result.output));
        return juce::JSON::toString (reading, true) + "\n";
    }

    return file.getFullPathName() + " (" + shape (result.output) + ")\n\n"
           + readingRows ({ { "file", &result.output } })
           + "(loudness and peaks measured with libebur128, ITU-R BS.1770-4)\n" + vantoraLines (result.vantora)
           + (compliance ? "\n" + complianceLines (result.output) : juce::String());
}

juce::String batchProgressLine (const BatchItem& item, int finished, int count)
{
    const auto prefix = "[" + juce::String (finished) + "/" + juce::String (count) + "] " + item.input.getFileName();
    const auto& r = item.result;
    if (r.error.isNotEmpty())
        return prefix + ": failed: " + r.error;
    return prefix + " -> " + item.output.getFullPathName() + ": " + juce::String (r.output.integratedLufs, 1)
           + " LUFS, " + juce::String (r.output.truePeakDbtp, 1) + " dBTP"
           + (r.target.ran ? ", " + juce::String (r.target.passes) + " passes" : juce::String());
}

juce::String batchSummary (const std::vector<BatchItem>& items, double seconds, bool json)
{
    double audioSeconds = 0.0;
    int failed = 0;
    for (const auto& item : items)
    {
        const bool ok = item.result.error.isEmpty();
        audioSeconds += ok ? item.result.output.durationSeconds : 0.0;
        failed += ok ? 0 : 1;
    }
    const double speed = audioSeconds / juce::jmax (seconds, 1.0e-6);

    if (json)
    {
        juce::Array<juce::var> files;
        for (const auto& item : items)
        {
            const auto& r = item.result;
            auto* row = new juce::DynamicObject();
            row->setProperty ("input", item.input.getFullPathName());
            row->setProperty ("output", item.output.getFullPathName());
            row->setProperty ("ok", r.error.isEmpty());
            row->setProperty ("error", r.error.isEmpty() ? juce::var() : juce::var (r.error));
            row->setProperty ("integrated_lufs", r.error.isEmpty() ? number (r.output.integratedLufs) : juce::var());
            row->setProperty ("true_peak_dbtp", r.error.isEmpty() ? number (r.output.truePeakDbtp) : juce::var());
            row->setProperty ("passes", r.target.passes);
            files.add (juce::var (row));
        }
        auto* object = new juce::DynamicObject();
        object->setProperty ("files", files);
        object->setProperty ("failed", failed);
        object->setProperty ("realtime_factor", number (speed));
        return juce::JSON::toString (juce::var (object), true) + "\n";
    }

    juce::String text;
    text << juce::String ("file").paddedRight (' ', 28) << "    LUFS      dBTP  passes  result\n";
    for (const auto& item : items)
    {
        const auto& r = item.result;
        text << item.input.getFileName().paddedRight (' ', 28);
        if (r.error.isNotEmpty())
            text << "       -         -       -  failed: " << r.error << "\n";
        else
            text << cell (r.output.integratedLufs, 8) << cell (r.output.truePeakDbtp)
                 << juce::String (r.target.passes).paddedLeft (' ', 8) << "  ok\n";
    }
    text << juce::String (static_cast<int> (items.size()) - failed) << " of "
         << juce::String (static_cast<int> (items.size())) << " files rendered, " << juce::String (speed, 1)
         << " x real time for the batch\n";
    return text;
}
