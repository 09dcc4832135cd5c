#include "MultiFileTest.h"

#include "ControlNames.h"
#include "EventLog.h"
#include "Formats.h"
#include "FreeSpaceUpdate.h"
#include "TestMessages.h"
#include "basFileAPI.h"

namespace kardelo {

namespace {
constexpr std::size_t BufferBytes = MultiFileTest::MaxSizeMB * 1048576 + 1;
constexpr std::int64_t BytesPerMByte = 1024 * 1000; // KByte per millisecond
} // namespace

MultiFileTest::MultiFileTest(TestWindow& window, Platform platform)
    : TestRun(window, platform, TestKind::MultiFile, BytesPerMByte)
{}

QString MultiFileTest::fileName(std::int32_t number)
{
    return QStringLiteral("$_test") + formats::threeDigits(number) + QStringLiteral(".$$$");
}

void MultiFileTest::prepare()
{
    m_plannedCount = MaxFiles;
    m_plannedTotal = 0;
}

bool MultiFileTest::plan()
{
    using namespace controls;
    if (!takeSelectedDrive())
        return false;
    const QString root = m_drive->path();
    if (!claimTestNames())
        return false;
    ignoreErrors([&] { updateFreeSpace(m_window, m_platform.fileSystem, root); });
    ignoreErrors([&] {
        // The generator is not reseeded: multi-file runs continue the program's sequence.
        m_buffer = AlignedBuffer(BufferBytes);
        fillWithRandomBytes(m_buffer, m_platform.random);
    });

    std::int32_t leftAt = 0;
    for (std::int32_t i = 1; i <= MaxFiles; ++i) {
        m_sizes[i] =
            (static_cast<std::int32_t>(m_platform.random.next() * MaxSizeMB * 1000) + 1) * 1024;
        m_plannedTotal += m_sizes[i];
        if (m_plannedTotal > m_state.freeBytes) {
            leftAt = i;
            break;
        }
        m_names[i] = fileName(i);
        m_namedCount = i;
    }
    if (leftAt > 0) {
        m_plannedTotal -= m_sizes[leftAt];
        m_plannedCount = leftAt - 1;
        ignoreErrors([&] {
            if (m_plannedCount > 0)
                // The figure that decided: the bytes free for the user, not the total free.
                m_window.showMessage(
                    messages::fewerFiles(m_window.text(Label11), m_plannedCount, m_plannedTotal),
                    MessageIcon::Warning);
            else
                m_window.showMessage(messages::TooLittleSpace, MessageIcon::Warning);
        });
    }
    m_state.testFileCount = m_plannedCount;
    return m_plannedCount > 0;
}

bool MultiFileTest::claimTestNames()
{
    // Every name is looked at before any goes: a file held by another run means that run's
    // other files are not leftovers either.
    for (std::int32_t i = 1; i <= MaxFiles; ++i) {
        const QString path = m_drive->filePath(fileName(i));
        const NameState state = testFileNameState(m_platform.fileSystem, *m_drive, path);
        if (const auto blocked = blockedNameText(state, path)) {
            m_otherRunAtWork = state == NameState::HeldByAnotherRun;
            m_window.showMessage(*blocked, MessageIcon::Warning);
            return false;
        }
    }
    for (std::int32_t i = 1; i <= MaxFiles; ++i)
        clearTestFileName(m_platform.fileSystem, *m_drive, m_drive->filePath(fileName(i)));
    return true;
}

bool MultiFileTest::measure()
{
    using namespace controls;
    if (!plan())
        return false;
    if (m_buffer.size() != BufferBytes)
        throw RuntimeError(ErrorCode::OutOfMemory);
    m_window.updateProgress({0, 0, 0, QStringLiteral("0"), true});
    m_window.setBusyPointer(true);
    m_report.plannedTransfers = m_plannedCount;
    m_report.plannedBytes = static_cast<std::int64_t>(m_plannedTotal);

    if (!writePhase() || !readPhase())
        return false;

    {
        CaptionGuard deleting(m_window, messages::DeletingTestFiles);
        for (std::int32_t i = 1; i <= m_plannedCount; ++i) {
            m_window.processEvents();
            m_window.updateProgress({i, 1, m_plannedCount, messages::ProgressDeleting, true});
            clearTestFileName(m_platform.fileSystem, *m_drive, m_drive->filePath(m_names[i]));
        }
    }

    m_window.setText(Label20, timeText(m_writeTime));
    m_window.setText(Label21, timeText(m_readTime));
    // KByte per millisecond, shown as MByte/s: this figure's MByte is 1,024,000 bytes.
    m_report.writeMBps =
        formats::roundHalfEven(divide(divide(m_plannedTotal, m_writeTime), 1024.0), 2);
    m_window.setText(Label18, formats::fixed(m_report.writeMBps, 2));
    m_report.readMBps =
        formats::roundHalfEven(divide(divide(m_plannedTotal, m_readTime), 1024.0), 2);
    m_window.setText(Label19, formats::fixed(m_report.readMBps, 2));
    m_report.writeBytesPerSecond = m_plannedTotal / m_writeTime * 1000.0;
    m_report.readBytesPerSecond = m_plannedTotal / m_readTime * 1000.0;

    finishNormally(m_plannedCount);
    return true;
}

bool MultiFileTest::writePhase()
{
    FileSystem& files = m_platform.fileSystem;
    if (!m_writeTimer)
        m_writeTimer.emplace(m_platform.clock);
    for (std::int32_t i = 1; i <= m_plannedCount; ++i) {
        m_window.processEvents();
        const QString path = m_drive->filePath(m_names[i]);
        // The file's interval: open, the second message handling, transfer, flush and close.
        m_writeTimer->ResetTimer();
        const OpenResult opened = basFileAPI::OpenForWrite(files, path);
        m_state.writeHandle = opened.handle;
        if (m_state.writeHandle == InvalidHandle) {
            if (const auto text = openFailureText(*m_drive, opened.error))
                m_window.showMessage(*text, MessageIcon::Warning);
            return false;
        }
        m_window.processEvents();
        if (m_state.abortRequested)
            return false;
        const TransferResult written =
            basFileAPI::WriteBlock(files, m_state.writeHandle, m_buffer.data(), m_sizes[i]);
        m_report.writtenBytes += static_cast<std::int64_t>(written.moved);
        if (!written.ok) {
            m_window.showMessage(
                transferFailureText(files, *m_drive,
                                    {TestKind::MultiFile, Direction::Write, written.error,
                                     m_sizes[i], written.moved, path}),
                MessageIcon::Warning);
            return false;
        }
        ++m_report.writtenTransfers;
        closeIfOpen(files, m_state.writeHandle);
        m_writeTimer->StopTimer();
        m_writeTime = formats::toInt32(m_writeTime + m_writeTimer->Elapsed());
        m_report.writeMilliseconds = m_writeTime;
        m_window.updateProgress(
            {formats::toInt32(i / 2.0), 1, m_plannedCount, messages::ProgressWriteRead, true});
    }
    return true;
}

bool MultiFileTest::readPhase()
{
    FileSystem& files = m_platform.fileSystem;
    if (!m_readTimer)
        m_readTimer.emplace(m_platform.clock);
    const std::int32_t half = formats::toInt32(m_plannedCount / 2.0);
    for (std::int32_t i = 1; i <= m_plannedCount; ++i) {
        m_window.processEvents();
        const QString path = m_drive->filePath(m_names[i]);
        // The read interval holds no message handling: open, abort check, transfer, close.
        m_readTimer->ResetTimer();
        const OpenResult opened = basFileAPI::OpenForRead(files, path);
        m_state.readHandle = opened.handle;
        if (m_state.readHandle == InvalidHandle)
            throw RuntimeError(ErrorCode::DeviceUnavailable, files.errorText(opened.error));
        if (m_state.abortRequested)
            return false;
        const TransferResult read =
            basFileAPI::ReadBlock(files, m_state.readHandle, m_buffer.data(), m_sizes[i]);
        m_report.readBytes += static_cast<std::int64_t>(read.moved);
        if (!read.ok) {
            m_window.showMessage(transferFailureText(files, *m_drive,
                                                     {TestKind::MultiFile, Direction::Read,
                                                      read.error, m_sizes[i], read.moved, path}),
                                 MessageIcon::Warning);
            return false;
        }
        ++m_report.readTransfers;
        closeIfOpen(files, m_state.readHandle);
        m_readTimer->StopTimer();
        m_readTime = formats::toInt32(m_readTime + m_readTimer->Elapsed());
        m_report.readMilliseconds = m_readTime;
        m_window.updateProgress({formats::toInt32(m_plannedCount / 2.0 + i / 2.0), half,
                                 m_plannedCount, messages::ProgressWriteRead, true});
    }
    return true;
}

TestRun::CleanupFailure MultiFileTest::removeTestFiles()
{
    // Nothing is touched in a folder where another run is at work, nor before this run took it.
    if (!ownsTestFolder() || m_otherRunAtWork)
        return {};
    const std::int32_t shown = std::min(m_plannedCount, m_namedCount);
    std::optional<CaptionGuard> deleting;
    if (shown > 0)
        deleting.emplace(m_window, messages::DeletingTestFiles);
    CleanupFailure first;
    // Every name of the test, not only the planned ones: what a killed run left goes too.
    for (std::int32_t i = 1; i <= MaxFiles; ++i) {
        if (i <= shown) {
            containAndLog("MultiFileTest", [&] { m_window.processEvents(); });
            containAndLog("MultiFileTest", [&] {
                m_window.updateProgress({i, 1, m_plannedCount, messages::ProgressDeleting, true});
            });
        }
        const QString path = m_drive->filePath(fileName(i));
        std::exception_ptr failure =
            contain([&] { clearTestFileName(m_platform.fileSystem, *m_drive, path); });
        if (failure && !first.error)
            first = {failure, path};
    }
    return first;
}

} // namespace kardelo
