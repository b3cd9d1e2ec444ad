#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcPathRaster.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#include <memory>
#include <optional>

// Everything the toolpath window shows of one program, built once per file: the path, its
// rasters from above and from the side, its extents and its run time.
struct CToolpathModel
{
    CNcPath path;
    CNcPathRaster top;
    CNcPathRaster side;
    CNcExtents extents;
    std::optional<CNcRunTime> runTime;

    // Reads and draws the program; the stages (0 read, 1 draw, 2 time) publish their progress in
    // `progress`. Returns nothing when progress->cancel was set.
    static std::unique_ptr<CToolpathModel> Build(const char* data, uint64_t size,
                                                 const CNcReadOptions& options, double rapidSpeed,
                                                 CNcProgress& progress, std::atomic<int>& stage);
};
