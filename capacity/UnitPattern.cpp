#include "UnitPattern.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace kardelo::capacity {

namespace {

constexpr std::size_t WordSize = sizeof(std::uint64_t);
constexpr std::size_t HeaderWords = HeaderSize / WordSize;
constexpr std::size_t DataWords = (UnitSize - HeaderSize) / WordSize;
static_assert(HeaderSize % WordSize == 0 && (UnitSize - HeaderSize) % WordSize == 0);

// Distinct starting values keep the check value and the data seed unrelated.
constexpr std::uint64_t CheckKey = 0x6b617264656c6f31; // "kardelo1"
constexpr std::uint64_t SeedKey = 0x3e1f5c0a9d2b7481;

std::uint64_t toLittle(std::uint64_t value)
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap64(value);
    return value;
}

std::uint64_t load(const std::byte* at)
{
    std::uint64_t value;
    std::memcpy(&value, at, WordSize);
    return toLittle(value);
}

void store(std::byte* at, std::uint64_t value)
{
    value = toLittle(value);
    std::memcpy(at, &value, WordSize);
}

// The splitmix64 finaliser: a bijection on 64-bit values.
constexpr std::uint64_t mix(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 27;
    x *= 0x94d049bb133111eb;
    x ^= x >> 31;
    return x;
}

const std::uint64_t MarkerWord = [] {
    std::byte bytes[WordSize];
    std::memcpy(bytes, Marker.data(), WordSize);
    return load(bytes);
}();

struct Header {
    std::uint64_t run;
    std::uint64_t offset;
    std::uint64_t fileWord; // file number in the low half, zero in the high half

    std::uint64_t check() const
    {
        std::uint64_t h = CheckKey;
        for (std::uint64_t word : {MarkerWord, run, offset, fileWord})
            h = mix(h ^ word);
        return h;
    }

    std::array<std::uint64_t, HeaderWords> words() const
    {
        return {MarkerWord, run, offset, fileWord, check()};
    }
};

Header headerFor(std::uint64_t run, std::uint32_t fileNumber, std::uint64_t offset)
{
    return {run, offset, fileNumber};
}

