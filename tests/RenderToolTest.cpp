// The render tool end to end: the demo take renders, files line up, errors are clear and harmless.
#include "TestSupport.h"
#include "ToolRun.h"
#include "demo/DemoTake.h"
#include "render/AudioFiles.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using tool::render;

class RenderTool : public testing::Test
{
protected:
    juce::TemporaryFile folderName;
    juce::File folder = folderName.getFile();
    juce::File demo = folder.getChildFile ("demo.wav");

    void SetUp() override
    {
        ASSERT_TRUE (folder.createDirectory());
        ASSERT_EQ (tool::run (VANTORA_DEMO_TOOL, { demo.getFullPathName() }).exitCode, 0);
    }
    void TearDown() override { folder.deleteRecursively(); }

    juce::String path (const char* name) const { return folder.getChildFile (name).getFullPathName(); }

    static std::unique_ptr<juce::AudioFormatReader> open (const juce::File& f)
    {
        juce::String error;
        auto reader = audiofiles::openReader (f, error);
        EXPECT_NE (reader, nullptr) << error;
        return reader;
    }

    void expectFailure (const juce::StringArray& args, const juce::String& message, const juce::File& untouched)
    {
        juce::MemoryBlock before, after;
        untouched.loadFileAsData (before);
        const auto run = render (args);
        EXPECT_NE (run.exitCode, 0);
        EXPECT_TRUE (run.output.contains (message)) << run.output;
        EXPECT_TRUE (run.output.startsWith ("vantora-render: ")) << run.output;
        untouched.loadFileAsData (after);
        EXPECT_TRUE (before == after) << "the render touched " << untouched.getFullPathName();
        EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, ".*.part-*").size(), 0);
    }
};
} // namespace

TEST_F (RenderTool, DemoTakeIsMonoAtFortyEightKilohertzForAboutTwentySeconds)
{
    auto reader = open (demo);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->numChannels, 1u);
    EXPECT_EQ (reader->sampleRate, 48000.0);
    EXPECT_EQ (reader->lengthInSamples, 20 * 48000);

    const auto a = demo::makeDemoTake();
    const auto b = demo::makeDemoTake();
    EXPECT_EQ (0,
               std::memcmp (a.getReadPointer (0), b.getReadPointer (0), sizeof (float) * size_t (a.getNumSamples())));
}

TEST_F (RenderTool, RendersTheDemoWithTheInputsLengthAndRate)
{
    const auto run = render ({ demo.getFullPathName(), path ("out.wav"), "--json" });
    ASSERT_EQ (run.exitCode, 0) << run.output;

    const auto report = juce::JSON::parse (run.output);
    ASSERT_TRUE (report.isObject()) << run.output;
    for (const char* side : { "input", "output" })
        for (const char* key : { "integrated_lufs", "loudness_range_lu", "true_peak_dbtp", "sample_peak_dbfs",
                                 "duration_s", "sample_rate", "channels" })
            EXPECT_TRUE (report[side].hasProperty (key)) << side << "." << key;
    EXPECT_GT (double (report["realtime_factor"]), 1.0);
    EXPECT_EQ (int (report["output"]["channels"]), 2);
    EXPECT_NEAR (double (report["input"]["integrated_lufs"]), -20.0, 8.0);

    auto reader = open (folder.getChildFile ("out.wav"));
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->lengthInSamples, 20 * 48000);
    EXPECT_EQ (reader->sampleRate, 48000.0);
    EXPECT_EQ (reader->numChannels, 2u);
    EXPECT_EQ (reader->bitsPerSample, 24u);
}

