#include "modGdi.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace kardelo::modGdi {

namespace {

// A QFile on a descriptor the file system opened; it closes the descriptor with itself.
bool adopt(FileSystem& files, QFile& file, const OpenResult& opened, QIODevice::OpenMode mode)
{
    if (opened.handle == InvalidHandle)
        return false;
    if (file.open(opened.handle, mode, QFileDevice::AutoCloseHandle))
        return true;
    files.close(opened.handle);
    return false;
}

} // namespace

Status SaveAsPng(FileSystem& files, const QString& source, const QString& target)
{
    QFile bitmap;
    QImage image;
    if (!adopt(files, bitmap, files.openFile(source, FileAccess::Read), QIODevice::ReadOnly) ||
        !QImageReader(&bitmap, "bmp").read(&image))
        return StatusOk;
    removeUnlessFolder(files, target);
    QFile png;
    if (!adopt(files, png, files.openFile(target, FileAccess::CreateNew), QIODevice::WriteOnly))
        return StatusWin32Error;
    if (QImageWriter(&png, "png").write(image))
        return StatusOk;
    png.close();
    files.remove(target);
    return StatusWin32Error;
}

bool ConvertBmpToPng(FileSystem& files, const QString& bmpPath, const QString& pngPath)
{
    // Removing a name needs no write permission on the file: a read-only PNG goes as well,
    // and no permission is ever changed through a link.
    removeUnlessFolder(files, pngPath);
    if (!QImageWriter::supportedImageFormats().contains("png"))
        return false;
    SaveAsPng(files, bmpPath, pngPath);
    removeUnlessFolder(files, bmpPath);
    return true;
}

} // namespace kardelo::modGdi
