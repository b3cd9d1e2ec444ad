#pragma once

#include "NcPath.h"

#include <string>
#include <vector>

// Rapid speed of the machine when the panel has no setting for it, mm per minute.
constexpr double kDefaultRapidSpeed = 1200.0;

// Run time of a path at 100 % override: feed moves and arcs at their F, rapid moves at the
// machine's rapid speed. A feed move without any F counts as no time (the reader has said the
// program lacks it). Cumulative times are kept every kStride segments, so that the time left
// from any line costs at most kStride segment lengths and the table stays small. With a progress
// object, the segments timed are counted and a cancel request ends the count early; the estimate
// is then incomplete and Complete() says so.
class CNcRunTime
{
public:
    static constexpr size_t kStride = 1024;

    explicit CNcRunTime(const CNcPath& path, double rapidSpeed = kDefaultRapidSpeed,
                        CNcProgress* progress = nullptr);

    double TotalSeconds() const { return m_total; }
    bool Complete() const { return m_complete; }
    // Seconds from the beginning of `line` to the end of the program.
    double RemainingFromLine(uint32_t line) const;
    // Seconds from the beginning of the program to the point at `fraction` (0..1) of `segment`:
    // the share of the run time done when the tool is there.
    double SecondsAt(size_t segment, double fraction) const;

private:
    double SegmentSeconds(size_t segment, double feed) const;
    double SecondsBefore(size_t segment) const;
    // The index in the path's feed changes of the first change after `segment`: timing from
    // there on starts with FeedOf(segment) and takes the changes from this index.
    size_t FeedChangeAfter(size_t segment) const;

    const CNcPath& m_path;
    double m_rapidSpeed;
    std::vector<double> m_checkpoints; // seconds before segment k * kStride
    double m_total = 0;
    bool m_complete = true;
};

// A duration as hours, minutes and seconds, "h:mm:ss", rounded to the nearest second; a
// negative one shows as 0:00:00.
std::string FormatDuration(double seconds);
