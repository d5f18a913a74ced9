#include "chain/MacroMapping.h"
#include "engines/AdaptiveHitEngine.h"
#include "processor/PluginProcessor.h"

namespace
{
float clamp01 (float v) noexcept { return juce::jlimit (0.0f, 1.0f, v); }

/** Two power segments that meet at the knee k, both with exponent e. */
float kneeCurve (float v, float knee, float exponent) noexcept
{
    const float upper = 1.0f - knee;
    return v <= knee ? knee * std::pow (v / knee, exponent) : knee + upper * std::pow ((v - knee) / upper, exponent);
}

struct ProfileCurve
{
    float scale, exponent;
};

enum ProfiledMacro
{
    profiledSmack,
    profiledSub,
    profiledDetail,
    profiledLoud,
    profiledAir
};

// Rows "Subtle", "Balanced", "Aggressive"; columns Smack, Sub, Detail, Loud, Air.
constexpr ProfileCurve profileCurves[3][5] = {
    { { 0.88f, 1.24f }, { 0.9f, 1.26f }, { 0.9f, 1.22f }, { 0.88f, 1.22f }, { 0.88f, 1.24f } },
    { { 1.18f, 0.94f }, { 1.18f, 0.96f }, { 1.18f, 0.92f }, { 1.16f, 0.94f }, { 1.18f, 0.94f } },
    { { 1.52f, 0.74f }, { 1.56f, 0.74f }, { 1.5f, 0.7f }, { 1.42f, 0.74f }, { 1.54f, 0.72f } },
};

float profiled (float v, int profile, ProfiledMacro macro) noexcept
{
    if (v <= 0.0f)
        return 0.0f;
    const auto curve = profileCurves[juce::jlimit (0, 2, profile)][macro];
    return clamp01 (curve.scale * std::pow (v, curve.exponent));
}

float punchDriveFrom (float punchCurve, float composite) noexcept
{
    const float u = macro::logCurve (composite);
    const float fastKnob = clamp01 (1.16f * std::pow (std::pow (u, 0.54f), 0.82f));
    return clamp01 (1.38f * (0.28f * punchCurve + 0.72f * fastKnob) + 0.078f);
}

MorphOffsets morphTargets (const HitResult& hit, float adaptCurve) noexcept
{
    if (hit.hitConfidence <= 0.01f)
        return {};

    const float a = hit.hitConfidence * adaptCurve;
    switch (hit.hitClass)
    {
        case 1:
        {
            const float k = a * hit.kickMatch;
            return { 0.24f * k, -0.04f * k, 0.0f, 0.0f, 0.1f * k };
        }
        case 2:
            return { 0.0f, 0.2f * a, 0.25f * a, 0.0f, 0.05f * a };
        case 3:
            return { -0.1f * a, 0.16f * a, 0.0f, 0.28f * a, 0.0f };
        case 4:
            return { 0.0f, 0.32f * a, 0.1f * a, 0.11f * a, 0.0f };
        default:
            return {};
    }
}
} // namespace

namespace macro
{
float logCurve (float v) noexcept { return clamp01 (std::log10 (1.0f + 9.0f * clamp01 (v))); }

float knob (float v) noexcept { return clamp01 (1.16f * std::pow (logCurve (v), 0.82f)); }

float knob (float v, bool on) noexcept { return on ? knob (v) : 0.0f; }
} // namespace macro

