#include "processor/PluginProcessor.h"

#include <functional>

namespace
{
using P = Param;

// Every parameter, in the order the reset writes them. The order matters: "venue" comes after
// "loudness", so a venue change made by the reset moves loudness after its own reset.
constexpr Param resetOrder[] = {
    P::gate,
    P::smack,
    P::kickpunch,
    P::transientattack,
    P::transientsustain,
    P::transientband,
    P::transientsnap,
    P::transientceiling,
    P::transientsmooth,
    P::beast,
    P::sub,
    P::detail,
    P::loudness,
    P::width,
    P::air,
    P::smart,
    P::live,
    P::flavour,
    P::revdecay,
    P::revpredelay,
    P::revdamping,
    P::revlivedecay,
    P::revlivepredelay,
    P::revlivedamping,
    P::revlivelowcut,
    P::revlivehicut,
    P::revlivewidth,
    P::revflavourdecay,
    P::revflavourpredelay,
    P::revflavourdamping,
    P::revflavourlowcut,
    P::revflavourhicut,
    P::revflavourwidth,
    P::revducklive,
    P::revduckflavour,
    P::inputgain,
    P::autogain,
    P::wildcardmode,
    P::wildcardhybridfx,
    P::loudnessmeter,
    P::loudnessmatch,
    P::adaptivehit,
    P::adaptmix,
    P::eqon,
    P::dynamicson,
    P::saturationon,
    P::reverbon,
    P::widthon,
    P::limiteron,
    P::eqpct,
    P::dynpct,
    P::satpct,
    P::revpct,
    P::widpct,
    P::limpct,
    P::antipoppct,
    P::makeuppct,
    P::subharmpct,
    P::outputgain,
    P::revlowcut,
    P::eqlow,
    P::eqmid,
    P::eqhigh,
    P::lineareq,
    P::responseprofile,
    P::outputtarget,
    P::limiterceiling,
    P::lookahead,
    P::bypass,
    P::voicemode,
    P::mixmode,
    P::venue,
    P::mic,
    P::cupped,
    P::popfilter,
    P::antifeedback,
    P::fbfreq1,
    P::fbfreq2,
    P::fbfreq3,
    P::speaker,
    P::output,
    P::gateknobon,
    P::smackknobon,
    P::punchknobon,
    P::loudknobon,
    P::widthknobon,
    P::airknobon,
    P::smartknobon,
    P::liveknobon,
    P::flavourknobon,
    P::beastknobon,
    P::subknobon,
    P::detailknobon,
    P::chainmode,
};
static_assert (std::size (resetOrder) == numParameters, "the reset writes every parameter once");

// The Shure SM58 mix/master base shared by the four mix presets, in write order.
constexpr std::pair<Param, float> sm58Base[] = {
    { P::chainmode, 0.0f },
    { P::mic, 3.0f },
    { P::gate, 0.04f },
    { P::beast, 0.0f },
    { P::sub, 0.21f },
    { P::detail, 0.44f },
    { P::smart, 0.0f },
    { P::live, 0.0f },
    { P::adaptivehit, 0.0f },
    { P::reverbon, 1.0f },
    { P::antifeedback, 0.0f },
    { P::popfilter, 0.0f },
    { P::eqlow, -2.0f },
    { P::eqmid, 1.3f },
    { P::eqhigh, 1.4f },
    { P::outputgain, 0.0f },
    { P::output, 0.0f },
    { P::limiterceiling, -1.0f },
    { P::lineareq, 1.0f },
    { P::responseprofile, 1.0f },
    { P::mixmode, 0.0f },
    { P::venue, 1.0f },
    { P::revflavourdecay, 2.0f },
    { P::revflavourpredelay, 14.0f },
    { P::revflavourdamping, 7200.0f },
    { P::revflavourlowcut, 220.0f },
    { P::revflavourhicut, 19800.0f },
    { P::revflavourwidth, 0.55f },
    { P::revduckflavour, 0.28f },
    { P::gateknobon, 1.0f },
    { P::smartknobon, 0.0f },
    { P::liveknobon, 0.0f },
    { P::beastknobon, 0.0f },
    { P::flavourknobon, 1.0f },
    { P::smackknobon, 1.0f },
    { P::loudknobon, 1.0f },
    { P::widthknobon, 1.0f },
    { P::airknobon, 1.0f },
    { P::subknobon, 1.0f },
    { P::detailknobon, 1.0f },
    { P::punchknobon, 1.0f },
    { P::transientband, 160.0f },
    { P::transientsnap, 0.52f },
    { P::transientsmooth, 0.48f },
    { P::loudnessmatch, 1.0f },
    { P::loudnessmeter, 1.0f },
    { P::limiteron, 1.0f },
    { P::eqon, 1.0f },
    { P::dynamicson, 1.0f },
    { P::saturationon, 1.0f },
    { P::widthon, 1.0f },
    { P::limpct, 1.0f },
};

void applyMixMasterSm58Base (const std::function<void (const char*, float)>& set)
{
    for (const auto& [parameter, value] : sm58Base)
        set (parameterId (parameter), value);
}
} // namespace

