#pragma once

#include <cstdint>
#include <cstring>

// A multi-byte value at any alignment in a byte buffer, in host order. Records that cross the
// wire and the simulator's shared block are read and written only through these; the byte
// order of the machine is the command layer's business.
template <typename T> T LoadRaw(const uint8_t* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <typename T> void StoreRaw(uint8_t* bytes, T value)
{
    std::memcpy(bytes, &value, sizeof value);
}
