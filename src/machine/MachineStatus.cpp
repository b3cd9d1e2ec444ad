#include "MachineStatus.h"

#include "RawBytes.h"

#include <algorithm>
#include <cstring>

MachineStatus MachineStatus::Decode(const uint8_t* bytes, int count)
{
    MachineStatus status;
    if (count < WordsSize)
        return status;
    status.stateWord = LoadRaw<uint32_t>(bytes + 0);
    status.eventWord = LoadRaw<uint32_t>(bytes + 4);
    if (count < Size)
        return status;
    for (int axis = 0; axis < 3; ++axis)
        status.position[static_cast<size_t>(axis)] = LoadRaw<int32_t>(bytes + 8 + 4 * axis);
    status.spindleSpeed = LoadRaw<int32_t>(bytes + 20);
    status.word24 = LoadRaw<int16_t>(bytes + 24);
    status.override = bytes[26];
    status.byte27 = bytes[27];
    status.byte28 = bytes[28];
    std::memcpy(status.tail.data(), bytes + 29, 3);
    return status;
}

void MachineStatus::Encode(uint8_t* bytes) const
{
    StoreRaw(bytes + 0, stateWord);
    StoreRaw(bytes + 4, eventWord);
    for (int axis = 0; axis < 3; ++axis)
        StoreRaw(bytes + 8 + 4 * axis, position[static_cast<size_t>(axis)]);
    StoreRaw(bytes + 20, spindleSpeed);
    StoreRaw(bytes + 24, word24);
    bytes[26] = override;
    bytes[27] = byte27;
    bytes[28] = byte28;
    std::memcpy(bytes + 29, tail.data(), 3);
}

int MachineStatus::SteppedOverride(int delta) const
{
    const int reported = override;
    if (reported < OverrideMin || reported > OverrideMax)
        return -1;
    return std::clamp(reported - OverrideStep * delta, OverrideMin, OverrideMax);
}
