// The capacity check against modelled media: sound, counterfeit, failing and pulled out. The
// files are real (a temporary folder); the model decides what fits, what reads give back and
// how long transfers take, so counts, positions and speeds come out exactly.

#include "CapacityCheck.h"
#include "CheckMessages.h"
#include "MediumModel.h"
#include "TestFiles.h"
#include "TestMessages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::capacity;
using namespace kardelo::testing;

namespace {

constexpr std::uint64_t Unit = UnitSize;

struct Found {
    std::uint64_t intact, corrupted, overwritten, empty; // units
    std::optional<std::uint64_t> firstBad;
    friend bool operator==(const Found&, const Found&) = default;
};

Found foundIn(const CheckReport& report)
{
    const Tally& t = report.tally;
    return {t.units(UnitKind::Intact), t.units(UnitKind::Corrupted), t.units(UnitKind::Overwritten),
            t.units(UnitKind::Empty), t.firstBadPosition()};
}

class RecordingObserver : public CheckObserver {
public:
    QList<CheckPhase> phases;
    QList<Progress> progressSeen;
    std::vector<Region> regions;
    QStringList messages;

    void phaseChanged(CheckPhase phase) override { phases << phase; }
    void progress(const Progress& p) override { progressSeen << p; }
    void badRegion(const Region& region) override { regions.push_back(region); }
    void message(const QString& text) override { messages << text; }

    std::uint64_t reportedBytes(UnitKind kind) const
    {
        std::uint64_t bytes = 0;
        for (const Region& region : regions)
            bytes += region.kind == kind ? region.length : 0;
        return bytes;
    }
};

using Setup = std::function<void(MediumModel&, CheckSettings&)>;

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Found)

