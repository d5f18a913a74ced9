#pragma once

/** How each microphone model colours the tone curve; index = the "mic" choice. */
struct MicrophoneVoicing
{
    float presenceDb;       // P: added to the presence bell
    float airDb;            // A: added to the air shelf
    float lowMidDb;         // M: base of the 400 Hz bell
    float highPassOffsetHz; // H: added to the high-pass corner
    float lowOffset;        // L: body added to the low bell and the makeup gain
};

/** The voicing of a microphone index, clamped to the table. */
const MicrophoneVoicing& microphoneVoicing (int index) noexcept;
