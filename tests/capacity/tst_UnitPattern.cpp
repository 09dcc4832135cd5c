#include "UnitPattern.h"

#include <QTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <vector>

using namespace kardelo::capacity;

namespace {

using Bytes = std::vector<std::byte>;
using Damage = std::function<void(Bytes& block)>;
using Counts = std::array<std::uint64_t, UnitKindCount>; // intact, corrupted, overwritten, empty

constexpr std::uint64_t Run = 0x5eed'0000'c0ff'ee01;
constexpr std::uint64_t OtherRun = Run + 1;
constexpr std::uint32_t File = 3;
constexpr std::uint64_t Offset = std::uint64_t{1} << 20;
constexpr std::uint64_t Global = (std::uint64_t{5} << 30) + Offset; // beyond 32 bits
constexpr std::size_t Units = 8;

Bytes filled(std::size_t units, std::uint64_t run, std::uint32_t file, std::uint64_t offset)
{
    Bytes bytes(units * UnitSize);
    fill(bytes, run, file, offset);
    return bytes;
}

// Unit `index` of the block becomes the given unit, as a medium would return it.
void put(Bytes& block, std::size_t index, const Bytes& unit)
{
    std::memcpy(block.data() + index * UnitSize, unit.data(), UnitSize);
}

void flipBit(Bytes& block, std::size_t unit, std::size_t byte, int bit)
{
    block[unit * UnitSize + byte] ^= std::byte(1u << bit);
}

void setUnit(Bytes& block, std::size_t unit, std::uint8_t value)
{
    std::memset(block.data() + unit * UnitSize, value, UnitSize);
}

Region region(UnitKind kind, std::size_t firstUnit, std::size_t units)
{
    return {kind, Global + firstUnit * UnitSize, units * UnitSize};
}

Counts countsOf(const Tally& tally)
{
    return {tally.units(UnitKind::Intact), tally.units(UnitKind::Corrupted),
            tally.units(UnitKind::Overwritten), tally.units(UnitKind::Empty)};
}

struct Expected {
    Counts counts;
    std::vector<Region> regions;
};

} // namespace

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(Expected)

class tst_UnitPattern : public QObject {
    Q_OBJECT

private slots:
    void whatFaultyMediaReturn_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<Expected>("expected");
        using K = UnitKind;
        const auto row = [](const char* name, Damage damage, Expected expected) {
            QTest::newRow(name) << damage << expected;
        };

