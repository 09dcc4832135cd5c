#include "Screenshot.h"

#include "DriveRoot.h"
#include "ResultsLog.h"
#include "RuntimeError.h"
#include "modGdi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPixmap>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <cerrno>

namespace kardelo {

namespace {

bool accessRefused(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// A second click while the first export pauses must not start another one on the same files.
bool g_exporting = false;

} // namespace

QString screenshotBaseName(const QString& deviceName)
{
    QString name = deviceName;
    for (QChar& character : name)
        if (character == QLatin1Char(' ') || character == QLatin1Char('/') ||
            character.category() == QChar::Other_Control)
            character = QLatin1Char('_');
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name;
}

QString screenshotSavedMessage(const QString& baseName)
{
    return QStringLiteral("ScreenShot wurde als \"") + baseName +
           QStringLiteral(".png\" gespeichert!");
}

void snap_to_bmp(QWidget& window, const QString& path, FileSystem& files, Dialogs& dialogs)
{
    QCoreApplication::processEvents();
    if (path.isEmpty())
        return;
    const QImage picture = window.grab().toImage();
    if (picture.isNull())
        return;

    removeUnlessFolder(files, path);
    const OpenResult created = files.openFile(path, FileAccess::CreateNew);
    if (created.handle == InvalidHandle) {
        if (accessRefused(created.error))
            dialogs.message(QMessageBox::Warning, results::writeErrorText());
        return;
    }
    QFile file;
    if (!file.open(created.handle, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        files.close(created.handle);
        files.remove(path);
        return;
    }
    QImageWriter writer(&file, "bmp");
    const bool written = writer.write(picture);
    file.close();
    if (!written)
        files.remove(path);
}

void Pause(double seconds)
{
    const auto total = static_cast<qint64>(seconds * 1000.0);
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (timer.elapsed() >= total)
            return;
        QThread::msleep(10);
    }
}

ScreenshotResult takeScreenshot(QWidget& mainWindow, const QString& deviceName,
                                const QString& folder, FileSystem& files, Dialogs& dialogs)
{
    ScreenshotResult result;
    if (deviceName.isEmpty() || g_exporting)
        return result;
    g_exporting = true;
    const struct Done {
        ~Done() { g_exporting = false; }
    } done;
    result.attempted = true;
    const QPointer<QWidget> window(&mainWindow);

    ignoreErrors([&] {
        const QString base = withTrailingSlash(folder);
        const QString baseName = screenshotBaseName(deviceName);
        if (baseName.isEmpty())
            return;
        const QString bmpPath = base + baseName + QStringLiteral(".bmp");
        const QString pngPath = base + baseName + QStringLiteral(".png");
        const auto isFile = [&](const QString& path) {
            return files.pathStatus(path).kind == EntryKind::RegularFile;
        };

        ignoreErrors([&] { snap_to_bmp(mainWindow, bmpPath, files, dialogs); });
        ignoreErrors([&] { Pause(0.5); });
        ignoreErrors([&] {
            if (isFile(bmpPath))
                modGdi::ConvertBmpToPng(files, bmpPath, pngPath);
        });
        // Where the conversion could not even start, the intermediate must not linger.
        ignoreErrors([&] {
            if (isFile(bmpPath))
                files.remove(bmpPath);
        });
        ignoreErrors([&] {
            if (isFile(pngPath)) {
                result.pngPath = pngPath;
                if (window)
                    dialogs.message(QMessageBox::Information, screenshotSavedMessage(baseName));
            }
        });
    });

    return result;
}

} // namespace kardelo
