#include "processor/PluginProcessor.h"

#include "chain/SpaceStage.h"
#include "editor/PluginEditor.h"

#include "engines/AdaptiveHitEngine.h"
#include "engines/AnalogEqEngine.h"
#include "engines/LinearPhaseEqEngine.h"
#include "engines/LoudnessAnalyzer.h"
#include "engines/ModernReverb.h"
#include "engines/MultibandDynamics.h"

namespace
{
// The parameters that decide whether the linear-phase EQ runs, and so the latency.
constexpr Param latencyParameters[] { Param::eqon, Param::lineareq, Param::chainmode, Param::wildcardmode,
                                      Param::wildcardhybridfx };
} // namespace

QuorinProcessor::QuorinProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier ("PARAMS"), createParameterLayout()),
      analogEq (std::make_unique<AnalogEqEngine>()), liveReverb (std::make_unique<ModernReverb> (space::liveRoomScale)),
      flavourReverb (std::make_unique<ModernReverb> (space::flavourRoomScale)),
      multibandDynamics (std::make_unique<MultibandDynamics>()),
      loudnessAnalyzer (std::make_unique<LoudnessAnalyzer>()),
      adaptiveHitEngine (std::make_unique<AdaptiveHitEngine>()),
      linearPhaseEq (std::make_unique<LinearPhaseEqEngine>()),
      outputLoudnessAnalyzer (std::make_unique<LoudnessAnalyzer>())
{
    for (int i = 0; i < numParameters; ++i)
    {
        const auto* id = parameterId (static_cast<Param> (i));
        rawParameterValues[static_cast<size_t> (i)] = parameters.getRawParameterValue (id);

        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameters.getParameter (id)))
            choiceCounts[static_cast<size_t> (i)] = choice->choices.size();
    }

    parameters.addParameterListener (parameterId (Param::venue), this);
    for (auto p : latencyParameters)
        parameters.addParameterListener (parameterId (p), this);
    emptyUserProfiles();

    // The listener is already registered, so the preset's venue write also moves loudness; the
    // preset writes loudness itself afterwards.
    loadMixCleanPreset();
}

QuorinProcessor::~QuorinProcessor()
{
    cancelPendingUpdate();
    for (auto p : latencyParameters)
        parameters.removeParameterListener (parameterId (p), this);
    parameters.removeParameterListener (parameterId (Param::venue), this);
}

const juce::String QuorinProcessor::getName() const { return "Vantora v3"; }

double QuorinProcessor::getTailLengthSeconds() const { return 0.0; }
bool QuorinProcessor::acceptsMidi() const { return false; }
bool QuorinProcessor::producesMidi() const { return false; }

juce::AudioProcessorEditor* QuorinProcessor::createEditor() { return new QuorinProcessorEditor (*this); }

bool QuorinProcessor::hasEditor() const { return true; }

int QuorinProcessor::getNumPrograms() { return 1; }
int QuorinProcessor::getCurrentProgram() { return 0; }
void QuorinProcessor::setCurrentProgram (int) {}

// Hosts publish this as a factory program, and a program without a name fails plug-in validation.
const juce::String QuorinProcessor::getProgramName (int) { return "Default"; }

void QuorinProcessor::changeProgramName (int, const juce::String&) {}

bool QuorinProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output =
        layouts.outputBuses.isEmpty() ? juce::AudioChannelSet::disabled() : layouts.getMainOutputChannelSet();
    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;

    if (! layouts.inputBuses.isEmpty())
    {
        const auto inputSet = layouts.getMainInputChannelSet();
        if (inputSet != juce::AudioChannelSet::mono() && inputSet != juce::AudioChannelSet::stereo()
            && inputSet != juce::AudioChannelSet::disabled())
            return false;
    }

    return true;
}

// The host's bypass is our own: one Bypass control, which keeps the reported latency in force.
juce::AudioProcessorParameter* QuorinProcessor::getBypassParameter() const
{
    return parameters.getParameter (parameterId (Param::bypass));
}

void QuorinProcessor::parameterChanged (const juce::String& parameterID, float newValue)
{
    if (parameterID != parameterId (Param::venue))
    {
        // Automation may arrive on the audio thread; the host hears of the latency on the message thread.
        if (juce::MessageManager::existsAndIsCurrentThread())
            publishLatency();
        else
            triggerAsyncUpdate();
        return;
    }

    // "Home" sits the macro higher than "Stage"; loudness is a 0..1 parameter, so these are real values.
    const bool home = juce::roundToInt (newValue) > 0;
    if (auto* loudness = parameters.getParameter (parameterId (Param::loudness)))
        loudness->setValueNotifyingHost (home ? 0.28f : 0.09f);
}

juce::String QuorinProcessor::getAdaptiveHitLabel() const
{
    switch (adaptiveHitClass.load())
    {
        case 1:
            return "Kick";
        case 2:
            return "Snare";
        case 3:
            return "Hi-hat";
        case 4:
            return "Inward K";
        default:
            return "None";
    }
}

void QuorinProcessor::requestAdaptiveHitLearn (int hitClass)
{
    adaptiveHitEngine->learnRequest.store (juce::jlimit (1, 3, hitClass));
}

void QuorinProcessor::clearAdaptiveHitLearnedModel() { adaptiveHitEngine->clearRequest.store (true); }

int QuorinProcessor::getAdaptiveHitLearningClass() const { return adaptiveHitEngine->learningClass.load(); }

float QuorinProcessor::getAdaptiveHitLearningProgress() const { return adaptiveHitEngine->learningProgress.load(); }

int QuorinProcessor::getAdaptiveHitLearnedMask() const { return adaptiveHitEngine->learnedMask.load(); }

int QuorinProcessor::getAdaptiveHitLearningHits() const { return adaptiveHitEngine->learningHits.load(); }

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new QuorinProcessor(); }
