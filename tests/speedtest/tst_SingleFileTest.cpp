#include "ControlNames.h"
#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "RecordingWindow.h"
#include "SingleFileTest.h"
#include "TestMessages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

using namespace kardelo;
using namespace kardelo::testing;

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
        QCOMPARE(report.plannedTransfers, 64);
        QCOMPARE(report.writtenTransfers, 64);
        QCOMPARE(report.readTransfers, 64);
        QCOMPARE(report.plannedBytes, 16 * 1048576);
        QCOMPARE(report.writtenBytes, 16 * 1048576);
        QCOMPARE(report.readBytes, 16 * 1048576);
        QCOMPARE(report.bytesPerMByte, 1048576);
        QCOMPARE(report.writeBytesPerSecond, 32.0 * 1048576);
        QCOMPARE(m_files->writeCalls, 64);
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
        QCOMPARE(m_window->captions,
                 (QStringList{messages::DeletingTestFile, QStringLiteral("Kardelo")}));
        QVERIFY(m_window->shownMessages.isEmpty());
        verifyNoTestFile();

        // The bar: one step per block, the clamped extra step at the end of each phase.
        const auto writing = m_window->progressWithCaption(messages::ProgressWriting);
        QCOMPARE(writing.size(), 65);
        QCOMPARE(writing.first(), (ProgressRequest{1, 1, 64, messages::ProgressWriting, true}));
        QCOMPARE(writing.last(), (ProgressRequest{65, 1, 64, messages::ProgressWriting, true}));
        const auto reading = m_window->progressWithCaption(messages::ProgressReading);
        QCOMPARE(reading.size(), 65);
        QCOMPARE(m_window->progress.last(),
                 (ProgressRequest{100, 100, 100, messages::ProgressFinished, true}));
        // The window handled its messages before every block and before the deletion.
        QCOMPARE(m_window->processEventsCalls, 64 + 64 + 1);
    }

    void noDriveSelected()
    {
        m_window->drive.clear();
        QVERIFY(!run().completed);
        QCOMPARE(m_window->shownMessages.size(), 1);
        QCOMPARE(m_window->shownMessages[0].text, messages::NoDriveSelected);
        QCOMPARE(m_window->shownMessages[0].icon, MessageIcon::Information);
        verifyEndedOnEndOfTestPath();
        verifyResetLabels(true, true);
        QCOMPARE(m_files->openWriteCalls, 0);
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
        QVERIFY(m_window->captions.contains(messages::DeletingTestFile));
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

    void refusedOpenForWrite_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("write-protected") << EROFS << messages::CannotWrite;
        // A medium that refuses the cache bypass is not write-protected.
        QTest::newRow("no direct I/O") << EINVAL << messages::NoDirectIo;
    }
    void refusedOpenForWrite()
    {
        QFETCH(int, error);
        QFETCH(QString, message);
        m_files->openWriteError = error;
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), QStringList{message});
        QCOMPARE(m_window->shownMessages[0].icon, MessageIcon::Warning);
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
    }

    void failedTransfer_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("blockKB");
        QTest::addColumn<QString>("message");
        QTest::newRow("write I/O error")
            << true << EIO << " 256"
            << messages::WriteFailed + QString::fromLocal8Bit(strerror(EIO));
        QTest::newRow("read I/O error")
            << false << EIO << " 256"
            << messages::ReadFailed + QString::fromLocal8Bit(strerror(EIO));
        QTest::newRow("block below the sector size")
            << true << EINVAL << "   1"
            << QStringLiteral("Die Blockgröße ist kein Vielfaches der Sektorgröße des "
                              "Datenträgers (4096 Byte).");
        QTest::newRow("aligned, but no direct I/O at the transfer")
            << true << EINVAL << "   4" << messages::NoDirectIo;
    }
    void failedTransfer()
    {
        QFETCH(bool, writing);
        QFETCH(int, error);
        QFETCH(QString, blockKB);
        QFETCH(QString, message);
        setSizes(QStringLiteral("  16"), blockKB);
        m_files->alignment = 4096;
        (writing ? m_files->writeError : m_files->readError) = error;
        (writing ? m_files->failWriteAt : m_files->failReadAt) = 2;
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), QStringList{message});
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
        // A failed block stops the run: no figure is made from it.
        if (writing)
            verifyResetLabels(true, true);
        else
            verifyResetLabels(false, true);
    }

    void failedOpenForReadEndsWithoutMessage()
    {
        m_files->openReadError = EIO;
        QVERIFY(!run().completed);
        QVERIFY(m_window->shownMessages.isEmpty());
        verifyEndedOnEndOfTestPath();
        verifyNoTestFile();
    }

    void driveGoneDuringTransfer()
    {
        m_files->beforeTransfer = [this](int transfer, bool writing) {
            if (writing && transfer == 3)
                m_files->driveGone = true;
        };
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), QStringList{messages::DriveAccess});
        verifyEndedOnEndOfTestPath();
        // No clean-up is tried on a drive that is gone.
        QVERIFY(!m_files->events.contains(QStringLiteral("remove $_test.$$$")));
        m_files->driveGone = false;
        QFile::remove(testFile());
    }

    void driveUnreachableAtStartCreatesNothing()
    {
        m_files->driveGone = true;
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), QStringList{messages::DriveAccess});
        QCOMPARE(m_files->openWriteCalls, 0);
        verifyEndedOnEndOfTestPath();
    }

    void driveUnmountedBeforeDeletion()
    {
        // Another file system now answers at the mount point: the drive under test is gone.
        m_window->onProcessEvents = [this](int call) {
            if (call == 64 + 64 + 1)
                m_files->deviceOverride = 0xdead;
        };
        QVERIFY(!run().completed);
        QCOMPARE(m_window->messageTexts(), QStringList{messages::DriveAccess});
        QVERIFY(!m_window->busy);
        QCOMPARE(m_window->windowCaption, QStringLiteral("Kardelo"));
        QFile::remove(testFile());
    }

    void deletionFailureIsReportedAndContained()
    {
        m_files->removeError = EACCES;
        QVERIFY(!run().completed);
        QCOMPARE(m_window->shownMessages.size(), 1);
        QVERIFY(m_window->shownMessages[0].text.startsWith(
            QStringLiteral("Die Testdatei %1 konnte nicht gelöscht werden: ").arg(testFile())));
        verifyEndedOnEndOfTestPath();
        // The figures were measured; they stay on display even though the run cannot count.
        QCOMPARE(label(controls::Label4), QStringLiteral("32,00"));
        m_files->removeError = 0;
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