TEST_F (RenderTool, SameRenderTwiceIsBitIdentical)
{
    // Live Performance with Beast and the transient shaper: every colour and dynamics stage runs.
    for (const char* out : { "a.wav", "b.wav" })
        ASSERT_EQ (render ({ demo.getFullPathName(), path (out), "--float", "--set", "chainmode=Live Performance",
                             "--set", "mixmode=Total Beast", "--set", "beastknobon=on", "--set", "punchknobon=on" })
                       .exitCode,
                   0);
    juce::MemoryBlock a, b;
    folder.getChildFile ("a.wav").loadFileAsData (a);
    folder.getChildFile ("b.wav").loadFileAsData (b);
    EXPECT_GT (a.getSize(), 48000u * 20u * 8u);
    EXPECT_TRUE (a == b);
}

TEST_F (RenderTool, ChannelsFloatTailAndFlac)
{
    ASSERT_EQ (render ({ demo.getFullPathName(), path ("mono.flac"), "--channels", "1", "--tail", "1.5" }).exitCode, 0);
    auto mono = open (folder.getChildFile ("mono.flac"));
    ASSERT_NE (mono, nullptr);
    EXPECT_EQ (mono->numChannels, 1u);
    EXPECT_EQ (mono->lengthInSamples, 20 * 48000 + 72000);

    ASSERT_EQ (render ({ demo.getFullPathName(), path ("float.wav"), "--float", "--block", "64" }).exitCode, 0);
    auto floats = open (folder.getChildFile ("float.wav"));
    ASSERT_NE (floats, nullptr);
    EXPECT_TRUE (floats->usesFloatingPointData);
}

TEST_F (RenderTool, MeasureReportsTheReferenceReadings)
{
    const auto run = render ({ "--measure", demo.getFullPathName(), "--json" });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    const auto report = juce::JSON::parse (run.output);
    EXPECT_EQ (int (report["channels"]), 1);
    EXPECT_NEAR (double (report["duration_s"]), 20.0, 1.0e-6);
    EXPECT_NEAR (double (report["sample_peak_dbfs"]), 20.0 * std::log10 (0.7), 0.01);
}

TEST_F (RenderTool, UnreadableInputFailsClearly)
{
    const auto bogus = folder.getChildFile ("notes.wav");
    bogus.replaceWithText ("this is not audio");
    const auto out = folder.getChildFile ("out.wav");
    expectFailure ({ bogus.getFullPathName(), out.getFullPathName() }, "cannot read input", out);
    expectFailure ({ path ("missing.wav"), out.getFullPathName() }, "no such file", out);
    EXPECT_FALSE (out.exists());
}

TEST_F (RenderTool, RefusesToOverwriteTheInput)
{
    expectFailure ({ demo.getFullPathName(), demo.getFullPathName() }, "output path is the input", demo);
    const auto viaDots = folder.getChildFile ("sub").getFullPathName() + "/../demo.wav";
    folder.getChildFile ("sub").createDirectory();
    expectFailure ({ demo.getFullPathName(), viaDots }, "output path is the input", demo);
}

TEST_F (RenderTool, UnknownIdListsCloseIdsAndLeavesAnExistingOutputAlone)
{
    const auto out = folder.getChildFile ("out.wav");
    out.replaceWithText ("an older render");
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--set", "eqpc=0.5" }, "unknown parameter 'eqpc'",
                   out);
    const auto run = render ({ demo.getFullPathName(), out.getFullPathName(), "--set", "eqpc=0.5" });
    EXPECT_TRUE (run.output.contains ("eqpct")) << run.output;
}

TEST_F (RenderTool, OutOfRangeValuesGiveTheRange)
{
    const auto out = folder.getChildFile ("out.wav");
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--set", "eqlow=30" }, "out of range -12 to 12",
                   out);
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--set", "mic=15" }, "index 0 to 14", out);
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--set", "bypass=maybe" }, "0/1 or off/on", out);
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--set", "eqlow=abc" }, "out of range", out);
    EXPECT_FALSE (out.exists());
}

TEST_F (RenderTool, AcceptsSwitchWordsAndChoiceTexts)
{
    const auto run = render ({ demo.getFullPathName(), path ("out.wav"), "--set", "bypass=on", "--set",
                               "mic=Shure SM7B", "--set", "eqlow=-3.5", "--set", "outputtarget=4" });
    EXPECT_EQ (run.exitCode, 0) << run.output;
}

