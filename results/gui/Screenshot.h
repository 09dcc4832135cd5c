#pragma once

#include "Dialogs.h"
#include "FileSystem.h"

#include <QString>

class QWidget;

namespace kardelo {

struct ScreenshotResult {
    // An export was tried (a device name was given): "S&creenShot" is to be disabled.
    bool attempted = false;
    // The PNG that came out, or empty.
    QString pngPath;
};

// Every blank becomes "_". A device names itself as it likes, so "/" and every control
// character become "_" as well, and "." and ".." are refused (empty result): the name is
// always one file name in the program folder.
QString screenshotBaseName(const QString& deviceName);
QString screenshotSavedMessage(const QString& baseName);

// Saves the window's own picture (never what overlaps it on screen, and without the
// clipboard) as a BMP file at `path`, a file it creates (what sat at the name is removed first,
// never written through). A refused write is reported; other failures are silent.
void snap_to_bmp(QWidget& window, const QString& path, FileSystem& fileSystem, Dialogs& dialogs);

// Keeps the window responsive for `seconds` without a nested event loop.
void Pause(double seconds);

// The "S&creenShot" action: `deviceName` is the selected drive's name (empty when none is
// selected), `folder` the program folder. Never throws.
ScreenshotResult takeScreenshot(QWidget& mainWindow, const QString& deviceName,
                                const QString& folder, FileSystem& fileSystem, Dialogs& dialogs);

} // namespace kardelo
