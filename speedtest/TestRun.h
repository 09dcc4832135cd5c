#pragma once

#include "AlignedBuffer.h"
#include "DriveRoot.h"
#include "FileSystem.h"
#include "Random.h"
#include "RuntimeError.h"
#include "TestState.h"
#include "TestWindow.h"

#include <QString>
#include <cstdint>
#include <optional>

// Pieces both speed tests share.
namespace kardelo {

// The figures of one run, for front ends that want numbers rather than label texts.
struct RunReport {
    TestKind kind = TestKind::None;
    bool completed = false;      // normal end reached; false: the run took its end-of-test path
    std::int64_t bytes = 0;      // bytes written (and read back) per phase
    std::int32_t transfers = 0;  // blocks (single-file) or files (multi-file)
    std::int64_t blockBytes = 0; // single-file block size in bytes
    double writeMilliseconds = 0;
    double readMilliseconds = 0;
    double writeMBps = 0; // as shown, rounded to two decimals
    double readMBps = 0;
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

// What to tell the user when a cache-bypassing open for writing failed with error. Throws the
// drive-access error when the drive itself is gone.
QString openFailureText(const DriveRoot& drive, int error);

enum class Direction { Write, Read };
// What to tell the user when a block transfer failed. Throws the drive-access error when the
// drive itself is gone.
QString transferFailureText(FileSystem& fileSystem, const DriveRoot& drive, Direction direction,
                            int error, std::int64_t transferSize, const QString& filePath);

// The message to show when a clean-up step left a test file behind, or none.
std::optional<QString> cleanupFailureText(const std::exception_ptr& failure, const QString& path);

} // namespace kardelo
