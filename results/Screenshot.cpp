#include "Screenshot.h"

#include "PosixFileSystem.h"
#include "RuntimeError.h"
#include "modGdi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPixmap>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <cerrno>

namespace kardelo {

namespace {

void report(const ScreenshotMessageHook& hook, QWidget* parent, QMessageBox::Icon icon,
            const QString& text)
{
    if (hook) {
        hook(icon, text);
        return;
    }
    QMessageBox box(icon, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
                    text, QMessageBox::Ok, parent);
    box.exec();
}

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

QString screenshotWriteFailedMessage()
{
    return QStringLiteral(
        "Fehler beim Schreiben! Mögliche Ursachen:\r\n"
        "1. Der aktuelle Ordner befindet sich auf einen schreibgeschützten Datenträger.\r\n"
        "2. Sie besitzen nicht die erforderlichen Rechte um in diesen Ordner zu schreiben.");
}

void snap_to_bmp(QWidget& window, const QString& path, const ScreenshotMessageHook& hook)
{
    QCoreApplication::processEvents();
    if (path.isEmpty())
        return;
    const QImage picture = window.grab().toImage();
    if (picture.isNull())
        return;

    FileSystem& files = PosixFileSystem::instance();
    removeUnlessFolder(files, path);
    const OpenResult created = files.openFile(path, FileAccess::CreateNew);
    if (created.handle == InvalidHandle) {
        if (accessRefused(created.error))
            report(hook, &window, QMessageBox::Warning, screenshotWriteFailedMessage());
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

ScreenshotResult TakeScreenshot(QWidget& mainWindow, const QString& deviceName,
                                const QString& folder, const ScreenshotMessageHook& hook)
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
        QString base = folder;
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        const QString baseName = screenshotBaseName(deviceName);
        if (baseName.isEmpty())
            return;
        const QString bmpPath = base + baseName + QStringLiteral(".bmp");
        const QString pngPath = base + baseName + QStringLiteral(".png");
        FileSystem& files = PosixFileSystem::instance();
        const auto isFile = [&](const QString& path) {
            return files.pathStatus(path).kind == EntryKind::RegularFile;
        };

        ignoreErrors([&] { snap_to_bmp(mainWindow, bmpPath, hook); });
        ignoreErrors([&] { Pause(0.5); });
        ignoreErrors([&] {
            if (isFile(bmpPath))
                modGdi::ConvertBmpToPng(bmpPath, pngPath);
        });
        // Where the conversion could not even start, the intermediate must not linger.
        ignoreErrors([&] {
            if (isFile(bmpPath))
                files.remove(bmpPath);
        });
        ignoreErrors([&] {
            if (isFile(pngPath)) {
                result.pngPath = pngPath;
                report(hook, window.data(), QMessageBox::Information,
                       screenshotSavedMessage(baseName));
            }
        });
    });

    return result;
}

} // namespace kardelo
