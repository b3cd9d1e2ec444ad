// A cutting-data file loaded from arbitrary bytes: its line index agrees with a plain scan of
// the data, and line text and length stay inside the data for any index, valid or not.
#include "CutDataFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The line count by a plain scan: a line ends after every LF and after every CR that no LF
// follows, up to the first NUL; the last line is what follows the last terminator (it may be
// empty). Empty data has no lines.
int64_t CountLines(std::string_view data)
{
    if (data.empty())
        return 0;
    const size_t nul = data.find('\0');
    const std::string_view indexed = data.substr(0, nul);
    int64_t lines = 1;
    for (size_t i = 0; i < indexed.size(); ++i) {
        if (indexed[i] == '\n' ||
            (indexed[i] == '\r' && (i + 1 >= data.size() || data[i + 1] != '\n')))
            ++lines;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    CCutDataFile file;
    if (!file.LoadFromMemory("fuzz.nc", data))
        return 0;
    const int64_t count = file.LineCount();
    if (file.GetLength() != int64_t(size) || count != CountLines(data))
        std::abort();
    const char* begin = nullptr;
    int64_t total = 0;
    for (int64_t i = 0; i < count; ++i) {
        const std::string_view line = file.LineText(i);
        if (int64_t(line.size()) != file.LineLength(i) || (line.empty() && i + 1 < count))
            std::abort();
        if (i == 0)
            begin = line.data();
        else if (!line.empty() && line.data() != begin + total)
            std::abort(); // lines follow each other without gaps
        if (std::memcmp(line.data(), data.data() + total, line.size()) != 0)
            std::abort();
        total += int64_t(line.size());
    }
    if (total != int64_t(size))
        std::abort(); // the lines cover the whole data
    for (const int64_t index : {int64_t(-1), count, count + 1, int64_t(INT64_MAX), INT64_MIN}) {
        if (!file.LineText(index).empty() || file.LineLength(index) != -1 ||
            file.LineStart(index) != -1)
            std::abort();
    }
    (void)file.IsNcCode();
    return 0;
}
