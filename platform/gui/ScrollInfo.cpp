#include "ScrollInfo.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <cstdint>

namespace kardelo {
namespace {

// Raised while the binding itself changes the bar, whose signals then tell of no user action.
class WriteGuard {
public:
    explicit WriteGuard(bool& writing) : m_writing(writing), m_previous(writing)
    {
        m_writing = true;
    }
    ~WriteGuard() { m_writing = m_previous; }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

private:
    bool& m_writing;
    bool m_previous;
};

std::optional<std::int32_t> requestCode(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
        return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
        return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
        return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum:
        return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
        return SB_BOTTOM;
    default:
        // SliderMove: the thumb's drag reports through sliderMoved; a wheel on the bar has been
        // sent as WM_MOUSEWHEEL already.
        return std::nullopt;
    }
}

std::optional<std::uint32_t> nonClientButtonDown(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return WM_NCLBUTTONDOWN;
    case Qt::RightButton:
        return WM_NCRBUTTONDOWN;
    case Qt::MiddleButton:
        return WM_NCMBUTTONDOWN;
    default:
        return std::nullopt;
    }
}

// One bar of a scroll area, taken over for its window. Child of the bar.
class ScrollBarBinding final : public QObject {
    Q_OBJECT

public:
    ScrollBarBinding(QScrollBar* bar, WindowHandle window, int kind)
        : QObject(bar), m_bar(bar), m_window(window),
          m_scrollMessage(kind == SB_HORZ ? WM_HSCROLL : WM_VSCROLL),
          m_hitTest(kind == SB_HORZ ? HTHSCROLL : HTVSCROLL), m_min(bar->minimum()),
          m_max(bar->maximum())
    {
        // The bar's own menu sets its value directly ("Scroll here"), past the window.
        bar->setContextMenuPolicy(Qt::PreventContextMenu);
        bar->installEventFilter(this);
        connect(bar, &QAbstractSlider::actionTriggered, this, &ScrollBarBinding::userAction);
        connect(bar, &QAbstractSlider::sliderPressed, this, &ScrollBarBinding::thumbPressed);
        connect(bar, &QAbstractSlider::sliderMoved, this, &ScrollBarBinding::thumbMoved);
        connect(bar, &QAbstractSlider::sliderReleased, this, &ScrollBarBinding::thumbReleased);
    }

    int set(const ScrollInfo& info, unsigned mask)
    {
        if (mask & SIF_RANGE) {
            m_min = info.min;
            m_max = info.max;
        }
        if (mask & SIF_PAGE)
            m_page = info.page;
        const std::int64_t rangeSize = std::int64_t{m_max} - m_min + 1;
        m_page = static_cast<int>(
            std::clamp<std::int64_t>(m_page, 0, std::max<std::int64_t>(rangeSize, 0)));
        const int highest = highestPosition();
        const int position = (mask & SIF_POS) ? info.pos : m_bar->value();
        const WriteGuard guard(m_writing);
        if (m_bar->minimum() != m_min || m_bar->maximum() != highest) {
            // Qt's scroll area answers each range change with a queued call of its own: a list
            // filled with a million rows would queue a million. One per pass is plenty.
            const QSignalBlocker quiet(m_bar);
            m_bar->setRange(m_min, highest);
            announceRange();
        }
        m_bar->setPageStep(m_page);
        m_bar->setValue(std::clamp(position, m_min, highest));
        return m_bar->value();
    }

    QScrollBar* bar() const { return m_bar; }

    ScrollInfo get(unsigned mask) const
    {
        ScrollInfo info;
        if (mask & SIF_RANGE) {
            info.min = m_min;
            info.max = m_max;
        }
        if (mask & SIF_PAGE)
            info.page = m_page;
        if (mask & SIF_POS)
            info.pos = m_bar->value();
        if (mask & SIF_TRACKPOS)
            info.trackPos = m_tracking ? m_trackPos : m_bar->value();
        return info;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto& mouse = static_cast<const QMouseEvent&>(*event);
            const auto msg = nonClientButtonDown(mouse.button());
            if (!msg)
                return false;
            const QPoint at = mouse.globalPosition().toPoint();
            const EventDelivery delivery =
                deliverEvent(m_window, watched, event, {*msg, m_hitTest, makeLong(at.x(), at.y())});
            const bool barPressed = delivery.reachedOwnProcedure || !delivery.filtered;
            m_leftPressPassedOn = barPressed && mouse.button() == Qt::LeftButton;
            return delivery.filtered;
        }
        case QEvent::MouseButtonRelease:
            // The thumb's release is reported by thumbReleased; arrows and page areas end here.
            if (m_leftPressPassedOn && !m_bar->isSliderDown())
                send(SB_ENDSCROLL);
            m_leftPressPassedOn = false;
            return false;
        case QEvent::Wheel: {
            // The scroll area forwards its own wheel events to the bar, not spontaneously; those
            // reached the window through the viewport.
            if (!event->spontaneous())
                return false;
            const auto message = messageForEvent(*event);
            return message && deliverEvent(m_window, watched, event, *message).filtered;
        }
        default:
            return false;
        }
    }

