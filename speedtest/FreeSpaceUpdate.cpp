#include "FreeSpaceUpdate.h"

#include "ControlNames.h"
#include "Formats.h"
#include "RuntimeError.h"

namespace kardelo {

namespace {

void showFreeSpace(TestWindow& window, const QString& drivePath, const DiskSpace& space)
{
    ignoreErrors([&] {
        window.setText(controls::Frame1,
                       QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ") +
                           drivePath);
    });
    const auto available = static_cast<double>(space.availableToCaller);
    ignoreErrors([&] {
        window.setText(controls::Label11, formats::groupedOrEmpty(available));
        window.setText(controls::Label22,
                       formats::groupedOrEmpty(static_cast<double>(space.totalFree)));
        window.setText(controls::Label33,
                       formats::groupedOrEmpty(static_cast<double>(space.totalBytes)));
    });
    window.testState().freeBytes = available;
}

} // namespace

void updateFreeSpace(TestWindow& window, FileSystem& fileSystem, const QString& drivePath)
{
    showFreeSpace(window, drivePath, fileSystem.diskSpace(drivePath).value_or(DiskSpace{}));
}

void showUnreachableDrive(TestWindow& window, const QString& drivePath)
{
    showFreeSpace(window, drivePath, DiskSpace{});
}

} // namespace kardelo