BlockControls shapeMacroControls (const ParameterSnapshot& params, bool isLive, const HitResult& hit,
                                  const MorphOffsets& offsets) noexcept
{
    using P = Param;
    const int profile = params.index (P::responseprofile);
    BlockControls c;

    c.gateAmt = macro::knob (params[P::gate], params.on (P::gateknobon));

    c.punchOn = params.on (P::punchknobon);
    c.attack = c.punchOn ? params[P::transientattack] : 0.0f;
    c.sustain = c.punchOn ? params[P::transientsustain] : 1.0f;
    const float composite = c.punchOn ? 0.38f * (1.0f - c.sustain) + 0.62f * c.attack : 0.0f;
    c.punchCurve = kneeCurve (macro::knob (composite), 0.791453f, 0.56f);
    c.punchDrive = punchDriveFrom (c.punchCurve, composite);

    const float b = macro::knob (params[P::beast], params.on (P::beastknobon));
    c.beastAmt = clamp01 (1.38f * b + (b > 0.001f ? 0.035f : 0.0f));

    const float w = macro::knob (params[P::width], params.on (P::widthknobon));
    c.widthAmt = w > 0.001f ? clamp01 ((1.0f - w) * 0.055f + 1.32f * w) : clamp01 (1.32f * w);

    const float smack = profiled (macro::knob (params[P::smack], params.on (P::smackknobon)), profile, profiledSmack);
    const float sub = profiled (macro::knob (params[P::sub], params.on (P::subknobon)), profile, profiledSub);
    const float detail =
        profiled (macro::knob (params[P::detail], params.on (P::detailknobon)), profile, profiledDetail);
    const float loud = profiled (macro::knob (params[P::loudness], params.on (P::loudknobon)), profile, profiledLoud);
    const float airKnob = macro::knob (params[P::air], params.on (P::airknobon));
    const float air = profiled (kneeCurve (airKnob, 0.7297096f, 0.58f), profile, profiledAir);

    const float smackMode = isLive ? clamp01 (1.22f * smack + 0.06f) : clamp01 (1.02f * smack);
    const float airMode = isLive ? clamp01 (1.26f * air + 0.07f) : clamp01 (1.08f * air + 0.03f);

    c.smartAmt = macro::knob (params[P::smart], params.on (P::smartknobon));
    c.smartEff = isLive ? c.smartAmt : 0.0f;

    c.subAmt = clamp01 (sub + offsets.sub);
    c.detailAmt = clamp01 (detail + offsets.detail);
    c.smackAmt = clamp01 (smackMode + offsets.smack);
    c.airAmt = clamp01 (airMode + offsets.air);
    c.airShelfHz = 7950.0f + 3400.0f * c.airAmt;
    c.loudAmt = clamp01 (loud + offsets.loud);

    c.liveAmt = params.on (P::liveknobon) ? macro::logCurve (params[P::live]) : 0.0f;
    c.flavourAmt = params.on (P::flavourknobon) ? macro::logCurve (params[P::flavour]) : 0.0f;
    c.flavourRaw = params.on (P::flavourknobon) ? params[P::flavour] : 0.0f;
    c.adaptCurve = macro::logCurve (params[P::adaptmix]);
    c.hit = hit;

    c.revDecayScale = juce::jlimit (0.78f, 1.22f, params[P::revdecay] / 2.1f);
    c.revDampingScale = juce::jlimit (0.82f, 1.18f, params[P::revdamping] / 6800.0f);
    c.revLowCutScale = juce::jlimit (0.72f, 1.28f, params[P::revlowcut] / 95.0f);
    c.liveWidthShaped = std::pow (params.proportion (P::revlivewidth), 0.88f);
    c.flavourWidthShaped = std::pow (params.proportion (P::revflavourwidth), 0.88f);
    return c;
}

MorphOffsets advanceMorphOffsets (const MorphOffsets& offsets, bool morphing, const HitResult& hit,
                                  float adaptCurve) noexcept
{
    const auto target = morphing ? morphTargets (hit, adaptCurve) : MorphOffsets {};
    const float k = morphing ? 0.22f : 0.08f;
    const auto move = [k] (float from, float to) { return from + (to - from) * k; };
    return { move (offsets.sub, target.sub), move (offsets.detail, target.detail), move (offsets.smack, target.smack),
             move (offsets.air, target.air), move (offsets.loud, target.loud) };
}

BlockControls QuorinProcessor::mapMacroControls (const ParameterSnapshot& params, const BlockFlags& flags,
                                                 const juce::AudioBuffer<float>& buffer)
{
    // In "Live Performance" the engine runs every block, morphing or not: learning and the
    // editor's hit lamp depend on it.
    const auto hit = flags.isLive ? adaptiveHitEngine->process (buffer) : HitResult {};
    adaptiveHitClass.store (hit.hitClass);
    adaptiveHitConfidence.store (hit.hitConfidence);

    const bool morphing = flags.isLive && params.on (Param::adaptivehit);
    morphOffsets = advanceMorphOffsets (morphOffsets, morphing, hit, macro::logCurve (params[Param::adaptmix]));
    return shapeMacroControls (params, flags.isLive, hit, morphOffsets);
}
