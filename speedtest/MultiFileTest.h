#pragma once

#include "AlignedBuffer.h"
#include "DriveRoot.h"
#include "Platform.h"
#include "RuntimeError.h"
#include "TestFiles.h"
#include "TestRun.h"
#include "TestWindow.h"
#include "clsTimer.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kardelo {

// The multi-file test: up to 100 files of random size, each written in one transfer with the
// cache bypassed, read back and deleted. Each file's interval holds its open, transfer and
// flush and close, so the figure includes the file system's cost of making many files.
class MultiFileTest : public TestRun {
public:
    static constexpr std::int32_t MaxFiles = 100;
    static constexpr std::int32_t MaxSizeMB = 4;

    MultiFileTest(TestWindow& window, Platform platform);

    // "$_test001.$$$" for file 1.
    static QString fileName(std::int32_t number);

private:
    void prepare() override;
    bool measure() override;
    CleanupFailure removeTestFiles() override;
    // The drive, its names and the plan; false: take the end-of-test path.
    bool plan();
    // Clears every one of the test's names, so that files a killed run left behind neither
    // stay nor count against the free space. False: take the end-of-test path.
    bool claimTestNames();
    bool writePhase();
    bool readPhase();

    std::int32_t m_plannedCount = MaxFiles;
    std::int32_t m_namedCount = 0; // entries of the file table that got a name
    double m_plannedTotal = 0;
    std::array<QString, MaxFiles + 1> m_names;        // 1-based, as the files are numbered
    std::array<std::int32_t, MaxFiles + 1> m_sizes{}; // bytes
    std::int32_t m_writeTime = 0;                     // whole milliseconds
    std::int32_t m_readTime = 0;
    AlignedBuffer m_buffer;
    bool m_otherRunAtWork = false; // one of the names is held: its neighbours are not leftovers
    std::optional<clsTimer> m_writeTimer;
    std::optional<clsTimer> m_readTimer;
};

} // namespace kardelo
