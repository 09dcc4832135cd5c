#pragma once

#include "ChartData.h"

#include <QColor>
#include <QWidget>

namespace kardelo::capacity {

// The medium's speed along its whole length: MByte/s over the position, writing and reading
// as two lines, and beneath the position axis a band that shows how far reading got and where
// units came back corrupted, overwritten or empty. Drawn with QPainter in the widget's own
// coordinates, so it is as sharp as the text around it at any device pixel ratio. It paints
// only when asked (update()); its window asks at most about ten times a second.
class ThroughputChart : public QWidget {
    Q_OBJECT

public:
    static inline const QColor WriteColour{215, 100, 0};
    static inline const QColor ReadColour{0, 80, 200};
    static inline const QColor IntactColour{0, 160, 0};
    static inline const QColor CorruptedColour{200, 0, 0};
    static inline const QColor OverwrittenColour{150, 0, 170};
    static inline const QColor EmptyColour{210, 170, 0};
    static inline const QColor UncheckedColour{222, 222, 222};

    explicit ThroughputChart(QWidget* parent = nullptr);

    ChartData& data() { return m_data; }
    const ChartData& data() const { return m_data; }

    // Where the plot and the band beneath it lie, in the widget's coordinates.
    QRect plotArea() const;
    QRect bandArea() const;
    // The x coordinate of a position on the medium.
    double xOf(double position) const;

    QSize sizeHint() const override { return {720, 280}; }
    QSize minimumSizeHint() const override { return {460, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct XAxis {
        double bytesPerUnit = 1;
        AxisScale scale;
        QString title;
    };
    XAxis xAxis() const;
    AxisScale yAxis() const;
    int leftMargin() const;

    ChartData m_data;
};

} // namespace kardelo::capacity