TEST_F (RenderTool, MeasureAndRenderReportVantorasOwnMetersBesideTheReference)
{
    // Stereo 997 Hz, the sides at different levels, both starting from zero (a step at the start
    // would make the meters disagree about the overshoot, not about the tone).
    auto tone = test::sine (2, 10 * 48000, 997.0, 48000.0, 0.4f);
    tone.applyGain (1, 0, tone.getNumSamples(), 0.5f);
    const auto toneFile = folder.getChildFile ("tone.wav");
    ASSERT_TRUE (audiofiles::writeWholeFile (toneFile, tone, 48000.0, true).isEmpty());

    const auto measured = render ({ "--measure", toneFile.getFullPathName(), "--json" });
    ASSERT_EQ (measured.exitCode, 0) << measured.output;
    const auto file = juce::JSON::parse (measured.output);
    EXPECT_NEAR (double (file["vantora_lufs"]), double (file["integrated_lufs"]), 0.2);
    EXPECT_NEAR (double (file["vantora_true_peak_dbtp"]), double (file["true_peak_dbtp"]), 0.5);

    const auto text = render ({ "--measure", toneFile.getFullPathName() });
    EXPECT_TRUE (text.output.contains ("Vantora meters:")) << text.output;

    // The analyzer reads the block before the output gains: with a Custom target, 0 dB output gain,
    // no ceiling trim and a tone well below the final low-pass, that is the output's loudness.
    const auto rendered = render ({ toneFile.getFullPathName(), path ("out.wav"), "--json", "--set", "outputtarget=0",
                                    "--set", "loudnessmeter=on", "--set", "outputgain=0", "--set", "limiteron=off",
                                    "--set", "autogain=off", "--set", "eqon=off" });
    ASSERT_EQ (rendered.exitCode, 0) << rendered.output;
    const auto output = juce::JSON::parse (rendered.output)["output"];
    EXPECT_NEAR (double (output["vantora_lufs"]), double (output["integrated_lufs"]), 0.2);
    EXPECT_TRUE (output.hasProperty ("vantora_true_peak_dbtp"));
}

//==============================================================================
namespace
{
const char* const presetNames[] = { "Mix Clean", "YT Punch", "Streaming Safe", "Minimal", "Beatbox Tight" };

/** The parameter values a saved state file holds, by id. */
std::map<juce::String, double> savedParameters (const juce::File& stateFile)
{
    juce::MemoryBlock block;
    stateFile.loadFileAsData (block);
    std::map<juce::String, double> values;
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (block.getData(), int (block.getSize())))
        if (auto* params = xml->getChildByName ("PARAMS"))
            for (auto* p : params->getChildIterator())
                values[p->getStringAttribute ("id")] = p->getDoubleAttribute ("value");
    return values;
}

bool sameBytes (const juce::File& a, const juce::File& b)
{
    juce::MemoryBlock x, y;
    return a.loadFileAsData (x) && b.loadFileAsData (y) && x.getSize() > 0 && x == y;
}
} // namespace

TEST_F (RenderTool, RendersTheDemoWithEachFactoryPreset)
{
    // Each preset's own values show in the state the render used.
    const std::pair<const char*, double> smackOf[] = { { "Mix Clean", 0.26 },
                                                       { "YT Punch", 0.34 },
                                                       { "Streaming Safe", 0.22 },
                                                       { "Minimal", 0.18 },
                                                       { "Beatbox Tight", 0.46 } };
    for (const auto& [name, smack] : smackOf)
    {
        SCOPED_TRACE (name);
        const auto run = render (
            { demo.getFullPathName(), path ("preset.wav"), "--preset", name, "--save-state", path ("preset.state") });
        ASSERT_EQ (run.exitCode, 0) << run.output;
        EXPECT_TRUE (folder.getChildFile ("preset.wav").existsAsFile());
        const auto values = savedParameters (folder.getChildFile ("preset.state"));
        EXPECT_NEAR (values.at ("smack"), smack, 1.0e-6);
        EXPECT_EQ (values.at ("chainmode"), juce::String (name) == "Beatbox Tight" ? 1.0 : 0.0);
    }
}

