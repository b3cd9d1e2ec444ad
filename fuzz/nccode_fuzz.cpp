// The NC-code test of the preview with arbitrary bytes: it agrees with the rule that the first
// line not beginning with CR, LF or NUL decides, by '%' or '('.
#include "CutDataFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    CCutDataFile file;
    if (!file.LoadFromMemory("fuzz.nc", data))
        return 0;
    bool expected = false;
    for (int64_t i = 0; i < file.LineCount(); ++i) {
        const char first = file.LineText(i)[0];
        if (first != '\r' && first != '\n' && first != '\0') {
            expected = first == '%' || first == '(';
            break;
        }
    }
    if (file.IsNcCode() != expected)
        std::abort();
    return 0;
}
