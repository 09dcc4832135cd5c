#include "ScreenReader.h"

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace kardelo::testing {

bool ScreenReader::start()
{
    QPlatformAccessibility* platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    if (!platform)
        return false;
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        const QAccessibleInterface* about = event->accessibleInterface();
        heard().push_back(
            {event->type(),
             event->type() == QAccessible::TableModelChanged
                 ? static_cast<QAccessibleTableModelChangeEvent*>(event)->modelChangeType()
                 : -1,
             about ? about->text(QAccessible::Name) : QString()});
    });
    platform->setActive(true);
    return QAccessible::isActive();
}

std::vector<ScreenReader::Heard>& ScreenReader::heard()
{
    static std::vector<Heard> events;
    return events;
}

std::vector<ScreenReader::Heard> ScreenReader::heard(QAccessible::Event type)
{
    std::vector<Heard> events;
    std::copy_if(heard().begin(), heard().end(), std::back_inserter(events),
                 [type](const Heard& event) { return event.type == type; });
    return events;
}

} // namespace kardelo::testing
