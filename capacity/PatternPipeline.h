#pragma once

#include "AlignedBuffer.h"
#include "UnitPattern.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kardelo::capacity {

// Part of a block buffer that belongs to one place of one file.
struct Stretch {
    std::size_t bufferOffset = 0;
    std::size_t length = 0; // a whole number of units
    std::uint32_t fileNumber = 0;
    std::uint64_t fileOffset = 0;
    std::uint64_t globalPosition = 0;
    bool delivered = true; // false: the medium gave nothing back for it (an I/O error)
};

enum class PatternWork { Fill, Verify };

struct PatternJob {
    PatternWork work = PatternWork::Fill;
    std::size_t slot = 0;
    std::vector<Stretch> stretches;
    Tally found;                // Verify: what the stretches held
    std::exception_ptr failure; // what the work threw, to be raised by the caller
};

// Makes and checks units on a thread of its own while the caller's thread moves blocks: the
// caller fills or reads a slot's buffer, hands the slot over as a job, and gets the jobs back
// in the order it handed them over. The caller alone decides which slots are free.
class PatternPipeline {
public:
    // fileStarts: where each file begins on the check's scale, for verify().
    PatternPipeline(std::size_t slotCount, std::size_t slotBytes, std::uint64_t run,
                    std::vector<std::uint64_t> fileStarts = {});
    ~PatternPipeline();
    PatternPipeline(const PatternPipeline&) = delete;
    PatternPipeline& operator=(const PatternPipeline&) = delete;

    std::size_t slotCount() const noexcept { return m_buffers.size(); }
    std::byte* buffer(std::size_t slot) { return m_buffers.at(slot).data(); }

    void submit(PatternJob job);
    // The oldest job not yet taken back, waiting until it is done. Only while outstanding().
    PatternJob next();
    std::size_t outstanding() const noexcept { return m_outstanding; }

private:
    void work();
    void perform(PatternJob& job);

    std::uint64_t m_run;
    std::vector<std::uint64_t> m_fileStarts;
    std::vector<AlignedBuffer> m_buffers;
    std::size_t m_outstanding = 0; // the caller's count, touched by the caller only
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<PatternJob> m_todo;
    std::deque<PatternJob> m_finished;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace kardelo::capacity
