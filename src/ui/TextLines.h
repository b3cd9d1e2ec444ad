#pragma once

#include <cstdint>
#include <string_view>

// Read access to a text held as numbered lines, for the controls that show it (the text view).
// The holder of the text (a cutting-data file in memory) implements it; the controls never own
// the text.
class CTextLines
{
public:
    virtual ~CTextLines() = default;

    virtual int64_t LineCount() const = 0;
    // The line's bytes, its terminator included; empty for an index beyond the last line.
    virtual std::string_view LineText(int64_t index) const = 0;
    // Whether the text changed under its holder since it was taken in (another program rewrote
    // the file it came from): its lines may then mix old and new contents, and the view says so.
    virtual bool Changed() const { return false; }
};
