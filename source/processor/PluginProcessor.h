#pragma once

#include "chain/BlockControls.h"
#include "chain/DelayRing.h"
#include "chain/DynamicsStage.h"
#include "chain/Enhancers.h"
#include "chain/InputAnalysis.h"
#include "chain/InputStage.h"
#include "chain/OutputStage.h"
#include "chain/SaturationStage.h"
#include "chain/ToneEqStage.h"
#include "chain/TransientShaper.h"
#include "chain/TruePeakGuard.h"
#include "chain/WidthStage.h"
#include "processor/ParameterLayout.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <initializer_list>
#include <utility>

class AnalogEqEngine;
class ModernReverb;
class MultibandDynamics;
class LinearPhaseEqEngine;
class LoudnessAnalyzer;

/** The Vantora channel strip: parameters, the per-block chain and the values it publishes. */
class QuorinProcessor : public juce::AudioProcessor,
                        public juce::AudioProcessorValueTreeState::Listener,
                        private juce::AsyncUpdater
{
public:
    // The DSP engines, each defined in its own header under engines/.
    using AnalogEqEngine = ::AnalogEqEngine;
    using ModernReverb = ::ModernReverb;
    using MultibandDynamics = ::MultibandDynamics;
    using AdaptiveHitEngine = ::AdaptiveHitEngine;
    using LinearPhaseEqEngine = ::LinearPhaseEqEngine;
    using LoudnessAnalyzer = ::LoudnessAnalyzer;

    QuorinProcessor();
    ~QuorinProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    /** setStateInformation, saying whether the block was applied: false, and nothing changed, for a
        block that holds no state of ours. */
    bool restoreState (const void* data, int sizeInBytes);
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    juce::AudioProcessorParameter* getBypassParameter() const override;

    void parameterChanged (const juce::String& parameterID, float newValue) override;

    /** The block record the current parameters give a block of this length with no hit and no morph
        offsets: what preparation designs from, and what a single stage can be driven with. */
    ChainBlock restingBlock (int numSamples) const noexcept;

    // Adaptive hit accessors for the editor (message thread).
    juce::String getAdaptiveHitLabel() const;
    void requestAdaptiveHitLearn (int hitClass);
    void clearAdaptiveHitLearnedModel();
    int getAdaptiveHitLearningClass() const;
    float getAdaptiveHitLearningProgress() const;
    int getAdaptiveHitLearnedMask() const;
    // Hits heard by the learning run in progress, or by the last run once it has ended: 0 after a
    // run means it heard none and taught nothing.
    int getAdaptiveHitLearningHits() const;
    /** The hit engine the chain runs. The message thread may read and install its taught model and
        make its requests; every field those touch is atomic. */
    AdaptiveHitEngine& getAdaptiveHitEngine() noexcept { return *adaptiveHitEngine; }

    // Factory presets and the reset (message thread): parameter writes as a host would make them.
    void resetToDefaults();
    void loadMixCleanPreset();
    void loadMixYouTubePunchPreset();
    void loadMixStreamingSafePreset();
    void loadMixMinimalPreset();
    void loadBeatboxTightPreset();

    // User profiles (message thread). Slot numbers are clamped to 0..4.
    static constexpr int numUserProfiles = 5;
    void saveUserProfile (int slot);
    bool loadUserProfile (int slot);
    bool hasUserProfile (int slot) const;
    juce::String getUserProfileName (int slot) const;
    void setUserProfileName (int slot, const juce::String& name);

    juce::AudioProcessorValueTreeState parameters;

    std::atomic<float> outputPeakLeft { 0.0f };
    std::atomic<float> outputPeakRight { 0.0f };

    // Published for the editor; written by the audio thread.
    std::atomic<int> adaptiveHitClass { 0 };
    std::atomic<float> adaptiveHitConfidence { 0.0f };
    std::atomic<float> loudnessLufs { -70.0f };
    std::atomic<float> blockLoudnessDb { -70.0f };
    std::atomic<float> truePeakDb { -90.0f };
    std::atomic<float> outputTargetLufs { -14.0f };

    std::atomic<bool> calibrateRequested { false };
    std::atomic<bool> calibrating { false };
    std::atomic<float> calibrateProgress { 0.0f };
    std::atomic<bool> calibrationDone { false };
    std::atomic<float> calibratedGate { 0.0f };
    std::atomic<float> calibratedLoudness { 0.0f };
    std::atomic<float> calibratedSmart { 0.0f };
    std::atomic<float> calibratedNoiseFloorDb { -90.0f };
    std::atomic<float> calibratedPeakDb { 0.0f };

    std::atomic<bool> analyzeRequested { false };
    std::atomic<bool> analyzing { false };
    std::atomic<float> analyzeProgress { 0.0f };
    std::atomic<bool> analysisDone { false };
    std::atomic<float> analysisRmsDb { -90.0f };
    std::atomic<float> analysisPeakDb { -90.0f };
    std::atomic<float> analysisLufsEstimate { -70.0f };
    std::atomic<float> analysisCeilingDb { -1.0f };
    std::atomic<float> analysisAttack { 0.42f };
    std::atomic<float> analysisSustain { 0.52f };

private:
    //==============================================================================
    // Block frame
    bool repairInput (juce::AudioBuffer<float>& buffer);
    void outputSilence (juce::AudioBuffer<float>& buffer) noexcept;
    void runBypass (juce::AudioBuffer<float>& buffer);
    ParameterSnapshot readParameters() const noexcept;
    BlockFlags makeBlockFlags (const ParameterSnapshot& params, const ModuleFades& fades) const noexcept;
    ModuleFades followModuleFades (const ParameterSnapshot& params, int numSamples) noexcept;
    /** The delay the chain gives the signal with these flags: the linear-phase FIR's, the padded
        Beast path's, the ceiling's oversampling and the true-peak guard's. */
    int latencyFor (const BlockFlags& flags) const noexcept;
    void updateLatency (const BlockFlags& flags) noexcept;
    /** Tells the host the latency the current parameters give (message thread). */
    void publishLatency();
    void handleAsyncUpdate() override;
    void padBeastLatency (juce::AudioBuffer<float>& buffer) noexcept;
    void sanitiseAndMeasurePeaks (juce::AudioBuffer<float>& buffer) noexcept;
    void publishPeaks (const juce::AudioBuffer<float>& buffer) noexcept;

    // Macro mapping
    BlockControls mapMacroControls (const ParameterSnapshot& params, const BlockFlags& flags,
                                    const juce::AudioBuffer<float>& buffer);

    // Input analysis captures
    void prepareInputCaptures();
    void releaseInputCaptures();
    void runInputCaptures (const juce::AudioBuffer<float>& buffer);
    void startRequestedCaptures();
    void completeCalibration();
    void completeAnalysis();

    // Parameter writes of the processor's own (presets, captures): the real value through the host
    // notification path; an unknown id is skipped.
    using ParameterValues = std::initializer_list<std::pair<Param, float>>;
    void writeParameter (const char* id, float realValue);
    void writeParameters (ParameterValues values);
    void applyMixPreset (ParameterValues ownValues); // the SM58 base, then the preset's own values
    void applyMixCleanValues();                      // Mix Clean without the reset (old saved states)

    // User profiles
    void emptyUserProfiles();

    // Input stage
    void runInputStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    // Tone and EQ
    void designEq (const ChainBlock& block);
    EqPassResult runEqPass (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float cuppedAmount);
    void runLinearPhaseEq (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    // Saturation, transient shaper, dynamics
    void runSaturationStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runTransientShaper (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void designGlueCompressor (const ChainBlock& block);
    void runMultibandDynamics (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runGlueCompressor (juce::AudioBuffer<float>& buffer, const ChainBlock& block, bool multibandRan);

    // Enhancers
    void runAirExciter (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float deEsserEnvelope);
    void applyBodyMakeup (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runSubHarmonics (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runKickSub (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    // Width and space
    void runWidthStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    DuckingLevels measureDuckingLevel (const juce::AudioBuffer<float>& buffer, const ChainBlock& block) const noexcept;
    void runSpaceStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float duckLevel);

    // Output
    void runAutoGain (juce::AudioBuffer<float>& buffer, const ChainBlock& block, double inputEnergy,
                      double outputEnergy);
    /** Publishes the target and returns the loudness assist's gain (dB) for this block. */
    float runMeteringAndAssist (const juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void applyOutputGains (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float assistDb);
    void runListeningSimulator (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runFinalLowPass (juce::AudioBuffer<float>& buffer);
    void runCeiling (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runTruePeakGuard (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;
    void runOutputMeters (const juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    //==============================================================================
    std::array<std::atomic<float>*, numParameters> rawParameterValues {};
    std::array<int, numParameters> choiceCounts {}; // 0 for parameters that are not choices

    //==============================================================================
    // The stages in chain order, each owning its state
    InputStage input;
    ToneEqStage tone;
    SaturationStage saturation;
    TransientShaper transientShaper;
    DynamicsStage dynamics;
    AirExciter airExciter;
    SubHarmonics subHarmonics;
    KickSub kickSub;
    WidthStage width;
    AutoGain autoGain;
    LoudnessAssist loudnessAssist;
    ListeningSimulator listening;
    FinalLowPass finalLowPass;
    Ceiling outputCeiling;
    TruePeakGuard truePeakGuard;
    OutputMeters outputMeters;

    // The frame's delays: the repaired input, so that bypass keeps the latency in force; and, while
    // the Beast drive does not run, a wait as long as its round trip, so that switching it never
    // changes the latency.
    DelayRing bypassInputRing;
    DelayRing beastLatencyPad;
    int beastPadLength = 0;

    //==============================================================================
    std::unique_ptr<AnalogEqEngine> analogEq;
    std::unique_ptr<ModernReverb> liveReverb;
    std::unique_ptr<ModernReverb> flavourReverb;
    std::unique_ptr<MultibandDynamics> multibandDynamics;
    std::unique_ptr<LoudnessAnalyzer> loudnessAnalyzer; // where the assist listens
    std::unique_ptr<AdaptiveHitEngine> adaptiveHitEngine;
    std::unique_ptr<LinearPhaseEqEngine> linearPhaseEq;
    std::unique_ptr<LoudnessAnalyzer> outputLoudnessAnalyzer; // the output, for the meters

    double currentSampleRate = 44100.0;
    int preparedBlockSize = 0;           // 0 until prepareToPlay and after releaseResources
    int reportedLatency = -1;            // the latency in force on the audio thread
    std::atomic<int> fixedLatency { 0 }; // the part of it that no parameter changes

    ModuleFades moduleFades;

    MorphOffsets morphOffsets;

    //==============================================================================
    // Input analysis captures (their published values are public above)
    InputCapture<CalibrationMeasure> calibration;
    InputCapture<AnalysisMeasure> analysis;

    //==============================================================================
    // User profiles
    std::array<juce::ValueTree, numUserProfiles> userProfileTrees;
    std::array<bool, numUserProfiles> userProfileStored {};
    std::array<juce::ValueTree, numUserProfiles> userProfileHitTrees;
    std::array<bool, numUserProfiles> userProfileHitStored {};
    std::array<juce::String, numUserProfiles> userProfileNames;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuorinProcessor)
};
