#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The recognisable data of the capacity check.
//
// The check writes units of UnitSize bytes. Every unit begins with a header of HeaderSize
// bytes, all fields little-endian:
//
//   bytes  0..7   marker, the eight ASCII bytes "KRDLUNIT"
//   bytes  8..15  run number, a random number drawn once per run
//   bytes 16..23  offset of the unit within its file, in bytes
//   bytes 24..27  file number
//   bytes 28..31  zero
//   bytes 32..39  check value over bytes 0..31 (four 64-bit words chained through a
//                 bijective mixer: a change confined to one of those words always changes it)
//
// The remaining bytes are a xoshiro256** stream seeded from (run number, file number, offset)
// through splitmix64, so every unit of every run and position has its own contents.
//
// A unit read back is exactly one of these kinds; the rules are applied in this order:
//   Intact       every byte equals what fill() writes for this run and position.
//   Corrupted    marker and check value right, this run and this position, but the data wrong.
//   Overwritten  marker and check value right, this run, another position, and the data equal
//                to that other position's data: the medium gave back a unit written elsewhere.
//   Corrupted    marker and check value right, this run, another position, data not equal to
//                that position's data either (a torn or damaged unit cannot prove a mapping).
//   Empty        marker and check value right, another run: leftovers of an earlier run, never
//                written by this one (its data is not examined).
//   Corrupted    marker right but check value wrong, or the zero bytes 28..31 not zero.
//   Empty        no marker, and all bytes 0x00 or all bytes 0xFF (erased or never written).
//   Corrupted    anything else: bytes that are neither ours nor empty.
// A unit the medium could not deliver at all is Corrupted (Tally::recordUnreadable).
namespace kardelo::capacity {

inline constexpr std::size_t UnitSize = 4096;
inline constexpr std::size_t HeaderSize = 40;
inline constexpr std::array<char, 8> Marker{'K', 'R', 'D', 'L', 'U', 'N', 'I', 'T'};

enum class UnitKind : std::uint8_t { Intact, Corrupted, Overwritten, Empty };
inline constexpr std::size_t UnitKindCount = 4;

// A stretch of consecutive units of one kind. position and length are in bytes, position on
// the scale the engine chose for the whole check (its "global" position).
struct Region {
    UnitKind kind;
    std::uint64_t position;
    std::uint64_t length;

    friend bool operator==(const Region&, const Region&) = default;
};

// What a check has seen so far: units per kind and every stretch that is not intact.
class Tally {
public:
    // Enough stretches for any chart; a medium that alternates kinds unit by unit must not be
    // able to exhaust memory, so stretches beyond the limit are only counted.
    static constexpr std::size_t DefaultRegionLimit = std::size_t{1} << 20;

    explicit Tally(std::size_t regionLimit = DefaultRegionLimit) : m_regionLimit(regionLimit) {}

    std::uint64_t units(UnitKind kind) const { return m_units[index(kind)]; }
    std::uint64_t bytes(UnitKind kind) const { return units(kind) * UnitSize; }
    std::uint64_t totalUnits() const;
    std::uint64_t totalBytes() const { return totalUnits() * UnitSize; }

    // The lowest position of any unit that is not intact.
    std::optional<std::uint64_t> firstBadPosition() const { return m_firstBad; }
    // The lowest position of a unit whose data is lost: corrupted or empty, not overwritten.
    std::optional<std::uint64_t> firstLossPosition() const { return m_firstLoss; }
    // The shortest distance seen between a unit and the position whose data it gave back: the
    // medium maps two places that far apart onto the same flash.
    std::optional<std::uint64_t> shortestAlias() const { return m_shortestAlias; }

    // Not-intact stretches in the order recorded; a stretch that directly continues the last
    // one with the same kind extends it.
    const std::vector<Region>& regions() const { return m_regions; }
    std::uint64_t omittedRegions() const { return m_omittedRegions; }

    // Counts count units of one kind starting at position.
    void record(UnitKind kind, std::uint64_t position, std::uint64_t count);

    // A range that could not be read (I/O error, short read): length bytes, a whole number of
    // units, counted as Corrupted. Throws std::invalid_argument for a partial unit.
    void recordUnreadable(std::uint64_t position, std::uint64_t length);

    // An overwritten unit found distance bytes away from the position its header names.
    void recordAlias(std::uint64_t distance);

private:
    static std::size_t index(UnitKind kind) { return static_cast<std::size_t>(kind); }

    std::array<std::uint64_t, UnitKindCount> m_units{};
    std::optional<std::uint64_t> m_firstBad;
    std::optional<std::uint64_t> m_firstLoss;
    std::optional<std::uint64_t> m_shortestAlias;
    std::vector<Region> m_regions;
    std::size_t m_regionLimit;
    std::uint64_t m_omittedRegions = 0;
};

// Writes the units of this run for a block that starts offset bytes into file fileNumber.
// block.size() must be a multiple of UnitSize (std::invalid_argument otherwise); unit i of the
// block is the unit at offset + i * UnitSize.
void fill(std::span<std::byte> block, std::uint64_t run, std::uint32_t fileNumber,
          std::uint64_t offset);

// Where fill() put a unit, as its header tells, when marker, check value and the zero bytes
// are right; nothing for a unit that is not one of ours. unit.size() must be UnitSize.
struct UnitHeader {
    std::uint64_t run;
    std::uint32_t fileNumber;
    std::uint64_t offset;

    friend bool operator==(const UnitHeader&, const UnitHeader&) = default;
};
std::optional<UnitHeader> readHeader(std::span<const std::byte> unit);

// Classifies one unit read back from where fill() put the unit (run, fileNumber, offset).
// unit.size() must be UnitSize.
UnitKind classify(std::span<const std::byte> unit, std::uint64_t run, std::uint32_t fileNumber,
                  std::uint64_t offset);

// Classifies every unit of a block read back from offset bytes into file fileNumber and adds
// it to tally; the block's first unit lies at globalPosition on the engine's scale. Where file
// number n begins on that scale is fileStarts[n - 1] (NoFileStart where unknown); an
// overwritten unit whose header names a placed file adds its distance to the tally. Returns
// the number of units that were not intact. Same size rule as fill().
inline constexpr std::uint64_t NoFileStart = ~std::uint64_t{0};
std::uint64_t verify(std::span<const std::byte> block, std::uint64_t run, std::uint32_t fileNumber,
                     std::uint64_t offset, std::uint64_t globalPosition, Tally& tally,
                     std::span<const std::uint64_t> fileStarts = {});

} // namespace kardelo::capacity