class tst_CapacityCheck : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MediumModel> m_medium;
    ManualClock m_clock;
    std::atomic<bool> m_abort{false};
    RecordingObserver m_observer;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    // A medium of 12 MiB, checked in 1 MiB blocks and files of at most 5 MiB (three files:
    // 5, 5 and 2 MiB), a trace point every 4 MiB.
    CheckSettings settings() const
    {
        CheckSettings settings;
        settings.folder = m_dir->path();
        settings.protectedFolders = {};
        settings.blockBytes = 1 * MiB;
        settings.maxFileBytes = 5 * MiB;
        settings.minimumTraceInterval = 4 * MiB;
        return settings;
    }

    void freshMedium()
    {
        m_medium = std::make_unique<MediumModel>();
        m_medium->capacity = 12 * MiB;
        m_medium->clock = &m_clock;
        m_observer = RecordingObserver();
        m_abort = false;
    }

    CheckReport check(const CheckSettings& settings)
    {
        CapacityCheck check(*m_medium, m_clock, settings);
        return check.run(m_observer, m_abort);
    }

    QStringList filesOfOurs() const
    {
        return QDir(m_dir->path()).entryList({"$_cap*"}, QDir::AllEntries | QDir::System);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        freshMedium();
    }

    void whatTheMediumGivesBack_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<Found>("expected");
        const auto row = [](const char* name, Setup setup, Found expected) {
            QTest::newRow(name) << setup << expected;
        };
        const std::uint64_t all = 12 * MiB / Unit;
        row("a sound medium", [](MediumModel&, CheckSettings&) {}, {all, 0, 0, 0, {}});
        row("full answered with EPERM, as fusefat does",
            [](MediumModel& m, CheckSettings&) { m.fullError = EPERM; }, {all, 0, 0, 0, {}});
        row("room for part of a unit at the end",
            [](MediumModel& m, CheckSettings&) { m.capacity = 12 * MiB + 1000; },
            {all, 0, 0, 0, {}});
        row("full inside a block",
            [](MediumModel& m, CheckSettings&) { m.capacity = 12 * MiB - 5000; },
            {all - 2, 0, 0, 0, {}});
        row("a file system whose files end at 3 MiB",
            [](MediumModel& m, CheckSettings&) { m.maxFileSize = 3 * MiB; }, {all, 0, 0, 0, {}});
        row("full exactly where a file ends",
            [](MediumModel& m, CheckSettings&) { m.capacity = 10 * MiB; },
            {10 * MiB / Unit, 0, 0, 0, {}});
        row("counterfeit: 4 MiB of flash that wraps",
            [](MediumModel& m, CheckSettings&) { m.wrapBeyond = 4 * MiB; }, {1024, 0, 2048, 0, 0});
        row("counterfeit: flash that wraps off the block and file grid",
            [](MediumModel& m, CheckSettings&) { m.wrapBeyond = 5 * MiB + Unit; },
            {1281, 0, all - 1281, 0, 0});
        row("a bit flipped in a unit's data",
            [](MediumModel& m, CheckSettings&) { m.flippedByte = 6 * MiB + 3 * Unit + 1000; },
            {all - 1, 1, 0, 0, 6 * MiB + 3 * Unit});
        row("a bit flipped in a unit's header",
            [](MediumModel& m, CheckSettings&) { m.flippedByte = 2 * MiB + 17; },
            {all - 1, 1, 0, 0, 2 * MiB});
        row("flash that ends at 7 MiB and reads zeros beyond",
            [](MediumModel& m, CheckSettings&) { m.zerosBeyond = 7 * MiB; },
            {7 * MiB / Unit, 0, 0, 5 * MiB / Unit, 7 * MiB});
        row("three unreadable units",
            [](MediumModel& m, CheckSettings&) {
                m.unreadableFrom = 9 * MiB + 2 * Unit;
                m.unreadableTo = 9 * MiB + 5 * Unit;
            },
            {all - 3, 3, 0, 0, 9 * MiB + 2 * Unit});
        row("unreadable units on both sides of a file's end",
            [](MediumModel& m, CheckSettings&) {
                m.unreadableFrom = 5 * MiB - Unit;
                m.unreadableTo = 5 * MiB + Unit;
            },
            {all - 2, 2, 0, 0, 5 * MiB - Unit});
        row("a size limit", [](MediumModel&, CheckSettings& s) { s.sizeLimit = 7 * MiB + 100; },
            {7 * MiB / Unit, 0, 0, 0, {}});
    }
    void whatTheMediumGivesBack()
    {
        QFETCH(Setup, setup);
        QFETCH(Found, expected);
        CheckSettings settings = this->settings();
        setup(*m_medium, settings);
        const CheckReport report = check(settings);

        QCOMPARE(report.outcome, CheckOutcome::Completed);
        QCOMPARE(report.messages, QStringList());
        QCOMPARE(foundIn(report), expected);
        const std::uint64_t written =
            (expected.intact + expected.corrupted + expected.overwritten + expected.empty) * Unit;
        QCOMPARE(report.bytesWritten, written);
        // As large as the file system allows; none that the full medium took nothing into.
        const std::uint64_t fileBytes = std::min(settings.maxFileBytes, m_medium->maxFileSize);
        QCOMPARE(report.files, static_cast<std::uint32_t>((written + fileBytes - 1) / fileBytes));
        QCOMPARE(report.mediumFull, !settings.sizeLimit);
        // A wrapping medium overwrote its start when filled, yet holds as much as its flash.
        QCOMPARE(report.usableCapacity(),
                 m_medium->wrapBeyond.value_or(expected.firstBad.value_or(written)));
        // The observer heard of every unit that is not intact, as it was found.
        for (const UnitKind kind : {UnitKind::Corrupted, UnitKind::Overwritten, UnitKind::Empty})
            QCOMPARE(m_observer.reportedBytes(kind), report.tally.bytes(kind));
        QCOMPARE(m_observer.phases, (QList<CheckPhase>{CheckPhase::Writing, CheckPhase::Reading,
                                                       CheckPhase::Deleting}));
        QCOMPARE(filesOfOurs(), QStringList());
    }

    void unreadableUnitsAreNarrowedDownCheaply()
    {
        m_medium->unreadableFrom = 9 * MiB + 2 * Unit;
        m_medium->unreadableTo = 9 * MiB + 5 * Unit;
        const CheckReport report = check(settings());
        QCOMPARE(report.tally.regions(),
                 (std::vector<Region>{{UnitKind::Corrupted, 9 * MiB + 2 * Unit, 3 * Unit}}));
        // Halving a 1 MiB block down to single units fails at most twice per level.
        QVERIFY2(m_medium->failedReads <= 2 * 8 + 1,
                 qPrintable(QString::number(m_medium->failedReads)));
    }

    void figuresAndTrace()
    {
        // A stick whose write speed collapses once 6 MiB filled its fast cache.
        m_medium->writeSpeed = [](std::uint64_t at) { return (at < 6 * MiB ? 20.0 : 5.0) * MiB; };
        m_medium->readSpeed = [](std::uint64_t) { return 40.0 * MiB; };
        const CheckReport report = check(settings());

        QCOMPARE(report.plannedBytes, 12 * MiB);
        QCOMPARE(report.files, 3u);
        QCOMPARE(report.writing->bytes, 12 * MiB);
        QCOMPARE(report.writing->seconds, 6.0 / 20 + 6.0 / 5);
        QCOMPARE(report.writing->mbytesPerSecond(), 8.0);
        QCOMPARE(report.reading->mbytesPerSecond(), 40.0);
        QCOMPARE(report.traceInterval, 4 * MiB);
        const auto point = [](std::uint64_t from, double write, double read) {
            return TracePoint{from * MiB, 4 * MiB, write * MiB, read * MiB};
        };
        // 4 to 8 MiB: 2 MiB at 20 and 2 MiB at 5 MiB/s take half a second.
        QCOMPARE(report.trace,
                 (std::vector<TracePoint>{point(0, 20, 40), point(4, 8, 40), point(8, 5, 40)}));

        const CheckObserver::Progress& first = m_observer.progressSeen.first();
        QCOMPARE(first.phase, CheckPhase::Writing);
        QCOMPARE(first.bytesDone, 1 * MiB);
        QCOMPARE(first.bytesTotal, 12 * MiB);
        // 11 MiB more to write and 12 to read, at the 20 MiB/s seen so far.
        QCOMPARE(first.secondsLeft.value_or(-1), 23.0 / 20);
        const CheckObserver::Progress& last = m_observer.progressSeen.last();
        QCOMPARE(last.phase, CheckPhase::Reading);
        QCOMPARE(last.bytesDone, 12 * MiB);
        QCOMPARE(last.secondsLeft.value_or(-1), 0.0);
        QCOMPARE(last.elapsedSeconds, 1.5 + 0.3);
    }

    void aPulledMediumEndsTheCheck_data()
    {
        QTest::addColumn<bool>("whileWriting");
        QTest::addColumn<bool>("mountStillAnswers");
        QTest::newRow("gone while writing") << true << false;
        QTest::newRow("every write fails, the mount still answers") << true << true;
        QTest::newRow("gone while reading") << false << false;
        // A stick pulled out while the file system still answers from memory: every transfer
        // fails, also where reading (or writing) went well a moment before.
        QTest::newRow("every read fails, the mount still answers") << false << true;
    }
    void aPulledMediumEndsTheCheck()
    {
        QFETCH(bool, whileWriting);
        QFETCH(bool, mountStillAnswers);
        m_medium->beforeTransferAt = [&](bool writing, std::uint64_t position) {
            if (writing == whileWriting && position >= 5 * MiB)
                (mountStillAnswers ? m_medium->everythingFails : m_medium->driveGone) = true;
        };
        const CheckReport report = check(settings());

        QCOMPARE(report.outcome, CheckOutcome::DriveGone);
        QCOMPARE(report.messages, QStringList{kardelo::messages::DriveAccess});
        // No figure for the phase the medium was lost in.
        QCOMPARE(report.writing.has_value(), !whileWriting);
        QVERIFY(!report.reading);
        QCOMPARE(m_medium->removed, QStringList());
    }

    void aWriteErrorEndsOnlyTheWriting()
    {
        m_medium->beforeTransferAt = [&](bool writing, std::uint64_t position) {
            m_medium->everythingFails = writing && position >= 7 * MiB;
        };
        const CheckReport report = check(settings());
        QCOMPARE(report.outcome, CheckOutcome::Completed);
        QVERIFY(report.writeFailed && !report.mediumFull);
        QCOMPARE(report.messages,
                 QStringList{kardelo::messages::WriteFailed + m_medium->errorText(EIO)});
        QCOMPARE(foundIn(report), (Found{7 * MiB / Unit, 0, 0, 0, {}}));
        QCOMPARE(filesOfOurs(), QStringList());
    }

    void keptFilesAreCheckedLater()
    {
        CheckSettings keep = settings();
        keep.keepFiles = true;
        const CheckReport written = check(keep);
        QCOMPARE(filesOfOurs(), (QStringList{"$_cap0001.$$$", "$_cap0002.$$$", "$_cap0003.$$$"}));

        // Unplugged and plugged in again: a new medium object, and the first unit's header
        // damaged, which must not hide the run the files belong to.
        freshMedium();
        m_medium->flippedByte = 17;
        CheckSettings readBack = settings();
        readBack.readOnly = true;
        const CheckReport report = check(readBack);
        QCOMPARE(report.outcome, CheckOutcome::Completed);
        QCOMPARE(report.run, written.run);
        QCOMPARE(report.files, 3u);
        QVERIFY(!report.writing);
        QCOMPARE(foundIn(report), (Found{12 * MiB / Unit - 1, 1, 0, 0, 0}));
        QCOMPARE(m_medium->storedBytes(), 0u);
        QCOMPARE(filesOfOurs(), QStringList());
    }

    void refusals_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("left");
        const QString dir = m_dir ? m_dir->path() : QString();
        QTest::newRow("the system's or the home folder's file system")
            << Setup([](MediumModel&, CheckSettings& s) {
                   QDir(s.folder).mkdir("home");
                   s.protectedFolders = {"/nonexistent", s.folder + "/home"};
               })
            << QStringList{"%1 liegt auf demselben Dateisystem wie %1/home. Die Prüfung füllt "
                           "den ganzen freien Platz und ist nur für USB-Sticks und "
                           "Speicherkarten gedacht, nicht für das System oder den persönlichen "
                           "Ordner."}
            << QStringList{};
        QTest::newRow("less than a unit free")
            << Setup([](MediumModel& m, CheckSettings&) {
                   m.space = DiskSpace{4095, 1 << 20, 4095};
               })
            << QStringList{"Auf dem ausgewählten Datenträger sind nur: 4,095 Byte frei. Die "
                           "Prüfung braucht mindestens 4,096 Byte."}
            << QStringList{};
        QTest::newRow("a folder at a name of ours")
            << Setup([](MediumModel&, CheckSettings& s) { QDir(s.folder).mkdir("$_cap0001.$$$"); })
            << QStringList{"Der Ordner \"%1/$_cap0001.$$$\" trägt den Namen einer Testdatei und "
                           "bleibt, wo er ist. Bitte umbenennen oder löschen!"}
            << QStringList{"$_cap0001.$$$"};
        QTest::newRow("nothing to read back")
            << Setup([](MediumModel&, CheckSettings& s) { s.readOnly = true; })
            << QStringList{"Es gibt keine Dateien einer früheren Prüfung (%1/$_cap0001.$$$). "
                           "Bitte zuerst prüfen und die Dateien dabei behalten!"}
            << QStringList{};
        QTest::newRow("a link where a kept file was")
            << Setup([](MediumModel&, CheckSettings& s) {
                   s.readOnly = true;
                   QFile::link("/etc/hostname", s.folder + "/$_cap0001.$$$");
               })
            << QStringList{"%1/$_cap0001.$$$ ist keine gewöhnliche Datei und gehört nicht zur "
                           "Prüfung; es bleibt, wo es ist.",
                           "Es gibt keine Dateien einer früheren Prüfung (%1/$_cap0001.$$$). "
                           "Bitte zuerst prüfen und die Dateien dabei behalten!"}
            << QStringList{"$_cap0001.$$$"};
    }
    void refusals()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, left);
        CheckSettings settings = this->settings();
        setup(*m_medium, settings);
        const CheckReport report = check(settings);
        QCOMPARE(report.outcome, CheckOutcome::Refused);
        for (QString& message : messages)
            message.replace("%1", m_dir->path());
        QCOMPARE(report.messages, messages);
        QCOMPARE(m_observer.messages, messages);
        QVERIFY(!m_medium->events.join(' ').contains("open-write"));
        QCOMPARE(filesOfOurs(), left);
    }

    // Held as a speed test holds it for its whole run.
    void oneRunPerMedium()
    {
        const FolderLock speedTest(*m_medium, m_dir->path());
        const CheckReport report = check(settings());
        QCOMPARE(report.outcome, CheckOutcome::Refused);
        QCOMPARE(report.messages, QStringList{kardelo::messages::OtherRunActive});
    }

    void whatSitsAtOurNamesGoesButNeverWhatItPointsTo()
    {
        const QString precious = path("precious.txt");
        QFile file(precious);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's own data");
        file.close();
        QVERIFY(QFile::link(precious, path("$_cap0001.$$$")));
        QCOMPARE(::link(QFile::encodeName(precious).constData(),
                        QFile::encodeName(path("$_cap0002.$$$")).constData()),
                 0);
        const CheckReport report = check(settings());
        QCOMPARE(report.outcome, CheckOutcome::Completed);
        QCOMPARE(foundIn(report).intact, 12 * MiB / Unit);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("the user's own data"));
        QCOMPARE(filesOfOurs(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_CapacityCheck)
#include "tst_CapacityCheck.moc"
