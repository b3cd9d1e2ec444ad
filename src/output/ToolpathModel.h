#pragma once

#include "CutDataFile.h"
#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcPathRaster.h"
#include "NcRunTime.h"
#include "NcTravel.h"

#include <functional>
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

    enum Stage
    {
        Reading = 0, // on every processor
        Drawing = 1, // the extents, then both views
        Timing = 2,  // the run time
        StageCount = 3,
    };

    // Reads and draws the program; each stage publishes its progress in `progress`, and
    // `entering` hears of each stage as it begins. Returns nothing when progress.cancel is set
    // at any time before the model is complete.
    // The file's image is only read, and its line index tells where the reader's pieces begin.
    static std::unique_ptr<CToolpathModel> Build(const CCutDataFile& file,
                                                 const CNcReadOptions& options, double rapidSpeed,
                                                 CNcProgress& progress, std::atomic<int>& stage,
                                                 const std::function<void(Stage)>& entering = {});
};
