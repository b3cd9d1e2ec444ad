#include "ToolpathModel.h"

#include "NcReader.h"

std::unique_ptr<CToolpathModel> CToolpathModel::Build(const char* data, uint64_t size,
                                                      const CNcReadOptions& options,
                                                      double rapidSpeed, CNcProgress& progress,
                                                      std::atomic<int>& stage)
{
    auto model = std::make_unique<CToolpathModel>();
    stage = 0;
    model->path = ReadNcProgram(data, size, options, &progress);
    stage = 1;
    model->extents = PathExtents(model->path);
    CNcPathRaster::DrawBoth(model->path, model->extents, model->top, model->side, &progress);
    if (progress.cancel)
        return nullptr;
    stage = 2;
    model->runTime.emplace(model->path, rapidSpeed);
    return model;
}
