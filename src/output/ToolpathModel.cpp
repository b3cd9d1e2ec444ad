#include "ToolpathModel.h"

#include "NcReader.h"

std::unique_ptr<CToolpathModel> CToolpathModel::Build(const CCutDataFile& file,
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
    // The image's index ends lines as the reader does: each piece's first line is looked up
    // there rather than counted.
    CNcParallelRead how;
    how.lines = uint64_t(file.LineCount());
    how.lineStart = [&file](uint64_t line) { return uint64_t(file.LineStart(int64_t(line))); };
    const char* data = file.LineCount() > 0 ? file.LineText(0).data() : "";
    model->path = ReadNcProgramParallel(data, uint64_t(file.GetLength()), options, &progress, how);
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