void QuorinProcessor::writeParameter (const char* id, float realValue)
{
    if (auto* parameter = parameters.getParameter (id))
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (realValue));
}

void QuorinProcessor::writeParameters (ParameterValues values)
{
    for (const auto& [parameter, value] : values)
        writeParameter (parameterId (parameter), value);
}

void QuorinProcessor::resetToDefaults()
{
    for (const auto parameter : resetOrder)
        if (auto* p = parameters.getParameter (parameterId (parameter)))
            p->setValueNotifyingHost (p->getDefaultValue());
}

void QuorinProcessor::applyMixPreset (ParameterValues ownValues)
{
    applyMixMasterSm58Base ([this] (const char* id, float value) { writeParameter (id, value); });
    writeParameters (ownValues);
}

void QuorinProcessor::loadMixCleanPreset()
{
    resetToDefaults();
    applyMixCleanValues();
}

void QuorinProcessor::applyMixCleanValues()
{
    applyMixPreset ({ { P::smack, 0.26f },
                      { P::loudness, 0.24f },
                      { P::width, 0.0f },
                      { P::air, 0.32f },
                      { P::flavour, 0.20f },
                      { P::eqpct, 1.0f },
                      { P::dynpct, 0.50f },
                      { P::satpct, 0.15f },
                      { P::revpct, 0.44f },
                      { P::widpct, 0.60f },
                      { P::makeuppct, 0.75f },
                      { P::subharmpct, 0.10f },
                      { P::outputtarget, 2.0f },
                      { P::transientattack, 0.26f },
                      { P::transientsustain, 0.74f },
                      { P::transientceiling, 0.42f } });
}

void QuorinProcessor::loadMixYouTubePunchPreset()
{
    resetToDefaults();
    applyMixPreset ({ { P::smack, 0.34f },
                      { P::loudness, 0.30f },
                      { P::width, 0.0f },
                      { P::air, 0.36f },
                      { P::flavour, 0.18f },
                      { P::eqpct, 1.0f },
                      { P::dynpct, 0.52f },
                      { P::satpct, 0.18f },
                      { P::revpct, 0.40f },
                      { P::widpct, 0.55f },
                      { P::makeuppct, 0.78f },
                      { P::subharmpct, 0.12f },
                      { P::outputtarget, 2.0f },
                      { P::transientattack, 0.38f },
                      { P::transientsustain, 0.68f },
                      { P::transientceiling, 0.50f } });
}

void QuorinProcessor::loadMixStreamingSafePreset()
{
    resetToDefaults();
    applyMixPreset ({ { P::smack, 0.22f },
                      { P::loudness, 0.20f },
                      { P::width, 0.0f },
                      { P::air, 0.28f },
                      { P::flavour, 0.14f },
                      { P::eqpct, 1.0f },
                      { P::dynpct, 0.42f },
                      { P::satpct, 0.10f },
                      { P::revpct, 0.32f },
                      { P::widpct, 0.50f },
                      { P::makeuppct, 0.72f },
                      { P::subharmpct, 0.08f },
                      { P::outputtarget, 3.0f },
                      { P::limiterceiling, -1.2f },
                      { P::transientattack, 0.22f },
                      { P::transientsustain, 0.78f },
                      { P::transientceiling, 0.38f } });
}

