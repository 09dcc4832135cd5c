#include "ProgressBox.h"

#include "Color.h"
#include "ProgressBoxAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QtMath>

namespace kardelo {

namespace {
constexpr int RepaintIntervalMs = 16;

bool samePicture(const ProgressPicture& a, const ProgressPicture& b)
{
    return a.drawBar == b.drawBar && a.barWidth == b.barWidth && a.drawText == b.drawText &&
           a.text == b.text && a.textPosition == b.textPosition && a.whiteText == b.whiteText;
}
} // namespace

ProgressBox::ProgressBox(QWidget* parent) : QWidget(parent)
{
    installProgressBoxAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pendingRepaint.setSingleShot(true);
    connect(&m_pendingRepaint, &QTimer::timeout, this, [this] {
        m_sinceRepaint.restart();
        update();
    });
    m_sinceRepaint.start();
    render();
}

void ProgressBox::setBackColor(OleColor color)
{
    m_backColor = color;
    render();
    scheduleRepaint();
}

void ProgressBox::UpdateProgress(const ProgressRequest& request)
{
    // Called once per block inside the timed interval: a request whose percentage, caption and
    // box are those of the last one shows the same picture, so it costs no text measuring.
    const bool samePercent = (clampProgress(request) > 0) == (clampProgress(m_request) > 0) &&
                             progressPercent(request) == progressPercent(m_request) &&
                             request.caption == m_request.caption &&
                             request.showPercent == m_request.showPercent;
    if (samePercent && pictureFits() && !m_last.text.isNull())
        return;
    m_request = request;
    const QFontMetrics metrics(font());
    const ProgressPicture next = layoutProgress(request, size(), [&](const QString& text) {
        return QSize(metrics.horizontalAdvance(text), metrics.height());
    });
    // A request that changes nothing visible (most blocks of a long run) costs no drawing.
    if (samePicture(next, m_last) && pictureFits())
        return;
    const QString textBefore = shownText();
    const int percentBefore = shownPercent();
    m_last = next;
    render();
    scheduleRepaint();
    announce(textBefore, percentBefore);
}

void ProgressBox::announce(const QString& textBefore, int percentBefore)
{
    if (shownPercent() != percentBefore) {
        QAccessibleValueChangeEvent event(this, shownPercent());
        QAccessible::updateAccessibility(&event);
    }
    if (shownText() != textBefore) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

// The picture is made at the window's pixel ratio, so that its text is as sharp as the labels
// around it.
QSize ProgressBox::pictureSize() const
{
    const qreal ratio = devicePixelRatioF();
    const QSize logical = size().expandedTo(QSize(1, 1));
    return {qCeil(logical.width() * ratio), qCeil(logical.height() * ratio)};
}

bool ProgressBox::pictureFits() const
{
    return m_picture.size() == pictureSize() && m_picture.devicePixelRatio() == devicePixelRatioF();
}

void ProgressBox::render()
{
    if (!pictureFits()) {
        m_picture = QPixmap(pictureSize());
        m_picture.setDevicePixelRatio(devicePixelRatioF());
    }
    m_picture.fill(Color::translate(m_backColor, QApplication::palette()).value_or(Qt::gray));
    if (!m_last.drawBar)
        return;
    QPainter painter(&m_picture);
    painter.fillRect(QRect(0, 0, m_last.barWidth, height()), QColor(0, 128, 0));
    if (m_last.drawText) {
        painter.setPen(m_last.whiteText ? Qt::white : Qt::black);
        painter.drawText(QRect(m_last.textPosition, QSize(width(), height())),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_last.text);
    }
}

void ProgressBox::scheduleRepaint()
{
    if (m_sinceRepaint.elapsed() >= RepaintIntervalMs) {
        m_sinceRepaint.restart();
        update();
    } else if (!m_pendingRepaint.isActive()) {
        m_pendingRepaint.start(RepaintIntervalMs - static_cast<int>(m_sinceRepaint.elapsed()));
    }
}

void ProgressBox::paintEvent(QPaintEvent*)
{
    if (!pictureFits())
        render(); // the window went to a screen of another pixel ratio
    QPainter(this).drawPixmap(0, 0, m_picture);
}

void ProgressBox::resizeEvent(QResizeEvent*)
{
    UpdateProgress(m_request);
    render();
}

} // namespace kardelo
