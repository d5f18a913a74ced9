#pragma once

/** The live tone curve of one block, as both EQ engines take it: a high-pass, a 96 Hz bell, a 400 Hz
    bell, a presence bell and an air shelf. */
struct ToneCurve
{
    float hpfHz = 0.0f;
    float lowGainDb = 0.0f;    // 96 Hz bell
    float lowMidGainDb = 0.0f; // 400 Hz bell
    float presenceHz = 0.0f;
    float presenceGainDb = 0.0f;
    float airHz = 0.0f;
    float airGainDb = 0.0f;
};
