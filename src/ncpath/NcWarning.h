#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class NcWarningKind : uint8_t
{
    UnknownCode,     // a G code the reader does not interpret; the line moves nothing
    UnknownWord,     // a letter or character that is no word of NC code; the line moves nothing
    BadNumber,       // a word without a number
    UnclosedComment, // "(" without ")" before the end of the line
    NoMotionMode,    // axis words with no G0..G3 in force (after G80, a canned cycle, or none)
    ArcRadius,       // R smaller than half the distance, or R on a full circle; drawn straight
    ArcEndOffCircle, // the end of a centre-form arc is not on its circle
    NotShown,        // understood but not drawn: cutter compensation, rotary axes
    OutOfRange,      // a position beyond what the machine can hold; the line moves nothing
    EndOfData,       // a NUL byte: nothing after it is read
    TooManyLines,    // more lines than a path can hold: the rest is not read
};

// A warning carries the word it is about (cut to fit) so that it needs no allocation.
struct CNcWarning
{
    uint64_t line = 0; // line index, 0 for the first line
    NcWarningKind kind = NcWarningKind::UnknownCode;
    char word[15] = {};
};

// "Line 12: unknown code G38" (line numbers from 1, as the text views show them).
std::string FormatNcWarning(const CNcWarning& warning);

// The first warnings of a program and the count of all: a program with a warning on each of a
// hundred million lines must not build a hundred million messages.
class CNcWarningList
{
public:
    static constexpr size_t kKept = 1000;

    void Add(const CNcWarning& warning);
    // Whether the warnings of `other` from its `first` on can be added as if one by one: false
    // when other no longer keeps one that this list would keep.
    bool CanAppend(const CNcWarningList& other, uint64_t first) const;
    void Append(const CNcWarningList& other, uint64_t first);
    const std::vector<CNcWarning>& Kept() const { return m_kept; }
    uint64_t Count() const { return m_count; }
    bool Empty() const { return m_count == 0; }

private:
    std::vector<CNcWarning> m_kept;
    uint64_t m_count = 0;
};
