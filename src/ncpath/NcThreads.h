#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

// Threads for the whole-program passes: one per processor unless the caller says otherwise.
inline unsigned NcThreadCount(unsigned wanted = 0)
{
    return wanted ? wanted : std::max(1u, std::thread::hardware_concurrency());
}

// Runs `work(index)` for every index below `count` on up to `threads` threads, the calling
// one among them; returns when all are done.
template <typename Work> void RunOnThreads(unsigned threads, size_t count, const Work& work)
{
    std::atomic<size_t> next{0};
    auto loop = [&] {
        for (size_t i; (i = next.fetch_add(1)) < count;)
            work(i);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads && t < count; ++t)
        helpers.emplace_back(loop);
    loop();
    for (std::thread& helper : helpers)
        helper.join();
}

// Segments a pass over a path splits among threads only from this many on: below it, starting
// threads costs more than it saves.
constexpr size_t kSplitSegments = size_t(1) << 20;
