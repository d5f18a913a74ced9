// The host's block split changes nothing: the reverb, the multiband dynamics, the analog EQ (through
// the tone stage's EQ pass), the linear-phase EQ and the oversampled path each run one signal in
// blocks of 1, 13, 64, 512 and 4096 samples. The first four give the same samples bit for bit; the
// oversampling filters sum in an order that follows the block length, so theirs agree to float
// rounding, far below anything audible.
#include "StageDriving.h"
#include "chain/OversampledPath.h"
#include "engines/AnalogEqEngine.h"
#include "engines/LinearPhaseEqEngine.h"
#include "engines/ModernReverb.h"
#include "engines/MultibandDynamics.h"

namespace
{
constexpr double rate = 48000.0;
constexpr juce::uint32 maxBlock = 4096;
constexpr int length = 10000;

/** Noise under a loud low tone: enough level for every compressor, clipper and tail to act. */
juce::AudioBuffer<float> testSignal()
{
    auto signal = test::whiteNoise (2, length, 0.2f, 11);
    const auto tone = test::sine (2, length, 90.0, rate, 0.9f);
    for (int ch = 0; ch < 2; ++ch)
        signal.addFrom (ch, 0, tone, ch, 0, length);
    return signal;
}

/** One way of processing a block in place, with whatever state it keeps between blocks. */
using BlockProcess = std::function<void (juce::AudioBuffer<float>&)>;

struct SplitCase
{
    const char* name;
    std::function<BlockProcess()> make; // a freshly prepared processing for each split
    float tolerance = 0.0f;             // the largest difference allowed from the 4096-sample run
};

void PrintTo (const SplitCase& c, std::ostream* os) { *os << c.name; }

juce::AudioBuffer<float> runSplit (const SplitCase& c, int blockSize)
{
    auto signal = testSignal();
    auto process = c.make();
    test::processInBlocks (signal, blockSize, process);
    return signal;
}

const SplitCase splitCases[] {
    { "reverb",
      []
      {
          auto reverb = std::make_shared<ModernReverb> (1.56f);
          reverb->prepare ({ rate, maxBlock, 2 });
          reverb->setVoicing (ModernReverb::flavourVoicing());
          reverb->reset();
          return BlockProcess (
              [reverb] (juce::AudioBuffer<float>& b)
              {
                  reverb->setParameters ({ 2.4f, 14.0f, 7200.0f, 220.0f, 12000.0f });
                  juce::dsp::AudioBlock<float> block (b);
                  reverb->process (block, 0.4f, 0.7f);
              });
      } },
    { "multiband",
      []
      {
          auto multiband = std::make_shared<MultibandDynamics>();
          multiband->prepare ({ rate, maxBlock, 2 });
          return BlockProcess (
              [multiband] (juce::AudioBuffer<float>& b)
              {
                  multiband->setParameters ({ 0.8f, 0.6f, 0.5f, 0.4f, 0.5f, 0.6f, 0.3f, false, true, 1, false });
                  multiband->process (b);
              });
      } },
    { "analog_eq",
      []
      {
          // "Live Performance" with the linear-phase switch off: the minimum-phase analog EQ runs.
          auto processor = std::shared_ptr<QuorinProcessor> (test::preparedWith ({ { Param::chainmode, 1.0f },
                                                                                   { Param::lineareq, 0.0f },
                                                                                   { Param::eqon, 1.0f },
                                                                                   { Param::eqlow, -4.0f },
                                                                                   { Param::eqmid, 3.0f },
                                                                                   { Param::eqhigh, 5.0f },
                                                                                   { Param::eqpct, 0.7f },
                                                                                   { Param::antifeedback, 1.0f } },
                                                                                 2, rate, int (maxBlock)));
          auto tone = std::make_shared<test::PreparedStage<ToneEqStage>> (rate, int (maxBlock));
          auto analogEq = std::make_shared<AnalogEqEngine>();
          analogEq->prepare ({ rate, 512, 2 });
          return BlockProcess (
              [processor, tone, analogEq] (juce::AudioBuffer<float>& b)
              {
                  const auto block = processor->restingBlock (b.getNumSamples());
                  tone->design (block, *analogEq);
                  tone->runEqPass (b, block, 0.0f, *analogEq);
              });
      } },
    { "linear_phase_eq",
      []
      {
          auto processor = test::preparedWith (
              { { Param::chainmode, 0.0f }, { Param::eqlow, -4.0f }, { Param::eqmid, 3.0f }, { Param::eqhigh, 5.0f } },
              2, rate, int (maxBlock));
          auto engine = std::make_shared<LinearPhaseEqEngine>();
          engine->prepare ({ rate, maxBlock, 2 });
          engine->rebuildNow (ToneEqStage::linearPhaseDesignFor (processor->restingBlock (int (maxBlock))), {});
          return BlockProcess ([engine] (juce::AudioBuffer<float>& b)
                               { engine->process (juce::dsp::AudioBlock<float> (b)); });
      } },
    { "oversampled_path",
      []
      {
          auto path = std::make_shared<OversampledPath>();
          path->prepare (int (maxBlock));
          return BlockProcess (
              [path] (juce::AudioBuffer<float>& b)
              {
                  path->process (juce::dsp::AudioBlock<float> (b),
                                 [] (juce::dsp::AudioBlock<float>& up) noexcept
                                 {
                                     for (size_t ch = 0; ch < up.getNumChannels(); ++ch)
                                         for (size_t i = 0; i < up.getNumSamples(); ++i)
                                             up.getChannelPointer (ch)[i] =
                                                 std::tanh (2.0f * up.getChannelPointer (ch)[i]);
                                 });
              });
      },
      1.0e-6f },
};

class BlockSplit : public testing::TestWithParam<SplitCase>
{
};
} // namespace

TEST_P (BlockSplit, EverySplitGivesTheSameSamples)
{
    const auto reference = runSplit (GetParam(), int (maxBlock));
    ASSERT_GT (test::rms (reference, 0), 0.01);
    for (const int blockSize : { 1, 13, 64, 512 })
    {
        const auto split = runSplit (GetParam(), blockSize);
        float largest = 0.0f;
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < length; ++i)
                largest = std::max (largest, std::abs (split.getSample (ch, i) - reference.getSample (ch, i)));
        EXPECT_LE (largest, GetParam().tolerance) << "blocks of " << blockSize;
    }
}

INSTANTIATE_TEST_SUITE_P (EnginesAndPaths, BlockSplit, testing::ValuesIn (splitCases),
                          [] (const auto& c) { return std::string (c.param.name); });
