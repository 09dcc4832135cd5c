#include "modGdi.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

namespace kardelo::modGdi {

Status SaveAsPng(const QString& source, const QString& target)
{
    QImage image;
    if (!image.load(source))
        return StatusOk;
    return image.save(target, "PNG") ? StatusOk : StatusWin32Error;
}

bool ConvertBmpToPng(const QString& bmpPath, const QString& pngPath)
{
    if (QFile::exists(pngPath)) {
        QFile::setPermissions(pngPath, QFile::permissions(pngPath) | QFile::WriteOwner);
        QFile::remove(pngPath);
    }
    if (!QImageWriter::supportedImageFormats().contains("png"))
        return false;
    SaveAsPng(bmpPath, pngPath);
    if (QFile::exists(bmpPath))
        QFile::remove(bmpPath);
    return true;
}

} // namespace kardelo::modGdi