void QuorinProcessor::loadMixMinimalPreset()
{
    resetToDefaults();
    applyMixPreset ({ { P::smack, 0.18f },       { P::loudness, 0.12f },      { P::width, 0.0f },
                      { P::air, 0.24f },         { P::flavour, 0.0f },        { P::eqpct, 1.0f },
                      { P::dynpct, 0.0f },       { P::satpct, 0.0f },         { P::revpct, 0.0f },
                      { P::widpct, 0.0f },       { P::makeuppct, 0.65f },     { P::subharmpct, 0.0f },
                      { P::outputtarget, 2.0f }, { P::dynamicson, 0.0f },     { P::saturationon, 0.0f },
                      { P::reverbon, 0.0f },     { P::widthon, 0.0f },        { P::flavourknobon, 0.0f },
                      { P::punchknobon, 0.0f },  { P::transientattack, 0.0f } });
}

void QuorinProcessor::loadBeatboxTightPreset()
{
    // Written from scratch, without the mix base. "venue" comes after "loudness", so the venue rule
    // leaves loudness at its "Stage" value.
    resetToDefaults();
    writeParameters ({
        { P::chainmode, 1.0f },
        { P::gate, 0.045f },
        { P::smack, 0.46f },
        { P::kickpunch, 0.58f },
        { P::transientattack, 0.60f },
        { P::transientsustain, 0.47f },
        { P::transientband, 148.0f },
        { P::transientsnap, 0.64f },
        { P::transientceiling, 0.68f },
        { P::transientsmooth, 0.32f },
        { P::beast, 0.24f },
        { P::sub, 0.43f },
        { P::detail, 0.62f },
        { P::loudness, 0.32f },
        { P::width, 0.22f },
        { P::air, 0.23f },
        { P::smart, 0.74f },
        { P::live, 0.035f },
        { P::flavour, 0.02f },
        { P::inputgain, -3.0f },
        { P::eqpct, 0.88f },
        { P::dynpct, 0.66f },
        { P::satpct, 0.26f },
        { P::revpct, 0.12f },
        { P::widpct, 0.55f },
        { P::limpct, 1.0f },
        { P::antipoppct, 0.78f },
        { P::makeuppct, 0.55f },
        { P::subharmpct, 0.16f },
        { P::eqlow, -1.4f },
        { P::eqmid, 1.5f },
        { P::eqhigh, 0.25f },
        { P::outputgain, -3.0f },
        { P::limiterceiling, -1.0f },
        { P::lookahead, 1.0f },
        { P::outputtarget, 1.0f },
        { P::responseprofile, 1.0f },
        { P::autogain, 0.0f },
        { P::adaptivehit, 1.0f },
        { P::adaptmix, 0.42f },
        { P::lineareq, 0.0f },
        { P::mixmode, 0.0f },
        { P::venue, 0.0f },
        { P::mic, 0.0f },
        { P::popfilter, 1.0f },
        { P::antifeedback, 1.0f },
        { P::speaker, 0.0f },
        { P::output, 1.0f },
        { P::revlivedecay, 1.05f },
        { P::revlivepredelay, 11.0f },
        { P::revlivedamping, 6800.0f },
        { P::revlivelowcut, 190.0f },
        { P::revlivehicut, 19700.0f },
        { P::revlivewidth, 0.52f },
        { P::revflavourdecay, 4.2f },
        { P::revflavourpredelay, 15.0f },
        { P::revflavourdamping, 8200.0f },
        { P::revflavourlowcut, 195.0f },
        { P::revflavourhicut, 19900.0f },
        { P::revflavourwidth, 0.72f },
        { P::revducklive, 1.0f },
        { P::revduckflavour, 1.0f },
    });
}
