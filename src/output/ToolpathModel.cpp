#include "ToolpathModel.h"

#include "NcReader.h"

std::unique_ptr<CToolpathModel> CToolpathModel::Build(const char* data, uint64_t size,
                                                      const CNcReadOptions& options,
                                                      double rapidSpeed, CNcProgress& progress,
                                                      std::atomic<int>& stage,
                                                      const std::function<void(Stage)>& entering)
{
    // Each stage starts only when nobody has asked to give up; what was built so far goes
    // with the model.
    auto enter = [&](Stage next) {
        stage = next;
        progress.done = 0;
        if (entering)
            entering(next);
        return !progress.cancel;
    };
    auto model = std::make_unique<CToolpathModel>();
    if (!enter(Reading))
        return nullptr;
    model->path = ReadNcProgramParallel(data, size, options, &progress);
    if (!enter(Drawing))
        return nullptr;
    model->extents = PathExtents(model->path);
    if (progress.cancel)
        return nullptr;
    CNcPathRaster::DrawBoth(model->path, model->extents, model->top, model->side, &progress);
    if (!enter(Timing))
        return nullptr;
    model->runTime.emplace(model->path, rapidSpeed, &progress);
    if (progress.cancel)
        return nullptr;
    return model;
}
