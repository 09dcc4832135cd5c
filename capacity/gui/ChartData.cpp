#include "ChartData.h"

#include <algorithm>
#include <cmath>

namespace kardelo::capacity {

namespace {

std::uint8_t bitOf(UnitKind kind)
{
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
}

std::optional<UnitKind> shownKind(std::uint8_t bits)
{
    for (const UnitKind kind : {UnitKind::Corrupted, UnitKind::Overwritten, UnitKind::Empty})
        if (bits & bitOf(kind))
            return kind;
    return std::nullopt;
}

} // namespace

AxisScale niceScale(double maximum, int wantedSteps)
{
    if (!(maximum > 0) || !std::isfinite(maximum))
        maximum = 1;
    wantedSteps = std::max(wantedSteps, 1);
    const double raw = maximum / wantedSteps;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    const double step = (normal <= 1 ? 1 : normal <= 2 ? 2 : normal <= 5 ? 5 : 10) * magnitude;
    // A maximum that is a whole number of steps (up to rounding) is the top itself.
    return {std::ceil(maximum / step - 1e-9) * step, step};
}

void ChartData::clear(std::uint64_t extent)
{
    m_extent = extent;
    m_points.clear();
    m_writeTip.reset();
    m_readTip.reset();
    m_readUpTo = 0;
    m_bucketBytes = UnitSize;
    m_buckets.clear();
    fitBuckets(extent);
}

void ChartData::extendTo(std::uint64_t position)
{
    m_extent = std::max(m_extent, position);
}

void ChartData::setPoint(std::size_t index, const TracePoint& point)
{
    if (m_points.size() <= index)
        m_points.resize(index + 1);
    m_points[index] = point;
    extendTo(point.position + point.length);
}

void ChartData::setTip(CheckPhase phase, std::uint64_t position, double bytesPerSecond)
{
    m_writeTip.reset();
    m_readTip.reset();
    if (phase == CheckPhase::Writing)
        m_writeTip = Tip{position, bytesPerSecond};
    else if (phase == CheckPhase::Reading)
        m_readTip = Tip{position, bytesPerSecond};
    extendTo(position);
}

void ChartData::clearTips()
{
    m_writeTip.reset();
    m_readTip.reset();
}

void ChartData::setReadUpTo(std::uint64_t position)
{
    m_readUpTo = std::max(m_readUpTo, position);
    extendTo(position);
}

void ChartData::fitBuckets(std::uint64_t end)
{
    const auto needed = [&] { return (end + m_bucketBytes - 1) / m_bucketBytes; };
    while (needed() > MaxBuckets) {
        // Twice as coarse: each new bucket holds what two old ones found.
        std::vector<std::uint8_t> coarser((m_buckets.size() + 1) / 2, 0);
        for (std::size_t i = 0; i < m_buckets.size(); ++i)
            coarser[i / 2] |= m_buckets[i];
        m_buckets = std::move(coarser);
        m_bucketBytes *= 2;
    }
    if (m_buckets.size() < needed())
        m_buckets.resize(static_cast<std::size_t>(needed()), 0);
}

void ChartData::markRegion(const Region& region)
{
    if (region.length == 0 || region.kind == UnitKind::Intact)
        return;
    const std::uint64_t end = region.position + region.length;
    extendTo(end);
    fitBuckets(end);
    for (std::uint64_t bucket = region.position / m_bucketBytes;
         bucket <= (end - 1) / m_bucketBytes; ++bucket)
        m_buckets[static_cast<std::size_t>(bucket)] |= bitOf(region.kind);
}

std::vector<ChartData::Mark> ChartData::marks() const
{
    std::vector<Mark> found;
    for (std::size_t bucket = 0; bucket < m_buckets.size(); ++bucket) {
        const std::optional<UnitKind> kind = shownKind(m_buckets[bucket]);
        if (!kind)
            continue;
        const std::uint64_t start = bucket * m_bucketBytes;
        const std::uint64_t end = std::min<std::uint64_t>(start + m_bucketBytes, m_extent);
        if (end <= start)
            continue;
        if (!found.empty() && found.back().kind == *kind &&
            found.back().position + found.back().length == start)
            found.back().length += end - start;
        else
            found.push_back({start, end - start, *kind});
    }
    return found;
}

double ChartData::speedAxisMaximum() const
{
    std::vector<double> figures;
    for (const TracePoint& point : m_points)
        for (const auto& figure : {point.writeBytesPerSecond, point.readBytesPerSecond})
            if (figure)
                figures.push_back(*figure);
    for (const auto& tip : {m_writeTip, m_readTip})
        if (tip)
            figures.push_back(tip->bytesPerSecond);
    if (figures.empty())
        return 0;
    std::sort(figures.begin(), figures.end());
    const double highest = figures.back();
    if (figures.size() < RobustFrom)
        return highest;
    const double typicalHigh = figures[(figures.size() - 1) * 95 / 100];
    return std::min(highest, 2 * typicalHigh);
}

std::vector<QPointF> ChartData::line(CheckPhase phase) const
{
    const bool writing = phase == CheckPhase::Writing;
    const std::optional<Tip>& tip = writing ? m_writeTip : m_readTip;
    std::vector<QPointF> corners;
    double end = 0;
    double last = 0;
    for (const TracePoint& point : m_points) {
        const std::optional<double> value =
            writing ? point.writeBytesPerSecond : point.readBytesPerSecond;
        if (!value || point.length == 0)
            continue;
        const auto start = static_cast<double>(point.position);
        if (corners.empty())
            corners.emplace_back(start, *value);
        corners.emplace_back(start + static_cast<double>(point.length) / 2, *value);
        end = start + static_cast<double>(point.length);
        last = *value;
    }
    if (!corners.empty())
        corners.emplace_back(end, last);
    if (tip && static_cast<double>(tip->position) > end) {
        if (corners.empty())
            corners.emplace_back(end, tip->bytesPerSecond);
        corners.emplace_back(static_cast<double>(tip->position), tip->bytesPerSecond);
    }
    return corners;
}

} // namespace kardelo::capacity
