#include "NcPathCache.h"

#include "CutDataFile.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace {

// A handful of entries: one per toolpath window open at the same time is the most there is.
constexpr size_t kMaxEntries = 8;

struct Entry
{
    std::weak_ptr<const void> image;
    const void* imageKey = nullptr; // the image's address, valid while `image` has not expired
    CNcReadOptions options;
    std::weak_ptr<const CNcPath> path;
};

bool SameOptions(const CNcReadOptions& a, const CNcReadOptions& b)
{
    return a.blockSkip == b.blockSkip && a.decimalMode == b.decimalMode && a.start == b.start;
}

std::mutex g_mutex;
std::vector<Entry> g_entries;
std::atomic<int64_t> g_hits{0};

void DropExpired()
{
    std::erase_if(g_entries,
                  [](const Entry& entry) { return entry.image.expired() || entry.path.expired(); });
}

} // namespace

namespace NcPathCache {

std::shared_ptr<const CNcPath> Find(const CCutDataFile& file, const CNcReadOptions& options)
{
    if (file.Changed())
        return nullptr;
    const std::shared_ptr<const void> image = file.ImageIdentity().lock();
    if (!image)
        return nullptr;
    std::lock_guard lock(g_mutex);
    DropExpired();
    for (const Entry& entry : g_entries) {
        if (entry.imageKey != image.get() || !SameOptions(entry.options, options))
            continue;
        if (auto path = entry.path.lock()) {
            ++g_hits;
            return path;
        }
    }
    return nullptr;
}

void Keep(const CCutDataFile& file, const CNcReadOptions& options,
          const std::shared_ptr<const CNcPath>& path)
{
    const std::shared_ptr<const void> image = file.ImageIdentity().lock();
    if (!image || !path || file.Changed())
        return;
    std::lock_guard lock(g_mutex);
    DropExpired();
    std::erase_if(g_entries, [&](const Entry& entry) {
        return entry.imageKey == image.get() && SameOptions(entry.options, options);
    });
    if (g_entries.size() >= kMaxEntries)
        g_entries.erase(g_entries.begin());
    g_entries.push_back({image, image.get(), options, path});
}

int64_t Hits()
{
    return g_hits.load();
}

} // namespace NcPathCache
