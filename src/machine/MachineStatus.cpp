#include "MachineStatus.h"

#include <cstring>

namespace {
template <typename T> T Load(const uint8_t* bytes, int offset)
{
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}
template <typename T> void Store(uint8_t* bytes, int offset, T value)
{
    std::memcpy(bytes + offset, &value, sizeof value);
}
} // namespace

MachineStatus MachineStatus::Decode(const uint8_t* bytes, int count)
{
    MachineStatus status;
    if (count < WordsSize)
        return status;
    status.stateWord = Load<uint32_t>(bytes, 0);
    status.eventWord = Load<uint32_t>(bytes, 4);
    if (count < Size)
        return status;
    for (int axis = 0; axis < 3; ++axis)
        status.position[static_cast<size_t>(axis)] = Load<int32_t>(bytes, 8 + 4 * axis);
    status.spindleSpeed = Load<int32_t>(bytes, 20);
    status.word24 = Load<int16_t>(bytes, 24);
    status.override = bytes[26];
    status.byte27 = bytes[27];
    status.byte28 = bytes[28];
    std::memcpy(status.tail.data(), bytes + 29, 3);
    return status;
}

void MachineStatus::Encode(uint8_t* bytes) const
{
    Store(bytes, 0, stateWord);
    Store(bytes, 4, eventWord);
    for (int axis = 0; axis < 3; ++axis)
        Store(bytes, 8 + 4 * axis, position[static_cast<size_t>(axis)]);
    Store(bytes, 20, spindleSpeed);
    Store(bytes, 24, word24);
    bytes[26] = override;
    bytes[27] = byte27;
    bytes[28] = byte28;
    std::memcpy(bytes + 29, tail.data(), 3);
}
