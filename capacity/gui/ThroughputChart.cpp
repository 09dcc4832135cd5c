#include "ThroughputChart.h"

#include "Formats.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace kardelo::capacity {

namespace {

constexpr int BandHeight = 10;
constexpr int BandGap = 5;
constexpr int Padding = 8;
// Beyond this the position axis counts in GByte.
constexpr double GByteAxisFrom = 10.0 * 1024 * 1024 * 1024;

int decimalsFor(double step)
{
    return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

QString tickText(double value, double step)
{
    return formats::userLocale().toString(value, 'f', decimalsFor(step));
}

} // namespace

ThroughputChart::ThroughputChart(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_data.clear(0);
}

ThroughputChart::XAxis ThroughputChart::xAxis() const
{
    const auto extent = static_cast<double>(m_data.extent());
    XAxis axis;
    axis.bytesPerUnit = extent >= GByteAxisFrom ? 1024.0 * BytesPerMByte : BytesPerMByte;
    axis.title = axis.bytesPerUnit > BytesPerMByte
                     ? QStringLiteral("Position auf dem Datenträger (GByte)")
                     : QStringLiteral("Position auf dem Datenträger (MByte)");
    axis.scale = niceScale(extent / axis.bytesPerUnit, 8);
    return axis;
}

AxisScale ThroughputChart::yAxis() const
{
    return niceScale(std::max(m_data.speedAxisMaximum() / BytesPerMByte * 1.05, 1.0), 5);
}

int ThroughputChart::leftMargin() const
{
    const AxisScale y = yAxis();
    return fontMetrics().horizontalAdvance(tickText(y.top, y.step)) + 2 * Padding;
}

QRect ThroughputChart::plotArea() const
{
    const QFontMetrics metrics = fontMetrics();
    const XAxis x = xAxis();
    const int right = metrics.horizontalAdvance(tickText(x.scale.top, x.scale.step)) / 2 + Padding;
    const int top = metrics.height() + 2 * Padding;
    const int bottom = BandGap + BandHeight + 4 + 2 * metrics.height() + Padding;
    const int left = leftMargin();
    return {left, top, std::max(width() - left - right, 1), std::max(height() - top - bottom, 1)};
}

QRect ThroughputChart::bandArea() const
{
    const QRect plot = plotArea();
    return {plot.left(), plot.bottom() + 1 + BandGap, plot.width(), BandHeight};
}

double ThroughputChart::xOf(double position) const
{
    const QRect plot = plotArea();
    const XAxis x = xAxis();
    return plot.left() + position / x.bytesPerUnit / x.scale.top * plot.width();
}

void ThroughputChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect plot = plotArea();
    const QRect band = bandArea();
    const XAxis x = xAxis();
    const AxisScale y = yAxis();
    const auto yOf = [&](double bytesPerSecond) {
        return plot.bottom() + 1 - bytesPerSecond / BytesPerMByte / y.top * plot.height();
    };

    // White whatever the desktop's colours, so its text and axes stay black.
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    // Grid and tick labels.
    const QColor grid(225, 225, 225);
    const int ySteps = static_cast<int>(std::lround(y.top / y.step));
    for (int i = 0; i <= ySteps; ++i) {
        const double value = i * y.step;
        const int at = static_cast<int>(std::lround(yOf(value * BytesPerMByte)));
        painter.setPen(grid);
        painter.drawLine(plot.left(), at, plot.right(), at);
        painter.setPen(QColor(Qt::black));
        const QRect label(0, at - metrics.height() / 2, plot.left() - Padding, metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, tickText(value, y.step));
    }
    const int xSteps = static_cast<int>(std::lround(x.scale.top / x.scale.step));
    const int labelTop = band.bottom() + 1 + 4;
    for (int i = 0; i <= xSteps; ++i) {
        const double value = i * x.scale.step;
        const int at =
            plot.left() + static_cast<int>(std::lround(value / x.scale.top * plot.width()));
        painter.setPen(grid);
        painter.drawLine(at, plot.top(), at, plot.bottom());
        painter.setPen(QColor(Qt::black));
        const QString text = tickText(value, x.scale.step);
        const int textWidth = metrics.horizontalAdvance(text);
        painter.drawText(QRect(at - textWidth / 2 - 1, labelTop, textWidth + 2, metrics.height()),
                         Qt::AlignCenter, text);
    }
    painter.drawText(
        QRect(plot.left(), labelTop + metrics.height(), plot.width(), metrics.height()),
        Qt::AlignCenter, x.title);