        row("intact", [](Bytes&) {}, {{8, 0, 0, 0}, {}});
        row("one bit in the data", [](Bytes& b) { flipBit(b, 2, 1000, 3); },
            {{7, 1, 0, 0}, {region(K::Corrupted, 2, 1)}});
        // Every header field: a flip must never make a unit look like another position or run.
        for (const auto& [field, byte] :
             std::initializer_list<std::pair<const char*, int>>{{"marker", 0},
                                                                {"run", 9},
                                                                {"offset", 18},
                                                                {"file number", 24},
                                                                {"zero field", 30},
                                                                {"check value", 39}})
            QTest::addRow("one bit in the header: %s", field)
                << Damage([byte](Bytes& b) { flipBit(b, 5, std::size_t(byte), 0); })
                << Expected{{7, 1, 0, 0}, {region(K::Corrupted, 5, 1)}};
        row("a unit of another file of this run",
            [](Bytes& b) { put(b, 0, filled(1, Run, File + 1, 0)); },
            {{7, 0, 1, 0}, {region(K::Overwritten, 0, 1)}});
        // A valid header alone proves nothing: the unit must be that other position's unit.
        row("another position's header, damaged data",
            [](Bytes& b) {
                put(b, 4, filled(1, Run, File, Offset + 4 * UnitSize + (64 << 20)));
                flipBit(b, 4, 2000, 1);
            },
            {{7, 1, 0, 0}, {region(K::Corrupted, 4, 1)}});
        row("right header, data zeroed",
            [](Bytes& b) {
                std::memset(b.data() + 1 * UnitSize + HeaderSize, 0, UnitSize - HeaderSize);
            },
            {{7, 1, 0, 0}, {region(K::Corrupted, 1, 1)}});
        row("all 0xFF", [](Bytes& b) { std::memset(b.data(), 0xFF, b.size()); },
            {{0, 0, 0, 8}, {region(K::Empty, 0, 8)}});
        row("zeros with one stray byte",
            [](Bytes& b) {
                setUnit(b, 0, 0x00);
                b[100] = std::byte{0x01};
            },
            {{7, 1, 0, 0}, {region(K::Corrupted, 0, 1)}});
        row("units of another run at this position",
            [](Bytes& b) {
                put(b, 1, filled(1, OtherRun, File, Offset + 1 * UnitSize));
                put(b, 2, filled(1, OtherRun, 9, 0));
            },
            {{6, 0, 0, 2}, {region(K::Empty, 1, 2)}});
        row("another run's unit with a damaged header",
            [](Bytes& b) {
                put(b, 1, filled(1, OtherRun, File, Offset + 1 * UnitSize));
                flipBit(b, 1, 20, 4);
            },
            {{7, 1, 0, 0}, {region(K::Corrupted, 1, 1)}});
        row("a mix: runs of one kind merge, different kinds do not",
            [](Bytes& b) {
                setUnit(b, 0, 0x00);
                flipBit(b, 1, 50, 0);
                flipBit(b, 2, 3000, 6);
                put(b, 3, filled(1, Run, File, 0));
                put(b, 5, filled(1, Run, File, 0));
                put(b, 6, filled(1, Run, File, UnitSize));
            },
            {{2, 2, 3, 1},
             {region(K::Empty, 0, 1), region(K::Corrupted, 1, 2), region(K::Overwritten, 3, 1),
              region(K::Overwritten, 5, 2)}});
    }
    void whatFaultyMediaReturn()
    {
        QFETCH(Damage, damage);
        QFETCH(Expected, expected);
        Bytes block = filled(Units, Run, File, Offset);
        damage(block);

        Tally tally;
        const std::uint64_t bad = verify(block, Run, File, Offset, Global, tally);

        QCOMPARE(countsOf(tally), expected.counts);
        QCOMPARE(bad, Units - expected.counts[0]);
        QCOMPARE(tally.regions(), expected.regions);
        if (expected.regions.empty())
            QVERIFY(!tally.firstBadPosition());
        else
            QCOMPARE(tally.firstBadPosition(), expected.regions.front().position);
        // The single-unit answer agrees with the block's.
        for (const Region& r : expected.regions) {
            const std::size_t unit = (r.position - Global) / UnitSize;
            QCOMPARE(classify(std::span(block).subspan(unit * UnitSize, UnitSize), Run, File,
                              Offset + unit * UnitSize),
                     r.kind);
        }
    }

    void stretchesContinueAcrossBlocksAndUnreadableRanges()
    {
        // Two blocks read back to back, each ending or starting in overwritten units, with an
        // unreadable block between them.
        Bytes first = filled(4, Run, File, 0);
        put(first, 3, filled(1, Run, File, 1 << 30));
        Bytes second = filled(4, Run, File, 8 * UnitSize);
        put(second, 0, filled(1, Run, File, 1 << 30));
        put(second, 1, filled(1, Run, File, 1 << 30));

        Tally tally;
        QCOMPARE(verify(first, Run, File, 0, Global, tally), 1u);
        tally.recordUnreadable(Global + 4 * UnitSize, 4 * UnitSize);
        QCOMPARE(verify(second, Run, File, 8 * UnitSize, Global + 8 * UnitSize, tally), 2u);
        tally.recordUnreadable(Global + 12 * UnitSize, UnitSize);

        QCOMPARE(countsOf(tally), (Counts{5, 5, 3, 0}));
        QCOMPARE(tally.regions(), (std::vector<Region>{
                                      region(UnitKind::Overwritten, 3, 1),
                                      region(UnitKind::Corrupted, 4, 4),
                                      region(UnitKind::Overwritten, 8, 2),
                                      region(UnitKind::Corrupted, 12, 1),
                                  }));
        QCOMPARE(tally.firstBadPosition(), Global + 3 * UnitSize);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, tally.recordUnreadable(0, 512));
    }

    void stretchesBeyondTheLimitAreCountedNotKept()
    {
        Bytes block = filled(8, Run, File, 0);
        for (std::size_t unit : {1, 3, 5, 7})
            setUnit(block, unit, 0x00);
        Tally tally(2);
        verify(block, Run, File, 0, Global, tally);
        QCOMPARE(tally.regions().size(), 2u);
        QCOMPARE(tally.omittedRegions(), 2u);
        QCOMPARE(tally.units(UnitKind::Empty), 4u);
        QCOMPARE(tally.firstBadPosition(), Global + UnitSize);
    }

    void sameInputsSameBytesOtherInputsOtherBytes()
    {
        const Bytes reference = filled(4, Run, File, Offset);
        // A unit does not depend on the block it was written in: the read phase may use
        // other block sizes than the write phase.
        const Bytes third = filled(1, Run, File, Offset + 2 * UnitSize);
        QVERIFY(std::equal(third.begin(), third.end(), reference.begin() + 2 * UnitSize));

        const Bytes unit = filled(1, Run, File, Offset);
        for (const Bytes& other :
             {filled(1, OtherRun, File, Offset), filled(1, Run, File + 1, Offset),
              filled(1, Run, File, Offset + UnitSize),
              filled(1, Run, File, Offset + (std::uint64_t{1} << 32))}) {
            // Not only the header: the data differs too, word by word.
            const auto differing = std::inner_product(
                unit.begin() + HeaderSize, unit.end(), other.begin() + HeaderSize, 0, std::plus<>(),
                [](std::byte a, std::byte b) { return a != b ? 1 : 0; });
            QVERIFY2(differing > int(UnitSize - HeaderSize) * 9 / 10,
                     qPrintable(QString::number(differing)));
        }
    }

    void unitsKeptByAnEarlierVersionStayReadable()
    {
        // Files left with --keep are checked later, perhaps by a newer build: the layout and
        // the generator are part of the medium's format.
        const Bytes unit = filled(1, 0x0123456789abcdef, 0x01020304, 0x0000000500001000);
        const unsigned char header[32] = {'K',  'R',  'D',  'L',  'U',  'N',  'I',  'T',
                                          0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01,
                                          0x00, 0x10, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
                                          0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00};
        QVERIFY(std::memcmp(unit.data(), header, sizeof header) == 0);
        const auto word = [&unit](std::size_t at) {
            std::uint64_t value = 0;
            for (int i = 7; i >= 0; --i)
                value = value << 8 | std::to_integer<std::uint64_t>(unit[at + std::size_t(i)]);
            return value;
        };
        QCOMPARE(word(32), 0xf4c8e4bc25d30cd1u);
        QCOMPARE(word(40), 0xb2592a3ecf0d7c5du);
        QCOMPARE(word(UnitSize - 8), 0x413df483891da6adu);
    }
};

QTEST_GUILESS_MAIN(tst_UnitPattern)
#include "tst_UnitPattern.moc"
