#include "ControlNames.h"
#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "RecordingWindow.h"
#include "SingleFileTest.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

using namespace kardelo;
using namespace kardelo::testing;

// The ways a run ends early that the user is told about.
enum class Fault {
    NoDrive,
    WriteProtected,
    NoDirectIoAtOpen,
    WriteError,
    ReadError,
    BlockBelowSector,
    NoDirectIoAtTransfer,
    ShortWrite,
    DriveGoneWhileWriting,
    DriveGoneAtStart,
    CannotDelete,
    FolderAtTheName,
    AnotherRun,
};

class tst_SingleFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<FaultyFileSystem> m_files;
    std::unique_ptr<FakeClock> m_clock;
    Random m_random;

    QString drive() const { return m_dir->path(); }
    QString testFile() const { return m_dir->filePath(QStringLiteral("$_test.$$$")); }
    RunReport run() { return SingleFileTest(*m_window, {*m_files, *m_clock, m_random}).run(); }
    void setSizes(const QString& fileMB, const QString& blockKB)
    {
        m_window->texts[controls::Combo1.toString()] = fileMB;
        m_window->texts[controls::Combo2.toString()] = blockKB;
    }
    QString label(QStringView name) const { return m_window->text(name); }

    void verifyEndedOnEndOfTestPath()
    {
        const QString problems = m_window->endOfTestPathProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }
    void verifyResetLabels(bool write, bool read)
    {
        if (write) {
            QCOMPARE(label(controls::Label1), QStringLiteral("Time: 0,000 s"));
            QCOMPARE(label(controls::Label2), QStringLiteral("0,00"));
        }
        if (read) {
            QCOMPARE(label(controls::Label3), QStringLiteral("Time: 0,000 s"));
            QCOMPARE(label(controls::Label4), QStringLiteral("0,00"));
        }
    }
    void verifyNoTestFile() { QVERIFY2(!QFileInfo::exists(testFile()), "test file left behind"); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_window = std::make_unique<RecordingWindow>();
        m_window->drive = drive();
        m_files = std::make_unique<FaultyFileSystem>();
        m_clock = std::make_unique<FakeClock>(500'000'000); // every interval: 500 ms
        setSizes(QStringLiteral("  16"), QStringLiteral(" 256"));
    }

    void normalRunShowsFiguresAndCleansUp()
    {
        m_window->windowCaption = QStringLiteral("Kardelo");
        const RunReport report = run();

        QVERIFY(report.completed);
        QCOMPARE(report.writtenTransfers, 64);
        QCOMPARE(report.readBytes, 16 * 1048576);
        QCOMPARE(report.writeBytesPerSecond, 32.0 * 1048576);
        QCOMPARE(m_files->readCalls, 64);
        QCOMPARE(m_files->zeroBytesWritten, 0);
        // 16 MByte in 500 ms, counted in units of 1,048,576 bytes.
        QCOMPARE(label(controls::Label1), QStringLiteral("Time: 0,500 s"));
        QCOMPARE(label(controls::Label2), QStringLiteral("32,00"));
        QCOMPARE(label(controls::Label3), QStringLiteral("Time: 0,500 s"));
        QCOMPARE(label(controls::Label4), QStringLiteral("32,00"));
        QCOMPARE(m_window->state.testKind, TestKind::SingleFile);
        QCOMPARE(m_window->state.testFileName, testFile());
        QVERIFY(m_window->testButtonsEnabled());
        QVERIFY(m_window->resultButtonsEnabled());
        QVERIFY(!m_window->busy);
        QCOMPARE(m_window->busyChanges, 2);
        QCOMPARE(m_window->backgrounds, QList<OleColor>{0x808080});
        QCOMPARE(m_window->captions, (QStringList{QStringLiteral(" Die Testdatei wird gelöscht..."),
                                                  QStringLiteral("Kardelo")}));
        QVERIFY(m_window->shownMessages.isEmpty());
        verifyNoTestFile();

        // The bar: one step per block, the clamped extra step at the end of each phase.
        const QString writingCaption = QStringLiteral("Schreiben: ");
        const auto writing = m_window->progressWithCaption(writingCaption);
        QCOMPARE(writing.size(), 65);
        QCOMPARE(writing.first(), (ProgressRequest{1, 1, 64, writingCaption, true}));
        QCOMPARE(writing.last(), (ProgressRequest{65, 1, 64, writingCaption, true}));
        QCOMPARE(m_window->progressWithCaption(QStringLiteral("Lesen: ")).size(), 65);
        QCOMPARE(m_window->progress.last(),
                 (ProgressRequest{100, 100, 100, QStringLiteral("Ende des Tests: "), true}));
        // The window handled its messages before every block and before the deletion.
        QCOMPARE(m_window->processEventsCalls, 64 + 64 + 1);
    }

    void freeSpaceBoundary()
    {
        const std::uint64_t fileBytes = 16 * 1048576;
        m_files->space = DiskSpace{fileBytes, 4 * fileBytes, fileBytes};
        setSizes(QStringLiteral("  16"), QStringLiteral("4096"));
        QCOMPARE(run().plannedTransfers, 4);
        QCOMPARE(label(controls::Label11), QStringLiteral("16.777.216"));
        QCOMPARE(label(controls::Label33), QStringLiteral("67.108.864"));
        QCOMPARE(m_window->text(controls::Frame1),
                 QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ") +
                     drive() + QLatin1Char('/'));

        // Reserved blocks: more is free in total than for the user. The message quotes the
        // figure that decided.
        m_files->space = DiskSpace{fileBytes - 1, 4 * fileBytes, fileBytes + 1048576};
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(),
                 QStringList{QStringLiteral(
                     "Auf dem ausgewählten Datenträger sind nur: 16.777.215 Byte frei.")});
        QCOMPARE(label(controls::Label22), QStringLiteral("17.825.792"));
        QCOMPARE(m_window->shownMessages[0].icon, MessageIcon::Warning);
        QCOMPARE(m_files->openWriteCalls, 1); // only the first run opened a file
        verifyEndedOnEndOfTestPath();
    }

    void abortDuringWritePhase()
    {
        m_window->onProcessEvents = [this](int call) {
            if (call == 3)
                m_window->state.abortRequested = true;
        };
        const RunReport report = run();
        QVERIFY(!report.completed);
        QCOMPARE(m_files->writeCalls, 2);
        // What moved, not what was planned.
        QCOMPARE(report.writtenTransfers, 2);
        QCOMPARE(report.writtenBytes, 2 * 262144);
        QCOMPARE(report.readTransfers, 0);
        QCOMPARE(report.plannedTransfers, 64);
        QVERIFY(m_window->shownMessages.isEmpty());
        verifyEndedOnEndOfTestPath();
        verifyResetLabels(true, true);
        verifyNoTestFile();
        QVERIFY(m_window->captions.contains(QStringLiteral(" Die Testdatei wird gelöscht...")));
    }

    void abortDuringReadPhaseKeepsWriteFigures()
    {
        m_window->onProcessEvents = [this](int call) {
            if (call == 64 + 10)
                m_window->state.abortRequested = true;
        };
        const RunReport report = run();
        QVERIFY(!report.completed);
        QCOMPARE(m_files->readCalls, 9);
        QCOMPARE(report.writtenTransfers, 64);
        QCOMPARE(report.readTransfers, 9);
        QCOMPARE(report.readBytes, 9 * 262144);
        QCOMPARE(label(controls::Label2), QStringLiteral("32,00"));
        QCOMPARE(label(controls::Label1), QStringLiteral("Time: 0,500 s"));
        verifyResetLabels(false, true);
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
    }

    // Every way a run can end early, with what the user reads: the texts literally, the
    // figures that stay, and no test file left behind.
    void whatTheUserIsTold_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("message"); // %1: the drive
        QTest::addColumn<int>("phasesShown"); // 0 none, 1 writing, 2 both
        const auto row = [](const char* name, Fault fault, const char* message,
                            int phasesShown = 0) {
            QTest::newRow(name) << fault << QString::fromUtf8(message) << phasesShown;
        };
        row("no drive selected", Fault::NoDrive,
            "Es wurde noch kein Laufwerk selektiert! Bitte einen USB-Stick auswählen.");
        row("write-protected", Fault::WriteProtected,
            "Es kann nicht geschrieben werden! Schreibschutz ausschalten!");
        // A medium that refuses the cache bypass is not write-protected.
        row("no direct I/O at the open", Fault::NoDirectIoAtOpen,
            "Das Dateisystem dieses Datenträgers unterstützt keinen Zugriff unter Umgehung des "
            "Dateicaches.");
        row("write I/O error", Fault::WriteError,
            "Fehler beim Schreiben auf den Datenträger! Input/output error");
        row("read I/O error", Fault::ReadError,
            "Fehler beim Lesen vom Datenträger! Input/output error", 1);
        row("block below the sector size", Fault::BlockBelowSector,
            "Die Blockgröße ist kein Vielfaches der Sektorgröße des Datenträgers (4096 Byte).");
        row("aligned, but no direct I/O at the transfer", Fault::NoDirectIoAtTransfer,
            "Das Dateisystem dieses Datenträgers unterstützt keinen Zugriff unter Umgehung des "
            "Dateicaches.");
        // A medium pulled out part-way is not full.
        row("short write", Fault::ShortWrite,
            "Fehler beim Schreiben auf den Datenträger! Nur 131.072 von 262.144 Byte wurden "
            "geschrieben.");
        row("drive gone while writing", Fault::DriveGoneWhileWriting,
            "Auf das Laufwerk konnte nicht zugegriffen werden!");
        row("drive gone at the start", Fault::DriveGoneAtStart,
            "Auf das Laufwerk konnte nicht zugegriffen werden!");
        row("test file cannot be deleted", Fault::CannotDelete,
            "Die Testdatei %1/$_test.$$$ konnte nicht gelöscht werden: Permission denied", 2);
        row("folder at the test file's name", Fault::FolderAtTheName,
            "Der Ordner \"%1/$_test.$$$\" trägt den Namen einer Testdatei und bleibt, wo er ist. "
            "Bitte umbenennen oder löschen!");
        row("another run on the medium", Fault::AnotherRun,
            "Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von Kapazität "
            "und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!");
    }
    void whatTheUserIsTold()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, message);
        QFETCH(int, phasesShown);
        std::optional<FolderLock> otherRun;
        m_files->alignment = 4096;
        switch (fault) {
        case Fault::NoDrive:
            m_window->drive.clear();
            break;
        case Fault::WriteProtected:
            m_files->openWriteError = EROFS;
            break;
        case Fault::NoDirectIoAtOpen:
            m_files->openWriteError = EINVAL;
            break;
        case Fault::WriteError:
            m_files->writeError = EIO;
            m_files->failWriteAt = 2;
            break;
        case Fault::ReadError:
            m_files->readError = EIO;
            m_files->failReadAt = 2;
            break;
        case Fault::BlockBelowSector:
            setSizes(QStringLiteral("  16"), QStringLiteral("   1"));
            m_files->writeError = EINVAL;
            m_files->failWriteAt = 1;
            break;
        case Fault::NoDirectIoAtTransfer:
            setSizes(QStringLiteral("  16"), QStringLiteral("   4"));
            m_files->writeError = EINVAL;
            m_files->failWriteAt = 1;
            break;
        case Fault::ShortWrite:
            m_files->shortWriteAt = 2;
            break;
        case Fault::DriveGoneWhileWriting:
            m_files->beforeTransfer = [this](int transfer, bool writing) {
                if (writing && transfer == 3)
                    m_files->driveGone = true;
            };
            break;
        case Fault::DriveGoneAtStart:
            m_files->driveGone = true;
            break;
        case Fault::CannotDelete:
            m_files->removeError = EACCES;
            break;
        case Fault::FolderAtTheName:
            QVERIFY(QDir(drive()).mkdir(QStringLiteral("$_test.$$$")));
            break;
        case Fault::AnotherRun:
            otherRun.emplace(*m_files, drive());
            break;
        }

        QVERIFY(!run().completed);
        QCOMPARE(
            m_window->messageTexts(),
            QStringList{message.contains(QLatin1String("%1")) ? message.arg(drive()) : message});
        QCOMPARE(m_window->shownMessages[0].icon,
                 fault == Fault::NoDrive ? MessageIcon::Information : MessageIcon::Warning);
        verifyEndedOnEndOfTestPath();
        // A failed block stops the run: no figure is made from it.
        verifyResetLabels(phasesShown < 1, phasesShown < 2);
        if (fault == Fault::NoDrive || fault == Fault::DriveGoneAtStart ||
            fault == Fault::FolderAtTheName || fault == Fault::AnotherRun)
            QCOMPARE(m_files->openWriteCalls, 0);
        // No clean-up is tried on a drive that is gone; every other way leaves nothing.
        if (fault == Fault::DriveGoneWhileWriting)
            QVERIFY(!m_files->events.contains(QStringLiteral("remove $_test.$$$")));
        m_files->driveGone = false;
        m_files->removeError = 0;
        if (fault != Fault::FolderAtTheName) {
            if (fault == Fault::DriveGoneWhileWriting || fault == Fault::CannotDelete)
                QFile::remove(testFile());
            verifyNoTestFile();
        }
    }

    void failedOpenForReadEndsWithoutMessage()
    {
        m_files->openReadError = EIO;
        QVERIFY(!run().completed);
        QVERIFY(m_window->shownMessages.isEmpty());
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
    }

    void driveUnmountedBeforeDeletion()
    {
        // Another file system now answers at the mount point: the drive under test is gone.
        m_window->onProcessEvents = [this](int call) {
            if (call == 64 + 64 + 1)
                m_files->deviceOverride = 0xdead;
        };
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(),
                 QStringList{QStringLiteral("Auf das Laufwerk konnte nicht zugegriffen werden!")});
        QVERIFY(!m_window->busy);
        QCOMPARE(m_window->windowCaption, QStringLiteral("Kardelo"));
        QFile::remove(testFile());
    }

    void listTextsThatCannotRun_data()
    {
        QTest::addColumn<QString>("fileMB");
        QTest::addColumn<QString>("blockKB");
        QTest::newRow("file size not a number") << "abc"
                                                << " 256";
        QTest::newRow("block size not a number") << " 128"
                                                 << "x";
        QTest::newRow("file size 2048 overflows") << "2048"
                                                  << " 256";
        QTest::newRow("block size zero") << "  16"
                                         << "   0";
        QTest::newRow("block larger than twice the file") << "  16"
                                                          << "40000";
    }
    void listTextsThatCannotRun()
    {
        QFETCH(QString, fileMB);
        QFETCH(QString, blockKB);
        setSizes(fileMB, blockKB);
        QVERIFY(!run().completed);
        QVERIFY(m_window->shownMessages.isEmpty());
        QCOMPARE(m_files->openWriteCalls, 0);
        verifyEndedOnEndOfTestPath();
        verifyResetLabels(true, true);
    }

    void noTimeElapsedOrNoCounter()
    {
        m_clock = std::make_unique<FakeClock>(0);
        QVERIFY(!run().completed);
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();

        m_clock = std::make_unique<FakeClock>(1000, 1'000'000'000, false);
        QVERIFY(!run().completed);
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
    }
};

QTEST_GUILESS_MAIN(tst_SingleFileTest)
#include "tst_SingleFileTest.moc"
