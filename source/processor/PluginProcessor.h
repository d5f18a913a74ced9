#pragma once

#include "chain/BlockControls.h"
#include "chain/BlockLoudness.h"
#include "chain/DelayRing.h"
#include "chain/DrySnapshot.h"
#include "chain/InputAnalysis.h"
#include "chain/OversampledPath.h"
#include "chain/TruePeakGuard.h"
#include "chain/TruePeakMeter.h"
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
    friend struct QuorinProcessorProbe; // tests look at chain state through this

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

    // Preparation and release of each stage's own state (called by prepareToPlay / releaseResources).
    void prepareInputStage (const juce::dsp::ProcessSpec& spec);
    void prepareToneStage (const juce::dsp::ProcessSpec& spec);
    void releaseToneStage();
    void prepareSaturationStage (const juce::dsp::ProcessSpec& spec);
    void releaseSaturationStage();
    void prepareTransientShaper (const juce::dsp::ProcessSpec& spec);
    void releaseTransientShaper();
    void prepareDynamicsStage (const juce::dsp::ProcessSpec& spec);
    void releaseDynamicsStage();
    void prepareEnhancers (const juce::dsp::ProcessSpec& spec);
    void releaseEnhancers();
    void prepareWidthStage (const juce::dsp::ProcessSpec& spec);
    void releaseWidthStage();
    void prepareSpaceStage (const juce::dsp::ProcessSpec& spec);
    void prepareOutputStage (const juce::dsp::ProcessSpec& spec);
    void releaseOutputStage();
    void prepareInputCaptures();
    void releaseInputCaptures();

    // Input analysis captures
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
    void applyMixCleanValues();                       // Mix Clean without the reset (old saved states)

    // User profiles
    void emptyUserProfiles();

    // Input stage
    void runInputStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void updateCuppedAmount (const ChainBlock& block) noexcept;

    // Tone and EQ
    void designEq (const ChainBlock& block);
    /** Returns the energy Σ 0.5·(L² + R²) of its input: the auto-gain's reference, with or without the EQ. */
    double runEqPass (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runLinearPhaseEq (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    // Saturation, transient shaper, dynamics
    void runSaturationStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runTransientShaper (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void designGlueCompressor (const ChainBlock& block);
    void runMultibandDynamics (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runGlueCompressor (juce::AudioBuffer<float>& buffer, const ChainBlock& block, bool multibandRan);

    // Enhancers
    void runAirExciter (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void applyBodyMakeup (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runSubHarmonics (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runKickSub (juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    // Width and space
    void runWidthStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    DuckingLevels measureDuckingLevel (const juce::AudioBuffer<float>& buffer, const ChainBlock& block) const noexcept;
    void runSpaceStage (juce::AudioBuffer<float>& buffer, const ChainBlock& block, float duckLevel);

    // Output
    void runAutoGain (juce::AudioBuffer<float>& buffer, const ChainBlock& block, double inputEnergy, double outputEnergy);
    void runMeteringAndAssist (const juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void applyOutputGains (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runListeningSimulator (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void runFinalLowPass (juce::AudioBuffer<float>& buffer);
    void runCeiling (juce::AudioBuffer<float>& buffer, const ChainBlock& block);
    void matchDryToCeilingOversampling (const juce::AudioBuffer<float>& block) noexcept;
    void runTruePeakGuard (juce::AudioBuffer<float>& buffer, const ChainBlock& block) noexcept;
    void runOutputMeters (const juce::AudioBuffer<float>& buffer, const ChainBlock& block);

    //==============================================================================
    std::array<std::atomic<float>*, numParameters> rawParameterValues {};
    std::array<int, numParameters> choiceCounts {}; // 0 for parameters that are not choices

    //==============================================================================
    // Input stage and tone
    float cuppedAmount = 0.0f;    // smoothed cupped-mic correction, 0..1
    float deEsserEnvelope = 0.0f; // also ducks the air exciter
    juce::dsp::StateVariableTPTFilter<float> antiPopFilter;
    juce::dsp::NoiseGate<float> inputGate;
    // Raw high-pass, raw presence, raw air shelf, user low shelf, user mid bell, user high shelf; each
    // left then right, the two channels sharing one coefficient set that is redesigned in place.
    std::array<juce::dsp::IIR::Filter<float>, 12> toneFilters;
    DelayRing linearPhaseDryRing; // the EQ pass output, delayed to line up with the linear-phase FIR
    bool linearPhaseRingPrimed = false;
    DelayRing bypassInputRing; // the repaired input, so that bypass keeps the latency in force

    //==============================================================================
    // Saturation, transient shaper and dynamics
    void runBeastDrive (juce::AudioBuffer<float>& buffer, float drive) noexcept;
    void matchBeastDryPhase (juce::dsp::AudioBlock<float> dry, float amount) noexcept;

    std::array<juce::dsp::IIR::Filter<float>, 2> saturationBandFilters;
    OversampledPath beastPath;
    // The same round trip without the drive, so that the dry blends in phase with the driven signal.
    OversampledPath beastDryPath;
    // While the Beast drive does not run, the signal waits as long as its round trip would take, so
    // that switching it never changes the latency.
    DelayRing beastLatencyPad;
    int beastPadLength = 0;
    juce::AudioBuffer<float> beastDryScratch; // one chunk of the dry as it was before the round trip

    std::array<juce::dsp::IIR::Filter<float>, 2> transientBandFilters;
    std::array<float, 2> transientFast {}, transientSlow {}, transientGainDb {};
    float transientBandHz = -1000.0f; // band of the current design; -1000 forces a redesign

    juce::dsp::Compressor<float> glueCompressor;

    //==============================================================================
    // Enhancers
    std::array<juce::dsp::IIR::Filter<float>, 2> airHighPass;
    std::array<float, 2> airPower {};   // smoothed power of the air band
    std::array<float, 2> subLowPass {}; // one-pole states of the sub harmonics
    float subLowPassCoef = 0.0f;
    double kickSubPhase = 0.0; // radians
    float kickSubEnv = 0.0f;

    //==============================================================================
    // Width, space and output
    std::array<juce::dsp::LinkwitzRileyFilter<float>, 2> widthCrossover;  // left, right at 540 Hz
    std::array<juce::dsp::FirstOrderTPTFilter<float>, 2> widthAllpass;    // 2920 Hz, 6550 Hz
    float sideLowPass = 0.0f;
    float sideLowPassCoef = 0.0f;
    float widthGuardGain = 1.0f;   // the correlation guard's factor, as the last block left it
    float widthFadeApplied = 1.0f; // the module fade, as the last block left it

    float autoGain = 1.0f;
    float autoGainInLevel = 0.08f;
    float autoGainOutLevel = 0.08f;
    float loudnessAssistDb = 0.0f;
    std::atomic<float> assistLoudnessLufs { -70.0f }; // the assist's own loudness reading
    BlockLoudness assistBlockLoudness;                // its slow short-term term
    BlockLoudness outputBlockLoudness;                // the output's, behind blockLoudnessDb

    std::array<juce::dsp::FirstOrderTPTFilter<float>, 2> listeningFilters;
    std::array<juce::dsp::FirstOrderTPTFilter<float>, 2> finalLowPass;
    OversampledPath limiterPath;
    // Runs the dry through the same oversampling round trip (without the clipper), so that the
    // limpct blend does not comb against the oversampling filters' phase.
    OversampledPath ceilingDryPath;
    bool ceilingDryRunning = false;
    TruePeakGuard truePeakGuard;
    TruePeakMeter truePeakMeter;

    //==============================================================================
    DrySnapshot drySnapshot;

    std::unique_ptr<AnalogEqEngine> analogEq;
    std::unique_ptr<ModernReverb> liveReverb;
    std::unique_ptr<ModernReverb> flavourReverb;
    std::unique_ptr<MultibandDynamics> multibandDynamics;
    std::unique_ptr<LoudnessAnalyzer> loudnessAnalyzer;       // where the assist listens
    std::unique_ptr<AdaptiveHitEngine> adaptiveHitEngine;
    std::unique_ptr<LinearPhaseEqEngine> linearPhaseEq;
    std::unique_ptr<LoudnessAnalyzer> outputLoudnessAnalyzer; // the output, for the meters

    double currentSampleRate = 44100.0;
    int preparedBlockSize = 0;               // 0 until prepareToPlay and after releaseResources
    int reportedLatency = -1;                // the latency in force on the audio thread
    std::atomic<int> fixedLatency { 0 };     // the part of it that no parameter changes

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