private:
    void announceRange()
    {
        if (m_rangeAnnounced)
            return;
        m_rangeAnnounced = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_rangeAnnounced = false;
                emit m_bar->rangeChanged(m_bar->minimum(), m_bar->maximum());
            },
            Qt::QueuedConnection);
    }

    int highestPosition() const
    {
        const std::int64_t highest = std::int64_t{m_max} - std::max(m_page, 1) + 1;
        return static_cast<int>(std::max<std::int64_t>(highest, m_min));
    }

    void send(std::int32_t code, int position = 0)
    {
        deliverMessage(m_window, {m_scrollMessage, makeLong(code, position), 0});
    }

    // Qt documents actionTriggered as the place to correct the slider position before it
    // becomes the value.
    void userAction(int action)
    {
        {
            const WriteGuard guard(m_writing);
            m_bar->setSliderPosition(m_bar->value());
        }
        if (const auto code = requestCode(action))
            send(*code);
    }

    void thumbPressed()
    {
        m_tracking = true;
        m_trackPos = m_bar->value();
    }

    void thumbMoved(int position)
    {
        if (m_writing)
            return;
        m_trackPos = position;
        send(SB_THUMBTRACK, position);
    }

    void thumbReleased()
    {
        if (!m_tracking)
            return;
        send(SB_THUMBPOSITION, m_trackPos);
        send(SB_ENDSCROLL);
        m_tracking = false;
    }

    QScrollBar* m_bar;
    WindowHandle m_window;
    std::uint32_t m_scrollMessage;
    std::int32_t m_hitTest;
    int m_min;
    int m_max;
    int m_page = 0;
    bool m_tracking = false;
    int m_trackPos = 0;
    bool m_writing = false;
    bool m_leftPressPassedOn = false;
    bool m_rangeAnnounced = false;
};

QAbstractScrollArea* scrollAreaOf(WindowHandle window)
{
    return qobject_cast<QAbstractScrollArea*>(widgetOf(window));
}

ScrollBarBinding* bindingOf(WindowHandle window, int bar)
{
    QAbstractScrollArea* area = scrollAreaOf(window);
    if (!area || (bar != SB_HORZ && bar != SB_VERT))
        return nullptr;
    QScrollBar* scrollBar =
        bar == SB_HORZ ? area->horizontalScrollBar() : area->verticalScrollBar();
    if (auto* binding =
            scrollBar->findChild<ScrollBarBinding*>(QString(), Qt::FindDirectChildrenOnly))
        return binding;
    return new ScrollBarBinding(scrollBar, window, bar); // owned by the bar
}

} // namespace

int setScrollInfo(WindowHandle window, int bar, const ScrollInfo& info, unsigned mask)
{
    ScrollBarBinding* binding = bindingOf(window, bar);
    return binding ? binding->set(info, mask) : 0;
}

std::optional<ScrollInfo> getScrollInfo(WindowHandle window, int bar, unsigned mask)
{
    const ScrollBarBinding* binding = bindingOf(window, bar);
    if (!binding)
        return std::nullopt;
    return binding->get(mask);
}

bool showScrollBar(WindowHandle window, int bar, bool show)
{
    QAbstractScrollArea* area = scrollAreaOf(window);
    if (!bindingOf(window, bar))
        return false;
    const Qt::ScrollBarPolicy policy = show ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (bar == SB_HORZ)
        area->setHorizontalScrollBarPolicy(policy);
    else
        area->setVerticalScrollBarPolicy(policy);
    return true;
}

bool enableScrollBar(WindowHandle window, int bar, bool enable)
{
    ScrollBarBinding* binding = bindingOf(window, bar);
    if (!binding)
        return false;
    binding->bar()->setEnabled(enable);
    return true;
}

int wheelScrollLines()
{
    return QApplication::wheelScrollLines();
}

} // namespace kardelo

#include "ScrollInfo.moc"
