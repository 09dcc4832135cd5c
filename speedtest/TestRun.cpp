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

namespace {
// Errors that say the device behind the file system is gone rather than that one request
// failed.
bool meansDriveGone(int error)
{
    return error == ENOTCONN || error == ENODEV || error == ENXIO || error == ESTALE ||
           error == ENOMEDIUM;
}
} // namespace

QString openFailureText(const DriveRoot& drive, int error)
{
    if (meansDriveGone(error))
        throw RuntimeError(ErrorCode::BadFileNameOrNumber);
    drive.ensureReachable();
    // A medium that refuses the cache bypass is not write-protected; saying so would send the
    // user looking for a switch that is not there.
    if (error == EINVAL)
        return messages::NoDirectIo;
    return messages::CannotWrite;
}

QString transferFailureText(FileSystem& fileSystem, const DriveRoot& drive, Direction direction,
                            int error, std::int64_t transferSize, const QString& filePath)
{
    if (meansDriveGone(error))
        throw RuntimeError(ErrorCode::BadFileNameOrNumber);
    drive.ensureReachable();
    if (error == EINVAL) {
        std::uint32_t alignment = fileSystem.directIoAlignment(filePath);
        if (alignment == 0)
            alignment = fileSystem.directIoAlignment(drive.path());
        if (alignment > 0 && transferSize % alignment != 0)
            return messages::blockNotSectorMultiple(alignment);
        return messages::NoDirectIo;
    }
    return (direction == Direction::Write ? messages::WriteFailed : messages::ReadFailed) +
           fileSystem.errorText(error);
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
