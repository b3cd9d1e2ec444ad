#pragma once

#include <array>
#include <cstdint>

using AxisTriple = std::array<int32_t, 3>; // X, Y, Z in micrometres

// State-word bits of the machine status record. Word 0 of the transaction status carries the
// same word, with the test-cut bits besides.
namespace StateBit {
constexpr uint32_t StateMask = 0x7;
constexpr uint32_t Paused = 0x20;
constexpr uint32_t CommandErrorPending = 0x40;
constexpr uint32_t LineReady = 0x80; // test-cut mode: ready for the next line
constexpr uint32_t LineBusy = 0x100; // test-cut mode: a line is being taken in or executed
constexpr uint32_t SkippingData = 0x200;
constexpr uint32_t Moving = 0x800;
constexpr uint32_t CloseRequest = 0x1000; // the machine asks the test cut to close
constexpr uint32_t SpindleRotating = 0x10000;
} // namespace StateBit

// Event-word bits.
namespace EventBit {
constexpr uint32_t OperationError = 0x10;
} // namespace EventBit

// Machine states: the low three bits of the state word.
namespace MachineState {
constexpr int Initialising0 = 0;
constexpr int Initialising1 = 1;
constexpr int Ready = 2;
constexpr int JobActive = 3;
constexpr int EmergencyStop = 4;
} // namespace MachineState

// The 32-byte record of control code 0x0100, decoded to host order.
struct MachineStatus
{
    static constexpr int Size = 32;
    static constexpr int WordsSize = 8;

    uint32_t stateWord = 0xFFFFFFFFu;
    uint32_t eventWord = 0xFFFFFFFFu;
    AxisTriple position{-1, -1, -1};
    int32_t spindleSpeed = 255;
    int16_t word24 = 255;
    uint8_t override = 255;
    uint8_t byte27 = 255;
    uint8_t byte28 = 255;
    std::array<uint8_t, 3> tail{255, 255, 255};

    // The manual cutting-speed override: steps of 10 within 10..200 percent.
    static constexpr int OverrideStep = 10;
    static constexpr int OverrideMin = 10;
    static constexpr int OverrideMax = 200;

    int State() const { return static_cast<int>(stateWord & StateBit::StateMask); }
    // The override one click of the speed arrows asks for: delta steps down from the override
    // this record reports, within 10..200. -1 when the record reports no override (a short read
    // leaves 255 there): stepping from that would raise the speed on a "down" click.
    int SteppedOverride(int delta) const;

    // Decodes a record already converted to host order. Fewer than 8 bytes: no status (both
    // words -1, everything else invalid); 8 to 31: the words only; 32: everything.
    static MachineStatus Decode(const uint8_t* bytes, int count);
    // The record's wire layout in host order (the inverse of Decode for a full record).
    void Encode(uint8_t* bytes) const;
};

// The 8-byte transaction status of control code 0x0001.
struct CommandStatus
{
    static constexpr uint32_t Error = 0x10;
    static constexpr uint32_t Executing = 0x20;
    static constexpr uint32_t NotAccepted = 0x40;

    uint32_t word0 = 0xFFFFFFFFu;
    uint32_t word1 = 0xFFFFFFFFu;

    bool IsValid() const { return word0 != 0xFFFFFFFFu; }
    int ReplyLength() const { return static_cast<int>(word1 >> 24); }
};

// The 6-byte settings block of commands 0x3106 / 0x3107, passed raw.
struct MachineSettings
{
    uint8_t byte0 = 0;
    uint8_t commandSet = 0; // 0 ZML-1, 1 NC code, 2 both
    uint8_t ncDecimalPoint = 0;
    uint8_t ncToolOffsetType = 0;
    uint8_t ncOptionalBlockSkip = 0;
    uint8_t byte5 = 0;
};
static_assert(sizeof(MachineSettings) == 6);

// The 16-byte spindle time record of commands 0x2407 / 0x2FFD.
struct SpindleTimeRecord
{
    int32_t word0 = 0;
    int32_t seconds = 0; // total rotation time
    int16_t word8 = 0;
    std::array<int16_t, 3> words10{};
};
