#pragma once

#include "CheckReport.h"

#include <QPointF>
#include <cstdint>
#include <optional>
#include <vector>

namespace kardelo::capacity {

// An axis from 0 to `top` in steps of `step`, both 1, 2 or 5 times a power of ten.
struct AxisScale {
    double top = 1;
    double step = 1;
};
// The smallest such axis that holds `maximum` in about `wantedSteps` steps.
AxisScale niceScale(double maximum, int wantedSteps);

// What the throughput chart shows, kept apart from its painting: the trace of both phases, how
// far the running phase got at what speed, how far reading got, and where units came back
// damaged. Positions are bytes on the check's scale.
class ChartData {
public:
    // However many regions a failing medium reports, they are kept at this resolution along the
    // medium, finer than any screen shows.
    static constexpr std::size_t MaxBuckets = 4096;
    // Below this many figures every one of them fits on the speed axis.
    static constexpr std::size_t RobustFrom = 20;

    struct Tip {
        std::uint64_t position = 0;
        double bytesPerSecond = 0;
    };
    struct Mark {
        std::uint64_t position = 0;
        std::uint64_t length = 0;
        UnitKind kind = UnitKind::Corrupted;
        friend bool operator==(const Mark&, const Mark&) = default;
    };

    // Empty, for a check that covers `extent` bytes.
    void clear(std::uint64_t extent);
    // A check that goes beyond what it set out to cover widens the scale.
    void extendTo(std::uint64_t position);
    void setPoint(std::size_t index, const TracePoint& point);
    // Where the running phase is and how fast it goes now; any other phase has no tip.
    void setTip(CheckPhase phase, std::uint64_t position, double bytesPerSecond);
    void clearTips();
    // Reading has come back up to here.
    void setReadUpTo(std::uint64_t position);
    void markRegion(const Region& region);

    std::uint64_t extent() const { return m_extent; }
    const std::vector<TracePoint>& points() const { return m_points; }
    std::uint64_t readUpTo() const { return m_readUpTo; }
    // The damaged stretches, joined where neighbouring ones are of a kind; where kinds meet in
    // one bucket, corrupted shows before overwritten before empty.
    std::vector<Mark> marks() const;
    // The speed the axis has to hold: the highest figure, unless fewer than one in twenty are
    // more than twice as fast as the rest (a burst answered from a cache), which would flatten
    // everything else into the bottom of the chart; those then run off its top.
    double speedAxisMaximum() const;
    // One phase's line as (position, bytes per second) corners: flat across the first and
    // last stretch, through the middle of each stretch between, on to the running phase's tip.
    std::vector<QPointF> line(CheckPhase phase) const;

private:
    void fitBuckets(std::uint64_t end);

    std::uint64_t m_extent = 0;
    std::vector<TracePoint> m_points;
    std::optional<Tip> m_writeTip;
    std::optional<Tip> m_readTip;
    std::uint64_t m_readUpTo = 0;
    std::uint64_t m_bucketBytes = UnitSize;
    std::vector<std::uint8_t> m_buckets; // one bit per kind found in the bucket
};

} // namespace kardelo::capacity
