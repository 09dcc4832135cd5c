#include "FreeSpaceUpdate.h"

#include "ControlNames.h"
#include "Formats.h"
#include "RuntimeError.h"

namespace kardelo {

void updateFreeSpace(TestWindow& window, FileSystem& fileSystem, const QString& drivePath)
{
    ignoreErrors([&] {
        window.setText(controls::Frame1,
                       QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ") +
                           drivePath);
    });
    const DiskSpace space = fileSystem.diskSpace(drivePath).value_or(DiskSpace{});
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

} // namespace kardelo
