#include "AlignedBuffer.h"

#include "RuntimeError.h"

#include <cstdlib>

namespace kardelo {

AlignedBuffer::AlignedBuffer(std::size_t size)
{
    if (size == 0)
        return;
    const std::size_t rounded = (size + Alignment - 1) / Alignment * Alignment;
    if (rounded < size)
        throw RuntimeError(ErrorCode::OutOfMemory);
    auto* memory = static_cast<std::byte*>(std::aligned_alloc(Alignment, rounded));
    if (!memory)
        throw RuntimeError(ErrorCode::OutOfMemory);
    m_data.reset(memory);
    m_size = size;
}

void AlignedBuffer::Free::operator()(std::byte* memory) const noexcept
{
    std::free(memory);
}

} // namespace kardelo
