#include "NcRunTime.h"

#include "NcGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

CNcRunTime::CNcRunTime(const CNcPath& path, double rapidSpeed, CNcProgress* progress)
    : m_path(path), m_rapidSpeed(rapidSpeed)
{
    const size_t count = path.segments.Size();
    if (progress)
        progress->total = count;
    m_checkpoints.reserve(count / kStride + 1);
    size_t change = 0;
    double feed = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i % kStride == 0) {
            if (progress) {
                progress->done = i;
                if (progress->cancel) {
                    m_complete = false;
                    return;
                }
            }
            m_checkpoints.push_back(m_total);
        }
        while (change < path.feeds.size() && path.feeds[change].segment <= i)
            feed = path.feeds[change++].feed;
        m_total += SegmentSeconds(i, feed);
    }
}

double CNcRunTime::SegmentSeconds(size_t segment, double feed) const
{
    const double speed = m_path.segments[segment].Motion() == NcMotion::Rapid ? m_rapidSpeed : feed;
    return speed > 0 ? SegmentLength(m_path, segment) * 60.0 / speed : 0.0;
}

double CNcRunTime::SecondsBefore(size_t segment) const
{
    if (segment >= m_path.segments.Size())
        return m_total;
    const size_t first = segment / kStride * kStride;
    double seconds = m_checkpoints[segment / kStride];
    double feed = m_path.FeedOf(first);
    auto next =
        std::upper_bound(m_path.feeds.begin(), m_path.feeds.end(), first,
                         [](size_t index, const CNcFeedChange& c) { return index < c.segment; });
    auto change = size_t(next - m_path.feeds.begin());
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