    // The band: unchecked, read back, and the damaged stretches over it.
    const auto bandStretch = [&](std::uint64_t from, std::uint64_t to, const QColor& colour) {
        const int left = static_cast<int>(std::floor(xOf(static_cast<double>(from))));
        const int right =
            std::max(static_cast<int>(std::ceil(xOf(static_cast<double>(to)))), left + 1);
        painter.fillRect(QRect(left, band.top(), right - left, band.height()), colour);
    };
    if (m_data.extent() > 0) {
        bandStretch(0, m_data.extent(), UncheckedColour);
        if (m_data.readUpTo() > 0)
            bandStretch(0, m_data.readUpTo(), IntactColour);
        for (const ChartData::Mark& mark : m_data.marks())
            bandStretch(mark.position, mark.position + mark.length,
                        mark.kind == UnitKind::Corrupted     ? CorruptedColour
                        : mark.kind == UnitKind::Overwritten ? OverwrittenColour
                                                             : EmptyColour);
    }

    // The two lines.
    painter.save();
    painter.setClipRect(plot.adjusted(0, -2, 1, 2));
    painter.setRenderHint(QPainter::Antialiasing);
    for (const CheckPhase phase : {CheckPhase::Writing, CheckPhase::Reading}) {
        const std::vector<QPointF> corners = m_data.line(phase);
        if (corners.empty())
            continue;
        QPolygonF polyline;
        for (const QPointF& corner : corners)
            polyline << QPointF(xOf(corner.x()), yOf(corner.y()));
        painter.setPen(QPen(phase == CheckPhase::Writing ? WriteColour : ReadColour, 2,
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(polyline);
    }
    painter.restore();

    // Axes.
    painter.setPen(QColor(Qt::black));
    painter.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    painter.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());

    // The unit of the speed axis on the left, the legend on the right.
    painter.drawText(QRect(Padding, Padding / 2, plot.left() + 200, metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MByte/s"));
    struct Entry {
        QString text;
        QColor colour;
        bool line;
    };
    const Entry legend[] = {
        {QStringLiteral("Schreiben"), WriteColour, true},
        {QStringLiteral("Lesen"), ReadColour, true},
        {QStringLiteral("unversehrt"), IntactColour, false},
        {QStringLiteral("beschädigt"), CorruptedColour, false},
        {QStringLiteral("überschrieben"), OverwrittenColour, false},
        {QStringLiteral("leer"), EmptyColour, false},
    };
    constexpr int Sample = 18;
    int legendWidth = 0;
    for (const Entry& entry : legend)
        legendWidth += Sample + 4 + metrics.horizontalAdvance(entry.text) + 12;
    int at = std::max(plot.left() + 80, width() - Padding - legendWidth + 12);
    const int middle = Padding / 2 + metrics.height() / 2;
    for (const Entry& entry : legend) {
        if (entry.line)
            painter.fillRect(QRect(at, middle - 1, Sample, 2), entry.colour);
        else
            painter.fillRect(QRect(at, middle - BandHeight / 2, Sample, BandHeight), entry.colour);
        at += Sample + 4;
        painter.setPen(QColor(Qt::black));
        const int textWidth = metrics.horizontalAdvance(entry.text);
        painter.drawText(QRect(at, Padding / 2, textWidth + 1, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, entry.text);
        at += textWidth + 12;
    }
}

} // namespace kardelo::capacity
