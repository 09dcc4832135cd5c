#include "ControlNames.h"
#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "Formats.h"
#include "MultiFileTest.h"
#include "RecordingWindow.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <numeric>

using namespace kardelo;
using namespace kardelo::testing;

namespace {
constexpr std::uint32_t Seed = 4711;
constexpr std::size_t BufferBytes = 4 * 1048576 + 1;

// The sizes a run will draw from a generator in the given state: the buffer's bytes come
// first, then one number per planned file.
QList<std::int64_t> plannedSizes(Random generator)
{
    for (std::size_t i = 0; i < BufferBytes; ++i)
        generator.next();
    QList<std::int64_t> sizes;
    for (int i = 0; i < 100; ++i)
        sizes << (static_cast<std::int64_t>(generator.next() * 4000) + 1) * 1024;
    return sizes;
}
} // namespace

// The ways a run ends early.
enum class Fault {
    NoDrive,
    NoRoom,
    CreateRefused,
    ReadOpenFails,
    WriteFails,
    ReadFails,
    SectorMismatch,
    NoTime,
    DriveGone,
};

class tst_MultiFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<FaultyFileSystem> m_files;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<Random> m_random;

    RunReport run() { return MultiFileTest(*m_window, {*m_files, *m_clock, *m_random}).run(); }
    QStringList testFilesLeft() const
    {
        return QDir(m_dir->path()).entryList({QStringLiteral("$_test*")}, QDir::Files);
    }
    // With reserved blocks: more is free in total than for the user.
    void setFreeBytes(std::uint64_t bytes)
    {
        m_files->space = DiskSpace{bytes, bytes * 2, bytes + 12'345'678};
    }
    QString label(QStringView name) const { return m_window->text(name); }

    void verifyEndedOnEndOfTestPath()
    {
        const QString problems = m_window->endOfTestPathProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_window = std::make_unique<RecordingWindow>();
        m_window->drive = m_dir->path();
        m_files = std::make_unique<FaultyFileSystem>();
        m_clock = std::make_unique<FakeClock>(25'000'000); // every file's interval: 25 ms
        m_random = std::make_unique<Random>(Seed);
        setFreeBytes(1'000'000'000);
    }

    void normalRunWithAllHundredFiles()
    {
        const QList<std::int64_t> sizes = plannedSizes(Random(Seed));
        const double total = std::accumulate(sizes.begin(), sizes.end(), 0.0);
        const RunReport report = run();

        QVERIFY(report.completed);
        QCOMPARE(m_files->writeSizes, sizes);
        for (std::int64_t size : sizes)
            QVERIFY(size >= 1024 && size <= 4096000 && size % 1024 == 0);
        QCOMPARE(m_files->zeroBytesWritten, 0);
        QCOMPARE(m_files->events[0], QStringLiteral("open-write $_test001.$$$"));
        QVERIFY(m_files->events.contains(QStringLiteral("open-read $_test100.$$$")));
        QCOMPARE(m_window->state.testFileCount, 100);
        QCOMPARE(m_window->state.testKind, TestKind::MultiFile);
        QVERIFY(testFilesLeft().isEmpty());
        QVERIFY(m_window->shownMessages.isEmpty());

        // 100 files of 25 ms each; KByte per millisecond shown as MByte/s.
        QCOMPARE(label(controls::Label20), QStringLiteral("Time: 2,500 s"));
        QCOMPARE(label(controls::Label21), QStringLiteral("Time: 2,500 s"));
        const QString speed = formats::fixed(total / 2500 / 1024, 2);
        QCOMPARE(label(controls::Label18), speed);
        QCOMPARE(label(controls::Label19), speed);
        QCOMPARE(report.readBytes, static_cast<std::int64_t>(total));
        QCOMPARE(report.readTransfers, 100);
        QCOMPARE(report.bytesPerMByte, 1024000);
        QCOMPARE(report.writeBytesPerSecond, total / 2.5);
        QVERIFY(m_window->resultButtonsEnabled());
        QVERIFY(m_window->testButtonsEnabled());
        QCOMPARE(m_window->captions,
                 (QStringList{QStringLiteral(" Die Testfiles werden gelöscht..."),
                              QStringLiteral("Kardelo")}));

        // The bar: cleared, the write phase fills the first half, the read phase the second,
        // then the deletion runs over it once more.
        QCOMPARE(m_window->progress.first(), (ProgressRequest{0, 0, 0, QStringLiteral("0"), true}));
        const QString writeRead = QStringLiteral("Write/Read: ");
        const auto both = m_window->progressWithCaption(writeRead);
        QCOMPARE(both.size(), 200);
        QCOMPARE(both[0], (ProgressRequest{0, 1, 100, writeRead, true}));
        QCOMPARE(both[2], (ProgressRequest{2, 1, 100, writeRead, true}));
        QCOMPARE(both[99], (ProgressRequest{50, 1, 100, writeRead, true}));
        QCOMPARE(both[100], (ProgressRequest{50, 50, 100, writeRead, true}));
        QCOMPARE(both[199], (ProgressRequest{100, 50, 100, writeRead, true}));
        QCOMPARE(
            m_window->progressWithCaption(QStringLiteral("Die Testfiles werden gelöscht: ")).size(),
            100);
        QCOMPARE(m_window->progress.last(),
                 (ProgressRequest{100, 100, 100, QStringLiteral("Ende des Tests: "), true}));
    }

    void theGeneratorContinuesAcrossRuns()
    {
        QVERIFY(run().completed);
        const QList<std::int64_t> first = m_files->writeSizes;
        m_files->writeSizes.clear();
        QVERIFY(run().completed);
        QVERIFY(m_files->writeSizes != first);

        // A fresh generator in the same state draws the first run's sizes again.
        m_random = std::make_unique<Random>(Seed);
        m_files->writeSizes.clear();
        QVERIFY(run().completed);
        QCOMPARE(m_files->writeSizes, first);
    }

    void roomForSomeFiles_data()
    {
        QTest::addColumn<int>("files");
        QTest::newRow("one") << 1;
        QTest::newRow("ninety-nine") << 99;
    }
    void roomForSomeFiles()
    {
        QFETCH(int, files);
        const QList<std::int64_t> sizes = plannedSizes(Random(Seed));
        const std::int64_t fits = std::accumulate(sizes.begin(), sizes.begin() + files, 0LL);
        const std::uint64_t free = static_cast<std::uint64_t>(fits + sizes[files] - 1);
        setFreeBytes(free);

        QVERIFY(run().completed);
        QCOMPARE(m_window->state.testFileCount, files);
        QCOMPARE(m_files->writeCalls, files);
        QCOMPARE(m_window->shownMessages.size(), 1);
        QCOMPARE(m_window->shownMessages[0].icon, MessageIcon::Warning);
        QCOMPARE(
            m_window->shownMessages[0].text,
            QStringLiteral("Auf dem ausgewählten Datenträger sind nur: %1 Byte frei. Es werden "
                           "deshalb nur %2 Testdateien mit insgesamt %3 Byte erzeugt.")
                .arg(formats::groupedOrEmpty(static_cast<double>(free)))
                .arg(files)
                .arg(formats::grouped(static_cast<double>(fits))));
        QVERIFY(testFilesLeft().isEmpty());
        QCOMPARE(m_window->progress.last(),
                 (ProgressRequest{100, 100, files, QStringLiteral("Ende des Tests: "), true}));
    }

    void abortDeletesEveryFileWritten_data()
    {
        QTest::addColumn<int>("abortAtCall");
        QTest::addColumn<int>("written");
        // Two message checks per file while writing: the abort is seen after file 5's open.
        QTest::newRow("write phase") << 10 << 4;
        QTest::newRow("read phase") << 200 + 30 << 100;
    }
    // The report tells what moved: files written, and files read before the abort.
    void abortDeletesEveryFileWritten()
    {
        QFETCH(int, abortAtCall);
        QFETCH(int, written);
        m_window->onProcessEvents = [&](int call) {
            if (call == abortAtCall)
                m_window->state.abortRequested = true;
        };
        const RunReport report = run();
        QVERIFY(!report.completed);
        QCOMPARE(m_files->writeCalls, written);
        QCOMPARE(report.writtenTransfers, written);
        QCOMPARE(report.writtenBytes,
                 std::accumulate(m_files->writeSizes.begin(), m_files->writeSizes.end(), 0LL));
        QCOMPARE(report.readTransfers, written == 100 ? 29 : 0);
        QVERIFY(testFilesLeft().isEmpty());
        QVERIFY(m_window->shownMessages.isEmpty());
        QCOMPARE(
            m_window->progressWithCaption(QStringLiteral("Die Testfiles werden gelöscht: ")).size(),
            100);
        QVERIFY(m_window->captions.contains(QStringLiteral(" Die Testfiles werden gelöscht...")));
        QCOMPARE(label(controls::Label18), QStringLiteral("0,00"));
        QCOMPARE(label(controls::Label20), QStringLiteral("Time: 0,000 s"));
        verifyEndedOnEndOfTestPath();
    }

    // Every way a run ends early, with what the user reads (the texts literally) and no test
    // file left behind, except where the drive is gone.
    void whatTheUserIsTold_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char* name, Fault fault, QStringList texts) {
            QTest::newRow(name) << fault << texts;
        };
        row("no drive selected", Fault::NoDrive,
            {"Es wurde noch kein Laufwerk selektiert! Bitte einen USB-Stick auswählen."});
        row("no room for one file", Fault::NoRoom,
            {"Auf dem ausgewählten Datenträger ist zu wenig Platz frei. Der Test kann nicht "
             "ausgeführt werden."});
        row("create refused at file 3", Fault::CreateRefused,
            {"Es kann nicht geschrieben werden! Schreibschutz ausschalten!"});
        row("read open fails", Fault::ReadOpenFails, {});
        row("write fails", Fault::WriteFails,
            {"Fehler beim Schreiben auf den Datenträger! Input/output error"});
        row("read fails", Fault::ReadFails,
            {"Fehler beim Lesen vom Datenträger! Input/output error"});
        // Sizes are whole KByte; on a medium of 4096-byte sectors most of them cannot pass the
        // cache bypass. The block-size list is not what the user could change here.
        row("sizes off the sector grid", Fault::SectorMismatch,
            {"Die Dateigrößen des Multi-File-Tests sind kein Vielfaches der Sektorgröße des "
             "Datenträgers (4096 Byte)."});
        row("no time measured", Fault::NoTime, {});
        row("drive gone while reading", Fault::DriveGone,
            {"Auf das Laufwerk konnte nicht zugegriffen werden!"});
    }
    void whatTheUserIsTold()
    {
        QFETCH(Fault, fault);
        QFETCH(QStringList, messages);
        switch (fault) {
        case Fault::NoDrive:
            m_window->drive.clear();
            break;
        case Fault::NoRoom:
            setFreeBytes(1023);
            break;
        case Fault::CreateRefused:
            m_files->openWriteError = EROFS;
            m_files->openWriteErrorFrom = 3;
            break;
        case Fault::ReadOpenFails:
            m_files->openReadError = EIO;
            break;
        case Fault::WriteFails:
            m_files->writeError = EIO;
            m_files->failWriteAt = 4;
            break;
        case Fault::ReadFails:
            m_files->readError = EIO;
            m_files->failReadAt = 4;
            break;
        case Fault::SectorMismatch: {
            const QList<std::int64_t> sizes = plannedSizes(Random(Seed));
            const auto odd = std::find_if(sizes.begin(), sizes.end(),
                                          [](std::int64_t size) { return size % 4096 != 0; });
            m_files->alignment = 4096;
            m_files->writeError = EINVAL;
            m_files->failWriteAt = static_cast<int>(odd - sizes.begin()) + 1;
            break;
        }
        case Fault::NoTime:
            m_clock = std::make_unique<FakeClock>(0);
            break;
        case Fault::DriveGone:
            m_files->beforeTransfer = [this](int transfer, bool writing) {
                if (!writing && transfer == 2)
                    m_files->driveGone = true;
            };
            break;
        }
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), messages);
        if (!messages.isEmpty())
            QCOMPARE(m_window->shownMessages[0].icon,
                     fault == Fault::NoDrive ? MessageIcon::Information : MessageIcon::Warning);
        verifyEndedOnEndOfTestPath();
        if (fault == Fault::NoDrive) {
            QVERIFY(m_files->events.isEmpty()); // nothing looked for, nothing removed
        } else if (fault == Fault::NoRoom) {
            QCOMPARE(m_window->state.testFileCount, 0);
            QCOMPARE(m_files->openWriteCalls, 0);
        } else if (fault == Fault::DriveGone) {
            // No clean-up is tried on a drive that is gone.
            QVERIFY(m_window->progressWithCaption(QStringLiteral("Die Testfiles werden gelöscht: "))
                        .isEmpty());
            return;
        }
        QVERIFY2(testFilesLeft().isEmpty(), qPrintable(testFilesLeft().join(u' ')));
    }
};

QTEST_GUILESS_MAIN(tst_MultiFileTest)
#include "tst_MultiFileTest.moc"
