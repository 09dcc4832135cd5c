#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace kardelo {

// A block buffer for cache-bypassing transfers: one allocation aligned to the largest sector
// size in use (4096 bytes), its size rounded up to that multiple. size() is the length the
// caller asked for; the rounding is only there so the tail never breaks the alignment rule.
class AlignedBuffer {
public:
    static constexpr std::size_t Alignment = 4096;

    AlignedBuffer() = default;
    // Throws RuntimeError(OutOfMemory) when the memory cannot be had.
    explicit AlignedBuffer(std::size_t size);

    std::byte* data() noexcept { return m_data.get(); }
    const std::byte* data() const noexcept { return m_data.get(); }
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    std::span<std::byte> bytes() noexcept { return {m_data.get(), m_size}; }

private:
    struct Free {
        void operator()(std::byte* memory) const noexcept;
    };
    std::unique_ptr<std::byte[], Free> m_data;
    std::size_t m_size = 0;
};

} // namespace kardelo
