#include "NcRunTime.h"

#include "NcGeometry.h"
#include "NcThreads.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

CNcRunTime::CNcRunTime(const CNcPath& path, double rapidSpeed, CNcProgress* progress)
    : m_path(path), m_rapidSpeed(rapidSpeed)
{
    const size_t count = path.segments.Size();
    if (progress) {
        progress->done = 0;
        progress->total = count;
    }
    const size_t strides = (count + kStride - 1) / kStride;
    m_checkpoints.assign(strides, 0.0);
    // A long path is cut into runs of whole strides, each timed from zero on a thread of its
    // own; the time of the runs before is added to a run's checkpoints afterwards. A short one
    // is one run, summed in order.
    const size_t runs = count >= kSplitSegments ? NcThreadCount() : 1;
    std::vector<double> totals(runs, 0.0);
    std::atomic<bool> cancelled{false};
    auto firstStride = [&](size_t run) { return strides * run / runs; };
    RunOnThreads(unsigned(runs), runs, [&](size_t run) {
        const size_t first = firstStride(run) * kStride;
        const size_t last = std::min(count, firstStride(run + 1) * kStride);
        double feed = path.FeedOf(first);
        size_t change = FeedChangeAfter(first);
        double seconds = 0;
        path.segments.VisitRuns(
            first, last, [&](size_t index, const CNcSegment* begin, const CNcSegment* end) {
                if (cancelled)
                    return;
                for (size_t i = index; i < index + size_t(end - begin); ++i) {
                    if (i % kStride == 0) {
                        if (cancelled || (progress && progress->cancel)) {
                            cancelled = true;
                            return;
                        }
                        if (progress && i > first)
                            progress->done.fetch_add(kStride, std::memory_order_relaxed);
                        m_checkpoints[i / kStride] = seconds;
                    }
                    while (change < path.feeds.size() && path.feeds[change].segment <= i)
                        feed = path.feeds[change++].feed;
                    seconds += SegmentSeconds(i, feed);
                }
            });
        totals[run] = seconds;
    });
    for (size_t run = 0; run < runs; ++run) {
        for (size_t k = firstStride(run); k < firstStride(run + 1); ++k)
            m_checkpoints[k] += m_total;
        m_total += totals[run];
    }
    m_complete = !cancelled;
    if (progress && m_complete)
        progress->done = count;
}

double CNcRunTime::SegmentSeconds(size_t segment, double feed) const
{
    const double speed = m_path.segments[segment].Motion() == NcMotion::Rapid ? m_rapidSpeed : feed;
    return speed > 0 ? SegmentLength(m_path, segment) * 60.0 / speed : 0.0;
}

size_t CNcRunTime::FeedChangeAfter(size_t segment) const
{
    return size_t(
        std::upper_bound(m_path.feeds.begin(), m_path.feeds.end(), segment,
                         [](size_t index, const CNcFeedChange& c) { return index < c.segment; }) -
        m_path.feeds.begin());
}

double CNcRunTime::SecondsBefore(size_t segment) const
{
    if (segment >= m_path.segments.Size())
        return m_total;
    const size_t first = segment / kStride * kStride;
    double seconds = m_checkpoints[segment / kStride];
    double feed = m_path.FeedOf(first);
    size_t change = FeedChangeAfter(first);
    for (size_t i = first; i < segment; ++i) {
        while (change < m_path.feeds.size() && m_path.feeds[change].segment <= i)
            feed = m_path.feeds[change++].feed;
        seconds += SegmentSeconds(i, feed);
    }
    return seconds;
}

double CNcRunTime::RemainingFromLine(uint32_t line) const
{
    return m_total - SecondsBefore(m_path.FirstSegmentFromLine(line));
}

double CNcRunTime::SecondsAt(size_t segment, double fraction) const
{
    if (segment >= m_path.segments.Size())
        return m_total;
    return SecondsBefore(segment) +
           std::clamp(fraction, 0.0, 1.0) * SegmentSeconds(segment, m_path.FeedOf(segment));
}

std::string FormatDuration(double seconds)
{
    const long long total = seconds > 0 ? std::llround(seconds) : 0;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}
