#include "chain/MicrophoneVoicing.h"

#include <algorithm>
#include <array>

const MicrophoneVoicing& microphoneVoicing (int index) noexcept
{
    static constexpr std::array<MicrophoneVoicing, 15> table { {
        { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f },     // Flat
        { 1.6f, 2.2f, -0.4f, 0.0f, 0.1f },    // Shure SM7B
        { -1.4f, -0.6f, 0.0f, 6.0f, 0.05f },  // AKG D5
        { 0.8f, -0.8f, 0.3f, 8.0f, 0.04f },   // Shure SM58
        { 1.2f, 0.6f, -0.5f, 10.0f, 0.06f },  // Shure PGA58
        { 0.6f, 0.4f, -0.2f, 6.0f, 0.07f },   // Sennheiser e835
        { -0.4f, -1.6f, 0.0f, 0.0f, 0.0f },   // DPA 2028
        { 0.3f, -1.0f, -0.1f, 0.0f, 0.0f },   // DPA d:facto
        { 0.9f, 0.7f, -0.3f, 5.0f, 0.06f },   // sE V7
        { 1.4f, 1.0f, -0.4f, 7.0f, 0.05f },   // Shure Beta 58
        { -0.8f, -1.4f, 0.1f, 12.0f, 0.03f }, // Audix OM7
        { 1.8f, 2.4f, -0.7f, 2.0f, 0.02f },   // Shure KSM 9
        { 0.5f, 0.8f, -0.3f, 8.0f, 0.05f },   // Sennheiser e945
        { -0.2f, -0.5f, 0.1f, 10.0f, 0.06f }, // Mackie EM-89D
        { -0.9f, -0.9f, 0.2f, 12.0f, 0.04f }, // AKG D7
    } };
    return table[static_cast<size_t> (std::clamp (index, 0, static_cast<int> (table.size()) - 1))];
}