TEST_F (RenderTool, AWrongPresetNameListsTheValidOnes)
{
    const auto out = folder.getChildFile ("out.wav");
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--preset", "Mix Dirty" },
                   "unknown preset 'Mix Dirty'", out);
    const auto run = render ({ demo.getFullPathName(), out.getFullPathName(), "--preset", "mix clean" });
    for (const char* name : presetNames)
        EXPECT_TRUE (run.output.contains (juce::String ("\"") + name + "\"")) << run.output;
    EXPECT_FALSE (out.exists());
}

TEST_F (RenderTool, ASavedStateRendersTheSameAsTheSettingsItCameFrom)
{
    ASSERT_EQ (
        render ({ demo.getFullPathName(), path ("a.wav"), "--float", "--preset", "Beatbox Tight", "--set", "smack=0.9",
                  "--set", "venue=Home", "--set", "loudness=0.6", "--save-state", path ("a.state") })
            .exitCode,
        0);
    ASSERT_EQ (render ({ demo.getFullPathName(), path ("b.wav"), "--float", "--state", path ("a.state"), "--save-state",
                         path ("b.state") })
                   .exitCode,
               0);
    EXPECT_TRUE (sameBytes (folder.getChildFile ("a.wav"), folder.getChildFile ("b.wav")));
    const auto a = savedParameters (folder.getChildFile ("a.state"));
    EXPECT_EQ (a, savedParameters (folder.getChildFile ("b.state")));
    EXPECT_NEAR (a.at ("smack"), 0.9, 1.0e-6);
    EXPECT_NEAR (a.at ("loudness"), 0.6, 1.0e-6);

    // The same state as bare XML text.
    juce::MemoryBlock block;
    folder.getChildFile ("a.state").loadFileAsData (block);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (block.getData(), int (block.getSize()));
    ASSERT_NE (xml, nullptr);
    ASSERT_TRUE (xml->writeTo (folder.getChildFile ("a.xml")));
    ASSERT_EQ (render ({ demo.getFullPathName(), path ("c.wav"), "--float", "--state", path ("a.xml") }).exitCode, 0);
    EXPECT_TRUE (sameBytes (folder.getChildFile ("a.wav"), folder.getChildFile ("c.wav")));
}

TEST_F (RenderTool, AnUnreadableStateFileFailsClearly)
{
    const auto out = folder.getChildFile ("out.wav");
    folder.getChildFile ("junk.state").replaceWithText ("<VANTORAV3_STATE version=\"3\"><PARAMS>");
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--state", path ("junk.state") },
                   "holds no readable state", out);
    expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--state", path ("missing.state") },
                   "cannot read state file", out);
    // Another product's state, and a state that once hung the framework's parser: refused at once.
    folder.getChildFile ("other.state")
        .replaceWithText ("<SOMEOTHERPLUGIN><PARAM id=\"smack\" value=\"1\"/></SOMEOTHERPLUGIN>");
    folder.getChildFile ("hang.state")
        .replaceWithText ("<VANTORAV3_STATE version=\"3\"><PARAMS><?note?>x</PARAMS></VANTORAV3_STATE>");
    for (const char* name : { "other.state", "hang.state" })
        expectFailure ({ demo.getFullPathName(), out.getFullPathName(), "--state", path (name) },
                       "holds no readable state", out);
    EXPECT_FALSE (out.exists());
}

