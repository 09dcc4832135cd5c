#pragma once

#include "FileSystem.h"

#include <QString>
#include <cstdint>

namespace kardelo::modGdi {

// Status of a PNG save: 0 means success, and also that no save was attempted because the
// source could not be loaded.
using Status = std::uint32_t;
inline constexpr Status StatusOk = 0;
inline constexpr Status StatusWin32Error = 7;

// Writes the image at `source` to `target` as PNG, into a file it creates: whatever sits at
// the target's name (a link, a hard link, a FIFO) is removed first and never written through;
// a folder there stays and fails the save. No failure is ever shown to the user.
Status SaveAsPng(FileSystem& fileSystem, const QString& source, const QString& target);

// Replaces the PNG at `pngPath` (even a read-only one) by the image at `bmpPath` and deletes
// the BMP. False when the image library cannot write PNG at all; the BMP then stays.
bool ConvertBmpToPng(FileSystem& fileSystem, const QString& bmpPath, const QString& pngPath);

} // namespace kardelo::modGdi