class Xoshiro256StarStar {
public:
    Xoshiro256StarStar(std::uint64_t run, std::uint64_t fileNumber, std::uint64_t offset)
    {
        std::uint64_t h = mix(SeedKey ^ run);
        h = mix(h ^ fileNumber);
        h = mix(h ^ offset);
        for (std::uint64_t& word : m_state) {
            h += 0x9e3779b97f4a7c15;
            word = mix(h);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = std::rotl(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = std::rotl(m_state[3], 45);
        return result;
    }

private:
    std::uint64_t m_state[4];
};

void writeUnit(std::byte* unit, std::uint64_t run, std::uint32_t fileNumber, std::uint64_t offset)
{
    const auto header = headerFor(run, fileNumber, offset).words();
    for (std::size_t i = 0; i < HeaderWords; ++i)
        store(unit + i * WordSize, header[i]);
    Xoshiro256StarStar generator(run, fileNumber, offset);
    std::byte* data = unit + HeaderSize;
    for (std::size_t i = 0; i < DataWords; ++i)
        store(data + i * WordSize, generator.next());
}

bool headerEquals(const std::byte* unit, const std::array<std::uint64_t, HeaderWords>& expected)
{
    std::uint64_t difference = 0;
    for (std::size_t i = 0; i < HeaderWords; ++i)
        difference |= load(unit + i * WordSize) ^ expected[i];
    return difference == 0;
}

// Runs without an early exit: the whole unit is compared at the generator's pace.
bool dataEquals(const std::byte* unit, std::uint64_t run, std::uint64_t fileNumber,
                std::uint64_t offset)
{
    Xoshiro256StarStar generator(run, fileNumber, offset);
    const std::byte* data = unit + HeaderSize;
    std::uint64_t difference = 0;
    for (std::size_t i = 0; i < DataWords; ++i)
        difference |= load(data + i * WordSize) ^ generator.next();
    return difference == 0;
}

bool allBytesAre(const std::byte* unit, std::byte value)
{
    return std::all_of(unit, unit + UnitSize, [value](std::byte b) { return b == value; });
}

// For a unit whose header is not exactly the expected one.
UnitKind classifyUnexpectedHeader(const std::byte* unit, std::uint64_t run)
{
    if (load(unit) != MarkerWord) {
        if (allBytesAre(unit, std::byte{0x00}) || allBytesAre(unit, std::byte{0xFF}))
            return UnitKind::Empty;
        return UnitKind::Corrupted;
    }
    const Header found{load(unit + 1 * WordSize), load(unit + 2 * WordSize),
                       load(unit + 3 * WordSize)};
    if (found.fileWord >> 32 != 0 || found.check() != load(unit + 4 * WordSize))
        return UnitKind::Corrupted;
    if (found.run != run)
        return UnitKind::Empty;
    return dataEquals(unit, found.run, found.fileWord, found.offset) ? UnitKind::Overwritten
                                                                     : UnitKind::Corrupted;
}

void requireWholeUnits(std::size_t size)
{
    if (size % UnitSize != 0)
        throw std::invalid_argument("block size is not a multiple of the unit size");
}

} // namespace

std::uint64_t Tally::totalUnits() const
{
    return std::accumulate(m_units.begin(), m_units.end(), std::uint64_t{0});
}

void Tally::record(UnitKind kind, std::uint64_t position, std::uint64_t count)
{
    if (count == 0)
        return;
    m_units[index(kind)] += count;
    if (kind == UnitKind::Intact)
        return;
    m_firstBad = std::min(m_firstBad.value_or(position), position);
    if (kind != UnitKind::Overwritten)
        m_firstLoss = std::min(m_firstLoss.value_or(position), position);
    const std::uint64_t length = count * UnitSize;
    if (!m_regions.empty()) {
        Region& last = m_regions.back();
        if (last.kind == kind && last.position + last.length == position) {
            last.length += length;
            return;
        }
    }
    if (m_regions.size() < m_regionLimit)
        m_regions.push_back({kind, position, length});
    else
        ++m_omittedRegions;
}

void Tally::recordUnreadable(std::uint64_t position, std::uint64_t length)
{
    if (length % UnitSize != 0)
        throw std::invalid_argument("unreadable length is not a whole number of units");
    record(UnitKind::Corrupted, position, length / UnitSize);
}

void Tally::recordAlias(std::uint64_t distance)
{
    if (distance > 0)
        m_shortestAlias = std::min(m_shortestAlias.value_or(distance), distance);
}

void fill(std::span<std::byte> block, std::uint64_t run, std::uint32_t fileNumber,
          std::uint64_t offset)
{
    requireWholeUnits(block.size());
    for (std::size_t at = 0; at < block.size(); at += UnitSize)
        writeUnit(block.data() + at, run, fileNumber, offset + at);
}

std::optional<UnitHeader> readHeader(std::span<const std::byte> unit)
{
    if (unit.size() != UnitSize)
        throw std::invalid_argument("a unit has exactly UnitSize bytes");
    if (load(unit.data()) != MarkerWord)
        return std::nullopt;
    const Header found{load(unit.data() + 1 * WordSize), load(unit.data() + 2 * WordSize),
                       load(unit.data() + 3 * WordSize)};
    if (found.fileWord >> 32 != 0 || found.check() != load(unit.data() + 4 * WordSize))
        return std::nullopt;
    return UnitHeader{found.run, static_cast<std::uint32_t>(found.fileWord), found.offset};
}

UnitKind classify(std::span<const std::byte> unit, std::uint64_t run, std::uint32_t fileNumber,
                  std::uint64_t offset)
{
    if (unit.size() != UnitSize)
        throw std::invalid_argument("a unit has exactly UnitSize bytes");
    if (!headerEquals(unit.data(), headerFor(run, fileNumber, offset).words()))
        return classifyUnexpectedHeader(unit.data(), run);
    return dataEquals(unit.data(), run, fileNumber, offset) ? UnitKind::Intact
                                                            : UnitKind::Corrupted;
}

namespace {

std::optional<std::uint64_t> placeOf(const UnitHeader& header,
                                     std::span<const std::uint64_t> fileStarts)
{
    if (header.fileNumber == 0 || header.fileNumber > fileStarts.size())
        return std::nullopt;
    const std::uint64_t start = fileStarts[header.fileNumber - 1];
    if (start == NoFileStart)
        return std::nullopt;
    return start + header.offset;
}

} // namespace

std::uint64_t verify(std::span<const std::byte> block, std::uint64_t run, std::uint32_t fileNumber,
                     std::uint64_t offset, std::uint64_t globalPosition, Tally& tally,
                     std::span<const std::uint64_t> fileStarts)
{
    requireWholeUnits(block.size());
    std::uint64_t intactRun = 0; // intact units not yet handed to the tally
    std::uint64_t bad = 0;
    for (std::size_t at = 0; at < block.size(); at += UnitSize) {
        const std::byte* unit = block.data() + at;
        const UnitKind kind = classify({unit, UnitSize}, run, fileNumber, offset + at);
        if (kind == UnitKind::Intact) {
            ++intactRun;
            continue;
        }
        ++bad;
        tally.record(UnitKind::Intact, globalPosition, intactRun);
        intactRun = 0;
        tally.record(kind, globalPosition + at, 1);
        if (kind == UnitKind::Overwritten) {
            const std::uint64_t here = globalPosition + at;
            if (const auto there = placeOf(*readHeader({unit, UnitSize}), fileStarts))
                tally.recordAlias(here > *there ? here - *there : *there - here);
        }
    }
    tally.record(UnitKind::Intact, globalPosition, intactRun);
    return bad;
}

} // namespace kardelo::capacity
