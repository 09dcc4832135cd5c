#include "PatternPipeline.h"

#include <span>
#include <utility>

namespace kardelo::capacity {

PatternPipeline::PatternPipeline(std::size_t slotCount, std::size_t slotBytes, std::uint64_t run,
                                 std::vector<std::uint64_t> fileStarts)
    : m_run(run), m_fileStarts(std::move(fileStarts))
{
    m_buffers.reserve(slotCount);
    for (std::size_t i = 0; i < slotCount; ++i)
        m_buffers.emplace_back(slotBytes);
    m_thread = std::thread([this] { work(); });
}

PatternPipeline::~PatternPipeline()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void PatternPipeline::submit(PatternJob job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_todo.push_back(std::move(job));
    }
    ++m_outstanding;
    m_wake.notify_one();
}

PatternJob PatternPipeline::next()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return !m_finished.empty(); });
    PatternJob job = std::move(m_finished.front());
    m_finished.pop_front();
    --m_outstanding;
    return job;
}

void PatternPipeline::work()
{
    for (;;) {
        PatternJob job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_todo.empty(); });
            // Jobs still queued at the end are abandoned: their owner has stopped waiting.
            if (m_stopping)
                return;
            job = std::move(m_todo.front());
            m_todo.pop_front();
        }
        try {
            perform(job);
        } catch (...) {
            job.failure = std::current_exception();
        }
        {
            const std::lock_guard lock(m_mutex);
            m_finished.push_back(std::move(job));
        }
        m_done.notify_one();
    }
}

void PatternPipeline::perform(PatternJob& job)
{
    std::byte* base = m_buffers.at(job.slot).data();
    for (const Stretch& stretch : job.stretches) {
        const std::span<std::byte> bytes(base + stretch.bufferOffset, stretch.length);
        if (job.work == PatternWork::Fill)
            fill(bytes, m_run, stretch.fileNumber, stretch.fileOffset);
        else if (stretch.delivered)
            verify(bytes, m_run, stretch.fileNumber, stretch.fileOffset, stretch.globalPosition,
                   job.found, m_fileStarts);
        else
            job.found.recordUnreadable(stretch.globalPosition, stretch.length);
    }
}

} // namespace kardelo::capacity
