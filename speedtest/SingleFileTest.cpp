#include "SingleFileTest.h"

#include "ControlNames.h"
#include "EventLog.h"
#include "Formats.h"
#include "FreeSpaceUpdate.h"
#include "SettingsLists.h"
#include "TestMessages.h"
#include "basFileAPI.h"

namespace kardelo {

namespace {
constexpr std::int32_t BytesPerKB = 1024;
constexpr double BytesPerMB = 1048576.0;

std::int32_t multiplyChecked(std::int32_t a, std::int32_t b)
{
    return formats::toInt32(static_cast<double>(a) * static_cast<double>(b));
}
} // namespace

SingleFileTest::SingleFileTest(TestWindow& window, Platform platform)
    : TestRun(window, platform, TestKind::SingleFile, static_cast<std::int64_t>(BytesPerMB))
{}

void SingleFileTest::prepare()
{
    m_blockSizeKB = settings::toNumber(m_window.text(controls::Combo2));
    m_blockBytes = multiplyChecked(m_blockSizeKB, BytesPerKB);
    if (m_blockBytes < 0)
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    m_buffer = AlignedBuffer(static_cast<std::size_t>(m_blockBytes));
}

bool SingleFileTest::measure()
{
    using namespace controls;
    if (!takeSelectedDrive())
        return false;
    m_state.testFileName = m_drive->filePath(TestFileName);
    // Whatever sits at the name goes, a link included (the link, never what it points to),
    // unless another run holds it or a folder sits there.
    if (const auto blocked = blockedNameText(
            clearTestFileName(m_platform.fileSystem, *m_drive, m_state.testFileName),
            m_state.testFileName)) {
        m_window.showMessage(*blocked, MessageIcon::Warning);
        return false;
    }

    m_window.setBusyPointer(true);
    updateFreeSpace(m_window, m_platform.fileSystem, m_drive->path());

    const std::int32_t fileSizeMB = settings::toNumber(m_window.text(Combo1));
    const std::int32_t fileBytes = multiplyChecked(fileSizeMB, BytesPerKB * BytesPerKB);
    if (m_blockBytes == 0)
        throw RuntimeError(ErrorCode::DivisionByZero);
    m_blockCount = formats::toInt32(static_cast<double>(fileBytes) / m_blockBytes);
    // A block larger than twice the file leaves nothing to transfer; timing nothing would
    // report a speed the medium never showed.
    if (m_blockCount < 1)
        throw RuntimeError(ErrorCode::InvalidProcedureCall,
                           QStringLiteral("no whole block fits the file size"));

    // The figure that decided: the bytes free for the user, not the total free.
    if (fileBytes > m_state.freeBytes) {
        m_window.showMessage(messages::OnlyFreePrefix + m_window.text(Label11) +
                                 messages::OnlyFreeSuffix,
                             MessageIcon::Warning);
        return false;
    }

    if (m_buffer.size() != static_cast<std::size_t>(m_blockBytes))
        throw RuntimeError(ErrorCode::OutOfMemory);
    m_platform.random.seedFromTimeOfDay();
    fillWithRandomBytes(m_buffer, m_platform.random);

    m_report.plannedTransfers = m_blockCount;
    m_report.blockBytes = m_blockBytes;
    m_report.plannedBytes = static_cast<std::int64_t>(m_blockCount) * m_blockBytes;

    if (!transferPhase(Direction::Write) || !transferPhase(Direction::Read))
        return false;

    {
        CaptionGuard deleting(m_window, messages::DeletingTestFile);
        m_window.processEvents();
        clearTestFileName(m_platform.fileSystem, *m_drive, m_state.testFileName);
    }
    finishNormally(100);
    return true;
}

bool SingleFileTest::transferPhase(Direction direction)
{
    using namespace controls;
    const bool writing = direction == Direction::Write;
    FileSystem& files = m_platform.fileSystem;
    FileHandle& handle = writing ? m_state.writeHandle : m_state.readHandle;
    std::int64_t& movedBytes = writing ? m_report.writtenBytes : m_report.readBytes;
    std::int32_t& movedBlocks = writing ? m_report.writtenTransfers : m_report.readTransfers;
    const QString& caption = writing ? messages::ProgressWriting : messages::ProgressReading;

    const OpenResult opened = writing ? basFileAPI::OpenForWrite(files, m_state.testFileName)
                                      : basFileAPI::OpenForRead(files, m_state.testFileName);
    handle = opened.handle;
    if (handle == InvalidHandle) {
        if (!writing)
            throw RuntimeError(ErrorCode::DeviceUnavailable, files.errorText(opened.error));
        if (const auto text = openFailureText(*m_drive, opened.error))
            m_window.showMessage(*text, MessageIcon::Warning);
        return false;
    }

    if (!m_timer)
        m_timer.emplace(m_platform.clock);
    // The interval starts after the open and holds every block's message handling, transfer
    // and progress drawing, but not the flush and close.
    m_timer->ResetTimer();
    std::vector<double>& blockTimes =
        writing ? m_report.writeBlockMilliseconds : m_report.readBlockMilliseconds;
    std::int64_t ticksPerSecond = 0;
    std::int64_t blockStart = 0;
    if (m_recordBlockTimes) {
        ticksPerSecond = m_platform.clock.frequency().value_or(0);
        blockStart = m_platform.clock.counter();
        blockTimes.reserve(static_cast<std::size_t>(m_blockCount));
    }
    for (std::int32_t block = 1; block <= m_blockCount; ++block) {
        m_window.processEvents();
        if (m_state.abortRequested)
            return false;
        const TransferResult moved =
            writing ? basFileAPI::WriteBlock(files, handle, m_buffer.data(), m_blockBytes)
                    : basFileAPI::ReadBlock(files, handle, m_buffer.data(), m_blockBytes);
        movedBytes += static_cast<std::int64_t>(moved.moved);
        if (!moved.ok) {
            m_window.showMessage(
                transferFailureText(files, *m_drive,
                                    {TestKind::SingleFile, direction, moved.error, m_blockBytes,
                                     moved.moved, m_state.testFileName}),
                MessageIcon::Warning);
            return false;
        }
        ++movedBlocks;
        m_window.updateProgress({block, 1, m_blockCount, caption, true});
        if (m_recordBlockTimes && ticksPerSecond > 0) {
            const std::int64_t blockEnd = m_platform.clock.counter();
            blockTimes.push_back(static_cast<double>(blockEnd - blockStart) * 1000.0 /
                                 static_cast<double>(ticksPerSecond));
            blockStart = blockEnd;
        }
    }
    m_timer->StopTimer();
    closeIfOpen(files, handle);

    const double elapsed = m_timer->Elapsed();
    // Counted from the bytes that moved, in MByte of 1,048,576 bytes.
    const double bytesPerSecond =
        divide(static_cast<double>(m_report.plannedBytes), elapsed / 1000.0);
    const double speed = formats::roundHalfEven(bytesPerSecond / BytesPerMB, 2);
    (writing ? m_report.writeMilliseconds : m_report.readMilliseconds) = elapsed;
    (writing ? m_report.writeMBps : m_report.readMBps) = speed;
    (writing ? m_report.writeBytesPerSecond : m_report.readBytesPerSecond) = bytesPerSecond;
    m_window.setText(writing ? Label1 : Label3, timeText(elapsed));
    m_window.setText(writing ? Label2 : Label4, formats::fixed(speed, 2));
    m_window.updateProgress({m_blockCount + 1, 1, m_blockCount, caption, true});
    return true;
}

TestRun::CleanupFailure SingleFileTest::removeTestFiles()
{
    CaptionGuard deleting(m_window, messages::DeletingTestFile);
    m_window.processEvents();
    const QString& name = m_state.testFileName;
    if (name.isEmpty())
        return {};
    if (!m_drive) {
        // The run never reached its drive; a file left by an earlier run goes if it can.
        removeLeftTestFile(m_platform.fileSystem, name);
        return {};
    }
    if (!ownsTestFolder())
        return {};
    return {contain([&] { clearTestFileName(m_platform.fileSystem, *m_drive, name); }), name};
}

} // namespace kardelo
