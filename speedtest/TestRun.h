#pragma once

#include "AlignedBuffer.h"
#include "DriveRoot.h"
#include "FileSystem.h"
#include "Platform.h"
#include "Random.h"
#include "RuntimeError.h"
#include "TestFiles.h"
#include "TestState.h"
#include "TestWindow.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

// Pieces both speed tests share.
namespace kardelo {

// The figures of one run, for front ends that want numbers rather than label texts.
struct RunReport {
    TestKind kind = TestKind::None;
    bool completed = false; // normal end reached; false: the run took its end-of-test path
    std::int64_t plannedBytes = 0;
    std::int32_t plannedTransfers = 0; // blocks (single-file) or files (multi-file)
    // What actually moved; the plan itself after a normal end.
    std::int64_t writtenBytes = 0;
    std::int32_t writtenTransfers = 0;
    std::int64_t readBytes = 0;
    std::int32_t readTransfers = 0;
    std::int64_t blockBytes = 0; // single-file block size in bytes
    // The MByte of the figures: 1,048,576 bytes (single-file) or 1,024,000 (multi-file).
    std::int64_t bytesPerMByte = 0;
    double writeMilliseconds = 0;
    double readMilliseconds = 0;
    double writeMBps = 0; // as shown, rounded to two decimals; 0 until the figure is shown
    double readMBps = 0;
    double writeBytesPerSecond = 0; // the same figures unrounded, in bytes
    double readBytesPerSecond = 0;
    // Single-file test, when asked for: each block's milliseconds, from the end of the block
    // before it (or the start of the phase) to its own end, so they add up to the phase.
    std::vector<double> writeBlockMilliseconds;
    std::vector<double> readBlockMilliseconds;
};

// Runs a test from its first checked step to its normal end. A false result (one of the test's
// jumps) or a run-time error leads to the end-of-test path, which gets the pending error.
template <typename Body, typename EndOfTest> bool runToNormalEnd(Body&& body, EndOfTest&& endOfTest)
{
    std::optional<RuntimeError> pending;
    try {
        if (body())
            return true;
    } catch (const RuntimeError& error) {
        pending = error;
    } catch (const std::bad_alloc&) {
        pending = RuntimeError(ErrorCode::OutOfMemory);
    }
    endOfTest(pending);
    return false;
}

// Shows a caption while it lives and puts the saved one back on every way out.
class CaptionGuard {
public:
    CaptionGuard(TestWindow& window, const QString& caption);
    ~CaptionGuard();
    CaptionGuard(const CaptionGuard&) = delete;
    CaptionGuard& operator=(const CaptionGuard&) = delete;

private:
    TestWindow& m_window;
    QString m_saved;
};

// Every byte becomes int(255 * r) + 1 with a fresh r: 1 to 255, never 0.
void fillWithRandomBytes(AlignedBuffer& buffer, Random& random);

// "Time: 1,234 s" for a number of milliseconds.
QString timeText(double milliseconds);
// Throughput as shown; RuntimeError(DivisionByZero) when the divisor is 0.
double divide(double dividend, double divisor);

// Closes a test handle if it is open and marks it closed, so no later close can hit a
// descriptor number the system has handed out again.
void closeIfOpen(FileSystem& fileSystem, FileHandle& handle);

// Errors that say the device behind the file system is gone rather than that one request
// failed.
bool meansDriveGone(int error);

// What to tell the user when a cache-bypassing open for writing failed with error; nothing
// when the open was interrupted by an abort request. Throws the drive-access error when the
// drive itself is gone.
std::optional<QString> openFailureText(const DriveRoot& drive, int error);

// What to tell the user when one of the test names could not be cleared, or nothing.
std::optional<QString> blockedNameText(NameState state, const QString& path);

enum class Direction { Write, Read };
struct TransferFailure {
    TestKind kind;
    Direction direction;
    int error;
    std::int64_t size; // bytes the call was given
    std::size_t moved; // bytes it moved
    QString filePath;
};
// What to tell the user when a block transfer failed. Throws the drive-access error when the
// drive itself is gone.
QString transferFailureText(FileSystem& fileSystem, const DriveRoot& drive,
                            const TransferFailure& failure);

// The message to show when a clean-up step left a test file behind, or none.
std::optional<QString> cleanupFailureText(const std::exception_ptr& failure, const QString& path);

// The frame both speed tests run in: the start that disables the buttons and resets the
// result labels, the drive lookup with its folder lock, the normal end and the end-of-test
// path. A test adds only what it measures and which of its files exist.
class TestRun {
public:
    virtual ~TestRun() = default;
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

    RunReport run();

protected:
    // Where a clean-up left a file behind, and why.
    struct CleanupFailure {
        std::exception_ptr error;
        QString path;
    };

    TestRun(TestWindow& window, Platform platform, TestKind kind, std::int64_t bytesPerMByte);

    // The test's own preparation; errors in it are ignored step by step.
    virtual void prepare() {}
    // From the drive lookup to the deletion after the read phase. False (or a run-time error)
    // takes the end-of-test path.
    virtual bool measure() = 0;
    // The end-of-test path's clean-up of the files this run may have left.
    virtual CleanupFailure removeTestFiles() = 0;

    // The selected drive's root, its drive and the folder lock; false (with the message
    // shown) when no drive is selected or another run is at work on it.
    bool takeSelectedDrive();
    // The normal end's last steps, once the figures are shown.
    void finishNormally(std::int32_t progressMaximum);
    // Whether the end-of-test path may touch the test's names at all.
    bool ownsTestFolder() const;

    TestWindow& m_window;
    Platform m_platform;
    TestState& m_state;
    RunReport m_report;
    std::optional<DriveRoot> m_drive;

private:
    void start();
    void endOfTest(const std::optional<RuntimeError>& pending);

    std::optional<FolderLock> m_folderLock;
};

} // namespace kardelo
