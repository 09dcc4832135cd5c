#include "TestRun.h"

#include "ControlNames.h"
#include "EventLog.h"
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
    containAndLog("end of test", [this] { m_window.setCaption(m_saved); });
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

TestRun::TestRun(TestWindow& window, Platform platform, TestKind kind, std::int64_t bytesPerMByte)
    : m_window(window), m_platform(platform), m_state(window.testState())
{
    m_report.kind = kind;
    m_report.bytesPerMByte = bytesPerMByte;
}

RunReport TestRun::run()
{
    start();
    m_report.completed = runToNormalEnd([this] { return measure(); },
                                        [this](const auto& pending) { endOfTest(pending); });
    return m_report;
}

void TestRun::start()
{
    using namespace controls;
    ignoreErrors([&] {
        m_window.setControlEnabled(cmdSnap, false);
        m_window.setControlEnabled(cmdProt, false);
        m_state.testKind = m_report.kind;
        m_window.setControlEnabled(Command1, false);
        m_window.setControlEnabled(Command8, false);
        m_window.setProgressBackground(rgb(128, 128, 128));
    });
    ignoreErrors([&] { prepare(); });
    ignoreErrors([&] {
        const ResultLabels labels = resultLabelsOf(m_report.kind);
        m_state.abortRequested = false;
        m_window.setText(labels.writeTime, messages::TimeReset);
        m_window.setText(labels.writeSpeed, messages::ThroughputReset);
        m_window.setText(labels.readTime, messages::TimeReset);
        m_window.setText(labels.readSpeed, messages::ThroughputReset);
    });
}

bool TestRun::takeSelectedDrive()
{
    const QString drive = m_window.checkSelect();
    if (drive.isEmpty()) {
        m_window.showMessage(messages::NoDriveSelected, MessageIcon::Information);
        return false;
    }
    m_drive.emplace(m_platform.fileSystem, driveRootOf(drive));
    m_folderLock.emplace(m_platform.fileSystem, m_drive->path());
    if (m_folderLock->heldByAnotherRun()) {
        m_window.showMessage(messages::OtherRunActive, MessageIcon::Warning);
        return false;
    }
    return true;
}

bool TestRun::ownsTestFolder() const
{
    return m_drive && m_folderLock && !m_folderLock->heldByAnotherRun();
}

void TestRun::finishNormally(std::int32_t progressMaximum)
{
    using namespace controls;
    m_window.setBusyPointer(false);
    m_window.setControlEnabled(Command1, true);
    m_window.setControlEnabled(Command8, true);
    m_state.abortRequested = false;
    m_window.setControlEnabled(cmdSnap, true);
    m_window.setControlEnabled(cmdProt, true);
    m_window.updateProgress({100, 100, progressMaximum, messages::ProgressFinished, true});
}

void TestRun::endOfTest(const std::optional<RuntimeError>& pending)
{
    using namespace controls;
    FileSystem& files = m_platform.fileSystem;
    if (pending && pending->code() == ErrorCode::BadFileNameOrNumber) {
        containAndLog("end of test",
                      [&] { m_window.showMessage(messages::DriveAccess, MessageIcon::Warning); });
    } else {
        containAndLog("end of test", [&] { closeIfOpen(files, m_state.readHandle); });
        containAndLog("end of test", [&] { closeIfOpen(files, m_state.writeHandle); });
        // Every way out removes what the run wrote, not only the abort: files left on the
        // user's medium would be this program's litter.
        CleanupFailure failure;
        if (const std::exception_ptr error = contain([&] { failure = removeTestFiles(); }))
            failure.error = error;
        if (const auto text = cleanupFailureText(failure.error, failure.path))
            containAndLog("end of test",
                          [&] { m_window.showMessage(*text, MessageIcon::Warning); });
    }
    // The handles stay closed even on the drive-access path: their drive is gone, and a
    // descriptor left open would keep it busy.
    containAndLog("end of test", [&] { closeIfOpen(files, m_state.readHandle); });
    containAndLog("end of test", [&] { closeIfOpen(files, m_state.writeHandle); });

    containAndLog("end of test", [&] { m_window.setBusyPointer(false); });
    m_state.abortRequested = false;
    containAndLog("end of test", [&] { m_window.setControlEnabled(Command1, true); });
    containAndLog("end of test", [&] { m_window.setControlEnabled(Command8, true); });
    containAndLog("end of test", [&] { m_window.setControlEnabled(cmdSnap, false); });
    containAndLog("end of test", [&] { m_window.setControlEnabled(cmdProt, false); });
    containAndLog("end of test", [&] {
        m_window.updateProgress({100, 100, 100, messages::ProgressAborted, true});
    });
}

} // namespace kardelo
