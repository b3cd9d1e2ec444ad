#pragma once

#include <cstddef>

// Whether cutting data is NC code, decided by its first bytes: line breaks (CR, LF) are
// skipped, and the first other byte decides: "%" or "(" is NC code, anything else is not. A NUL
// there is no NC code either (a file's lines end at its first NUL). The panel, the output and
// the simulated machine all decide by this one rule, so that the travel check, the test cut and
// the machine never disagree about a file.
enum class NcCodeVerdict
{
    No,
    Yes,
    Undecided
};

// Undecided when the bytes hold line breaks only: the bytes that follow decide.
inline NcCodeVerdict TestNcCode(const char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' || data[i] == '\n')
            continue;
        return data[i] == '%' || data[i] == '(' ? NcCodeVerdict::Yes : NcCodeVerdict::No;
    }
    return NcCodeVerdict::Undecided;
}

// The whole data: line breaks only (or nothing) is no NC code.
inline bool IsNcCode(const char* data, size_t size)
{
    return TestNcCode(data, size) == NcCodeVerdict::Yes;
}
