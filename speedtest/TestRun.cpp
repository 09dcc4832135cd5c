#include "TestRun.h"

#include "Formats.h"
#include "RuntimeError.h"
#include "TestMessages.h"
#include "basFileAPI.h"

#include <cerrno>

namespace kardelo {

QString messages::blockNotSectorMultiple(unsigned alignment)
{
    return QStringLiteral(
               "Die Blockgröße ist kein Vielfaches der Sektorgröße des Datenträgers (%1 Byte).")
        .arg(alignment);
}

QString messages::fileSizesNotSectorMultiple(unsigned alignment)
{
    return QStringLiteral("Die Dateigrößen des Multi-File-Tests sind kein Vielfaches der "
                          "Sektorgröße des Datenträgers (%1 Byte).")
        .arg(alignment);
}

QString messages::folderAtTestName(const QString& path)
{
    return QStringLiteral("Der Ordner \"%1\" trägt den Namen einer Testdatei und bleibt, wo er "
                          "ist. Bitte umbenennen oder löschen!")
        .arg(path);
}

QString messages::partlyTransferred(bool writing, std::size_t moved, std::int64_t size)
{
    return (writing ? WriteFailed : ReadFailed) +
           (writing ? QStringLiteral("Nur %1 von %2 Byte wurden geschrieben.")
                    : QStringLiteral("Nur %1 von %2 Byte wurden gelesen."))
               .arg(formats::grouped(static_cast<double>(moved)),
                    formats::grouped(static_cast<double>(size)));
}

QString messages::fewerFiles(const QString& freeText, int fileCount, double totalBytes)
{
    return OnlyFreePrefix + freeText + QStringLiteral(" Byte frei. Es werden deshalb nur ") +
           QString::number(fileCount) + QStringLiteral(" Testdateien mit insgesamt ") +
           formats::grouped(totalBytes) + QStringLiteral(" Byte erzeugt.");
}

QString messages::notDeleted(const QString& path, const QString& reason)
{
    return QStringLiteral("Die Testdatei %1 konnte nicht gelöscht werden: %2").arg(path, reason);
}

CaptionGuard::CaptionGuard(TestWindow& window, const QString& caption)
    : m_window(window), m_saved(window.caption())
{
    m_window.setCaption(caption);
}

CaptionGuard::~CaptionGuard()
{
    contain([this] { m_window.setCaption(m_saved); });
}

void fillWithRandomBytes(AlignedBuffer& buffer, Random& random)
{
    for (std::byte& value : buffer.bytes())
        value = static_cast<std::byte>(static_cast<int>(255.0 * random.next()) + 1);
}

QString timeText(double milliseconds)
{
    return QStringLiteral("Time: ") +
           formats::fixed(formats::roundHalfEven(milliseconds / 1000.0, 3), 3) +
           QStringLiteral(" s");
}

double divide(double dividend, double divisor)
{
    if (divisor == 0.0)
        throw RuntimeError(ErrorCode::DivisionByZero);
    return dividend / divisor;
}

void closeIfOpen(FileSystem& fileSystem, FileHandle& handle)
{
    if (handle == InvalidHandle)
        return;
    const FileHandle open = handle;
    handle = InvalidHandle;
    basFileAPI::FlushAndClose(fileSystem, open);
}

bool meansDriveGone(int error)
{
    return error == ENOTCONN || error == ENODEV || error == ENXIO || error == ESTALE ||
           error == ENOMEDIUM;
}

std::optional<QString> openFailureText(const DriveRoot& drive, int error)
{
    // Only an abort request interrupts an open: the run ends as an abort does, without a word.
    if (error == EINTR)
        return std::nullopt;
    if (meansDriveGone(error))
        throw RuntimeError(ErrorCode::BadFileNameOrNumber);
    drive.ensureReachable();
    // The name was cleared a moment ago: whoever put a file there since, or holds it, is at
    // work on this medium too.
    if (error == EEXIST || error == EWOULDBLOCK)
        return messages::OtherRunActive;
    // A medium that refuses the cache bypass is not write-protected; saying so would send the
    // user looking for a switch that is not there.
    if (error == EINVAL)
        return messages::NoDirectIo;
    return messages::CannotWrite;
}

std::optional<QString> blockedNameText(NameState state, const QString& path)
{
    switch (state) {
    case NameState::Free:
    case NameState::Removable:
        return std::nullopt;
    case NameState::HeldByAnotherRun:
        return messages::OtherRunActive;
    case NameState::Directory:
        return messages::folderAtTestName(path);
    }
    return std::nullopt;
}

QString transferFailureText(FileSystem& fileSystem, const DriveRoot& drive,
                            const TransferFailure& failure)
{
    if (meansDriveGone(failure.error))
        throw RuntimeError(ErrorCode::BadFileNameOrNumber);
    drive.ensureReachable();
    const bool writing = failure.direction == Direction::Write;
    if (failure.error == EINVAL) {
        std::uint32_t alignment = fileSystem.directIoAlignment(failure.filePath);
        if (alignment == 0)
            alignment = fileSystem.directIoAlignment(drive.path());
        if (alignment > 0 && failure.size % alignment != 0)
            return failure.kind == TestKind::MultiFile
                       ? messages::fileSizesNotSectorMultiple(alignment)
                       : messages::blockNotSectorMultiple(alignment);
        return messages::NoDirectIo;
    }
    if (failure.error == ShortTransfer)
        return messages::partlyTransferred(writing, failure.moved, failure.size);
    return (writing ? messages::WriteFailed : messages::ReadFailed) +
           fileSystem.errorText(failure.error);
}

std::optional<QString> cleanupFailureText(const std::exception_ptr& failure, const QString& path)
{
    if (!failure)
        return std::nullopt;
    try {
        std::rethrow_exception(failure);
    } catch (const RuntimeError& error) {
        if (error.code() == ErrorCode::BadFileNameOrNumber)
            return messages::DriveAccess;
        return messages::notDeleted(path,
                                    error.detail().isEmpty() ? error.message() : error.detail());
    } catch (const std::exception& error) {
        return messages::notDeleted(path, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return messages::notDeleted(path, QString());
    }
}

} // namespace kardelo
