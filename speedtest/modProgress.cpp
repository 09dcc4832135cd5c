#include "modProgress.h"

#include "Formats.h"

#include <cmath>

namespace kardelo {

std::int32_t clampProgress(const ProgressRequest& request)
{
    std::int32_t value = request.value;
    if (value < request.minimum)
        value = request.minimum;
    if (value > request.maximum)
        value = request.maximum;
    return value;
}

std::int16_t progressPercent(const ProgressRequest& request)
{
    if (request.maximum <= 0)
        return 100;
    // Taken against the maximum alone, not the span from minimum to maximum.
    const double exact =
        static_cast<double>(clampProgress(request)) / static_cast<double>(request.maximum) * 100.0;
    return static_cast<std::int16_t>(std::floor(exact + 0.5));
}

QString progressText(const ProgressRequest& request)
{
    if (!request.showPercent || clampProgress(request) <= 0)
        return {};
    return request.caption + QString::number(progressPercent(request)) + QStringLiteral(" %");
}

ProgressPicture layoutProgress(const ProgressRequest& request, QSize inner,
                               const std::function<QSize(const QString&)>& measure)
{
    ProgressPicture picture;
    picture.clampedValue = clampProgress(request);
    picture.percent = progressPercent(request);
    if (picture.clampedValue <= 0)
        return picture;

    picture.drawBar = true;
    picture.barWidth = static_cast<int>(
        formats::roundHalfEven(static_cast<double>(inner.width()) / 100.0 * picture.percent));
    if (!request.showPercent)
        return picture;

    picture.drawText = true;
    picture.text = progressText(request);
    const QSize textSize = measure(picture.text);
    picture.textPosition =
        QPoint((inner.width() - textSize.width()) / 2, (inner.height() - textSize.height()) / 2);
    picture.whiteText = picture.textPosition.x() <= picture.barWidth;
    return picture;
}

} // namespace kardelo
