#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>

namespace kardelo {

// One call of UpdateProgress.
struct ProgressRequest {
    std::int32_t value = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    QString caption;
    bool showPercent = true;

    bool operator==(const ProgressRequest&) const = default;
};

// What the progress picture box shows for one request: computed here, painted by the window
// and printed by the command line, so both show the same.
struct ProgressPicture {
    std::int32_t clampedValue = 0;
    std::int16_t percent = 0;
    bool drawBar = false; // false: the box is only cleared to its background
    int barWidth = 0;     // filled from the left edge, full height, dark green
    bool drawText = false;
    QString text;           // caption + percent + " %"
    QPoint textPosition;    // top left, centring the text in the box
    bool whiteText = false; // white once the bar reaches the text's left edge, else black
};

// Clamping and percentage alone; no geometry.
std::int32_t clampProgress(const ProgressRequest& request);
std::int16_t progressPercent(const ProgressRequest& request);
// The text the bar shows for a request, empty when it shows none.
QString progressText(const ProgressRequest& request);

// The whole picture for a box of the given inner size; measure gives a text's size in the
// box's font.
ProgressPicture layoutProgress(const ProgressRequest& request, QSize inner,
                               const std::function<QSize(const QString&)>& measure);

} // namespace kardelo
