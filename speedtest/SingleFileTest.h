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
class SingleFileTest {
public:
    static inline const QString TestFileName = QStringLiteral("$_test.$$$");

    SingleFileTest(TestWindow& window, Platform platform);

    RunReport run();
    // Keeps every block's time in the report (a clock reading per block more).
    void recordBlockTimes(bool record) { m_recordBlockTimes = record; }

private:
    void prepare();
    // Preparation, both phases and the normal end. False: take the end-of-test path.
    bool measure();
    // Opens, moves every block and shows the phase's figures. False: take the end-of-test path.
    bool transferPhase(Direction direction);
    void endOfTest(const std::optional<RuntimeError>& pending);
    std::exception_ptr deleteTestFile();

    TestWindow& m_window;
    Platform m_platform;
    TestState& m_state;

    std::int32_t m_blockSizeKB = 0;
    std::int32_t m_blockBytes = 0;
    AlignedBuffer m_buffer;
    std::int32_t m_blockCount = 0;
    std::optional<DriveRoot> m_drive;
    std::optional<FolderLock> m_folderLock;
    std::optional<clsTimer> m_timer;
    RunReport m_report;
    bool m_recordBlockTimes = false;
};

} // namespace kardelo
