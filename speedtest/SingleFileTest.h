#pragma once

#include "AlignedBuffer.h"
#include "DriveRoot.h"
#include "Platform.h"
#include "RuntimeError.h"
#include "TestFiles.h"
#include "TestRun.h"
#include "TestWindow.h"
#include "clsTimer.h"

#include <cstdint>
#include <optional>

namespace kardelo {

// The single-file test: one file of the chosen size in the drive's root, written block by
// block with the cache bypassed, timed, read back the same way and deleted. Runs from start to
// end inside one call on the user-interface thread, letting the window handle its messages
// before every block.
class SingleFileTest : public TestRun {
public:
    static inline const QString TestFileName = QStringLiteral("$_test.$$$");

    SingleFileTest(TestWindow& window, Platform platform);

    // Keeps every block's time in the report (a clock reading per block more).
    void recordBlockTimes(bool record) { m_recordBlockTimes = record; }

private:
    void prepare() override;
    bool measure() override;
    CleanupFailure removeTestFiles() override;
    // Opens, moves every block and shows the phase's figures. False: take the end-of-test path.
    bool transferPhase(Direction direction);

    std::int32_t m_blockSizeKB = 0;
    std::int32_t m_blockBytes = 0;
    AlignedBuffer m_buffer;
    std::int32_t m_blockCount = 0;
    std::optional<clsTimer> m_timer;
    bool m_recordBlockTimes = false;
};

} // namespace kardelo
