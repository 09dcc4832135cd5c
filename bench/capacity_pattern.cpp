// Benchmark, not a test: how many GB/s one core fills with the capacity check's units and
// verifies them, for intact data and for data that is overwritten throughout (every unit
// holds another position's unit, as a counterfeit medium returns it). 1 MiB blocks over a
// 64 MiB buffer, so the data comes from memory as it would after a transfer.

#include "UnitPattern.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

using namespace kardelo::capacity;

namespace {

constexpr std::size_t BlockBytes = std::size_t{1} << 20;
constexpr std::size_t BufferBytes = std::size_t{64} << 20;
constexpr std::uint64_t Run = 0x1234'5678'9abc'def0;
constexpr double MinimumSeconds = 1.0;

struct FreeBuffer {
    void operator()(std::byte* memory) const { std::free(memory); }
};

using Buffer = std::unique_ptr<std::byte[], FreeBuffer>;

Buffer makeBuffer()
{
    return Buffer(static_cast<std::byte*>(std::aligned_alloc(4096, BufferBytes)));
}

// Repeats whole passes over the buffer until MinimumSeconds have passed; returns GB/s
// (10^9 bytes per second).
template <typename Pass> double gigabytesPerSecond(Pass pass)
{
    using Clock = std::chrono::steady_clock;
    pass(); // warm-up: page faults and caches
    std::uint64_t bytes = 0;
    const auto start = Clock::now();
    std::chrono::duration<double> elapsed{};
    do {
        pass();
        bytes += BufferBytes;
        elapsed = Clock::now() - start;
    } while (elapsed.count() < MinimumSeconds);
    return static_cast<double>(bytes) / elapsed.count() / 1e9;
}

void fillBuffer(std::byte* buffer, std::uint64_t firstOffset)
{
    for (std::size_t at = 0; at < BufferBytes; at += BlockBytes)
        fill(std::span(buffer + at, BlockBytes), Run, 1, firstOffset + at);
}

Tally verifyBuffer(const std::byte* buffer)
{
    Tally tally;
    for (std::size_t at = 0; at < BufferBytes; at += BlockBytes)
        verify(std::span(buffer + at, BlockBytes), Run, 1, at, at, tally);
    return tally;
}

} // namespace

int main()
{
    const Buffer buffer = makeBuffer();
    if (!buffer) {
        std::fprintf(stderr, "no memory for a %zu MiB buffer\n", BufferBytes >> 20);
        return 1;
    }

    const double fillRate = gigabytesPerSecond([&] { fillBuffer(buffer.get(), 0); });

    fillBuffer(buffer.get(), 0);
    Tally intact;
    const double intactRate = gigabytesPerSecond([&] { intact = verifyBuffer(buffer.get()); });

    // Written at positions one buffer further on: what a medium that wraps returns.
    fillBuffer(buffer.get(), BufferBytes);
    Tally overwritten;
    const double overwrittenRate =
        gigabytesPerSecond([&] { overwritten = verifyBuffer(buffer.get()); });

    std::printf("one thread, %zu KiB blocks, %zu MiB buffer, GB = 10^9 bytes\n", BlockBytes >> 10,
                BufferBytes >> 20);
    std::printf("%-28s %8.2f GB/s\n", "fill", fillRate);
    std::printf("%-28s %8.2f GB/s  (%llu of %llu units intact)\n", "verify, intact data",
                intactRate, static_cast<unsigned long long>(intact.units(UnitKind::Intact)),
                static_cast<unsigned long long>(intact.totalUnits()));
    std::printf("%-28s %8.2f GB/s  (%llu of %llu units overwritten, %zu region)\n",
                "verify, overwritten data", overwrittenRate,
                static_cast<unsigned long long>(overwritten.units(UnitKind::Overwritten)),
                static_cast<unsigned long long>(overwritten.totalUnits()),
                overwritten.regions().size());
    return 0;
}
