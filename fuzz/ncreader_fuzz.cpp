// The NC program reader with arbitrary programs and options, followed by what the views do with
// its result: extents, the travel check and the run-time estimate for any line.
#include "NcReader.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    CNcReadOptions options;
    options.blockSkip = (data[0] & 1) != 0;
    options.decimalMode = NcDecimalMode((data[0] >> 1) & 3);
    const CNcPath path = ReadNcProgram(reinterpret_cast<const char*>(data + 1), size - 1, options);
    (void)PathExtents(path);
    CNcOrigins origins;
    origins.systems[1] = NcPoint{1000, -1000, 0};
    const CNcExtents extents = MachineExtents(path, origins);
    (void)CheckTravel(extents, NcPoint{-100000, -100000, -50000}, NcPoint{100000, 100000, 0});
    const CNcRunTime runTime(path);
    (void)runTime.TotalSeconds();
    for (uint32_t line : {0u, 1u, uint32_t(size / 2), uint32_t(size), CNcSegment::kMaxLine})
        (void)runTime.RemainingFromLine(line);
    return 0;
}