TEST_F (RenderTool, StopsPromptlyOnSigintAndSigtermLeavingNoFile)
{
    for (const int signal : { SIGINT, SIGTERM })
    {
        const auto out = folder.getChildFile ("long.wav");
        // Ten minutes of tail: far longer than the test waits.
        const std::string outPath = out.getFullPathName().toStdString(), inPath = demo.getFullPathName().toStdString();
        const pid_t pid = fork();
        ASSERT_GE (pid, 0);
        if (pid == 0)
        {
            const int devNull = ::open ("/dev/null", O_WRONLY);
            dup2 (devNull, STDERR_FILENO);
            dup2 (devNull, STDOUT_FILENO);
            execl (VANTORA_RENDER_TOOL, VANTORA_RENDER_TOOL, inPath.c_str(), outPath.c_str(), "--tail", "600", nullptr);
            _exit (127);
        }
        juce::Thread::sleep (1500);
        const auto sent = juce::Time::getMillisecondCounterHiRes();
        kill (pid, signal);

        int status = 0;
        pid_t done = 0;
        while ((done = waitpid (pid, &status, WNOHANG)) == 0 && juce::Time::getMillisecondCounterHiRes() - sent < 5000)
            juce::Thread::sleep (10);
        if (done == 0)
        {
            kill (pid, SIGKILL);
            waitpid (pid, &status, 0);
            FAIL() << "still running 5 s after signal " << signal;
        }
        EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) != 0) << "signal " << signal;
        EXPECT_FALSE (out.exists());
        EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, ".*.part-*").size(), 0);
    }
}

TEST_F (RenderTool, AnalyzeReportsWhatItMeasuredAndSet)
{
    // The first 5 s of the mono take, played on both sides: its loudness estimate sums both channels.
    auto reader = open (demo);
    ASSERT_NE (reader, nullptr);
    const int n = 5 * 48000;
    juce::AudioBuffer<float> opening (1, n);
    reader->read (&opening, 0, n, 0, true, false);
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += double (opening.getSample (0, i)) * opening.getSample (0, i);
    const double rmsDb = 10.0 * std::log10 (sum / n);
    const double lufs = 10.0 * std::log10 (2.0 * sum / n) - 0.691;
    const double peakDb = 20.0 * std::log10 (opening.getMagnitude (0, 0, n));
    const double over = std::max (0.0, lufs + 14.0);
    const double ceiling = over > 0.0 ? std::clamp (-1.1 - 0.55 * over, -5.5, -0.8) : -1.1;
    const double attack = std::clamp (0.34 - 0.018 * (peakDb - rmsDb - 11.0) - 0.022 * over, 0.14, 0.44);

    const auto run = render ({ demo.getFullPathName(), path ("out.wav"), "--analyze", "--set", "limiterceiling=-2.5",
                               "--save-state", path ("out.state"), "--json" });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    const auto analysis = juce::JSON::parse (run.output)["analysis"];
    ASSERT_TRUE (analysis.isObject()) << run.output;
    EXPECT_NEAR (double (analysis["rms_dbfs"]), rmsDb, 0.01);
    EXPECT_NEAR (double (analysis["lufs_estimate"]), lufs, 0.01);
    EXPECT_NEAR (double (analysis["peak_dbfs"]), peakDb, 0.01);
    EXPECT_NEAR (double (analysis["ceiling_db"]), ceiling, 0.01);
    EXPECT_NEAR (double (analysis["attack"]), attack, 0.002);

    // --analyze comes after --set, so its ceiling replaces the one asked for.
    bool reportedCeiling = false;
    for (const auto& change : *analysis["set"].getArray())
        if (change["id"] == "limiterceiling")
        {
            reportedCeiling = true;
            EXPECT_NEAR (double (change["from"]), -2.5, 1.0e-3);
            EXPECT_NEAR (double (change["to"]), ceiling, 0.01);
        }
    EXPECT_TRUE (reportedCeiling) << run.output;
    EXPECT_NEAR (savedParameters (folder.getChildFile ("out.state")).at ("limiterceiling"), ceiling, 0.01);

    const auto text = render ({ demo.getFullPathName(), path ("out.wav"), "--analyze" });
    EXPECT_TRUE (text.output.contains ("set limiterceiling")) << text.output;
}
