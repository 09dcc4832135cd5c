// Whatever a medium, another user or another run puts at the test files' names: the tests
// replace links, hard links and FIFOs without ever writing through them, leave a folder alone and
// say so, clear what a killed run left behind, and never touch the files of a run still going
// (which lives in a process of its own, as it would in real use). All on a real folder.

#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "FifoGuard.h"
#include "MultiFileTest.h"
#include "PlantedFiles.h"
#include "RecordingWindow.h"
#include "SingleFileTest.h"
#include "TestFiles.h"
#include "TestMessages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::testing;

namespace {

const QByteArray Precious = "the user's own data";

const QByteArray OtherContent = "written by the other run";

// Another run in a child process: it writes its test files and then holds the folder's lock (as a
// run does between two opens) or a file's lock (as a run does while it transfers), until told to
// end. Only system calls in the child: nothing the parent's threads may hold.
class OtherRun {
public:
    OtherRun(const QString& folder, const QStringList& files, bool holdFolder, bool holdLastFile)
    {
        const QByteArray folderName = QFile::encodeName(folder);
        QList<QByteArray> names;
        for (const QString& file : files)
            names << QFile::encodeName(file);
        int ready[2], go[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(go, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only the parent may hold the end the child waits on, or it would wait for ever.
            ::close(go[1]);
            ::close(ready[0]);
            if (holdFolder) {
                const int dir = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY);
                ::flock(dir, LOCK_EX);
            }
            for (qsizetype i = 0; i < names.size(); ++i) {
                const int fd =
                    ::open(names[i].constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                (void)!::write(fd, OtherContent.constData(), std::size_t(OtherContent.size()));
                if (holdLastFile && i == names.size() - 1)
                    ::flock(fd, LOCK_EX);
                else
                    ::close(fd);
            }
            (void)!::write(ready[1], "r", 1);
            char byte;
            (void)!::read(go[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        char byte = 0;
        m_started = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        m_go = go[1];
    }
    ~OtherRun() { finish(); }

    bool started() const { return m_started; }
    void finish()
    {
        if (m_pid <= 0)
            return;
        ::close(m_go);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_started = false;
};

} // namespace

Q_DECLARE_METATYPE(Planted)

class tst_HostileNames : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<FaultyFileSystem> m_files;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<Random> m_random;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    RunReport run(bool single)
    {
        m_window = std::make_unique<RecordingWindow>();
        m_window->drive = m_dir->path();
        m_window->texts[QStringLiteral("Combo1")] = QStringLiteral("  16");
        const Platform platform{*m_files, *m_clock, *m_random};
        return single ? SingleFileTest(*m_window, platform).run()
                      : MultiFileTest(*m_window, platform).run();
    }
    QStringList testFilesLeft() const
    {
        return QDir(m_dir->path())
            .entryList({QStringLiteral("$_test*")}, QDir::AllEntries | QDir::System);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_files = std::make_unique<FaultyFileSystem>();
        // Room for a handful of multi-file test files only, so each run stays short.
        m_files->space = DiskSpace{20'000'000, 40'000'000, 20'000'000};
        m_clock = std::make_unique<FakeClock>(25'000'000);
        m_random = std::make_unique<Random>(4711);
        writeFile(path("user.txt"), Precious);
    }

    void whatSitsAtATestName_data()
    {
        QTest::addColumn<bool>("single");
        QTest::addColumn<Planted>("planted");
        for (const bool single : {true, false}) {
            const char* test = single ? "single" : "multi";
            for (const auto& [planted, what] : PlantedKinds)
                QTest::addRow("%s: %s", test, what) << single << planted;
        }
    }
    void whatSitsAtATestName()
    {
        QFETCH(bool, single);
        QFETCH(Planted, planted);
        const QString name =
            path(single ? SingleFileTest::TestFileName : MultiFileTest::fileName(1));
        plant(planted, name, path("user.txt"));
        if (planted == Planted::Folder)
            writeFile(name + QStringLiteral("/inside.txt"), Precious);

        RunReport report;
        bool hung = false;
        {
            const FifoGuard guard(name);
            report = run(single);
            hung = guard.fired();
        }
        QVERIFY2(!hung, "the run waited on a FIFO at its file's name");

        QCOMPARE(contents(path("user.txt")), Precious);
        struct stat info {};
        QVERIFY(::stat(native(path("user.txt")).constData(), &info) == 0);
        QCOMPARE(info.st_nlink, nlink_t(1));
        QVERIFY(!QFileInfo::exists(path("user.txt.none")));
        if (planted == Planted::Folder) {
            QVERIFY(!report.completed);
            QCOMPARE(m_window->messageTexts(),
                     QStringList{QStringLiteral("Der Ordner \"%1\" trägt den Namen einer "
                                                "Testdatei und bleibt, wo er ist. Bitte "
                                                "umbenennen oder löschen!")
                                     .arg(name)});
            QCOMPARE(contents(name + QStringLiteral("/inside.txt")), Precious);
            QCOMPARE(testFilesLeft(), QStringList{QFileInfo(name).fileName()});
            QCOMPARE(m_files->openWriteCalls, 0);
        } else {
            QVERIFY2(report.completed, qPrintable(m_window->messageTexts().join(u'\n')));
            // At most the note that fewer files fit than a hundred.
            for (const QString& text : m_window->messageTexts())
                QVERIFY2(text.contains(QStringLiteral("Es werden deshalb nur")), qPrintable(text));
            QVERIFY2(testFilesLeft().isEmpty(), qPrintable(testFilesLeft().join(u' ')));
        }
    }

    void leftoversOfAKilledRunGo_data()
    {
        QTest::addColumn<int>("folderAt"); // 0: none
        QTest::newRow("normal run") << 0;
        // The run ends at once; its end-of-test path clears the names the start had not reached.
        QTest::newRow("folder at a name") << 50;
    }
    void leftoversOfAKilledRunGo()
    {
        QFETCH(int, folderAt);
        for (int i = 1; i <= MultiFileTest::MaxFiles; ++i) {
            const QString name = path(MultiFileTest::fileName(i));
            if (i == folderAt)
                QVERIFY(QDir().mkdir(name));
            else
                writeFile(name, QByteArray(4096, 'x'));
        }
        const RunReport report = run(false);
        QCOMPARE(report.completed, folderAt == 0);
        if (folderAt == 0) {
            QVERIFY(m_window->state.testFileCount < 20);
            QCOMPARE(m_window->shownMessages.size(), 1); // fewer than a hundred files fit
            QVERIFY(testFilesLeft().isEmpty());
        } else {
            QCOMPARE(m_window->shownMessages.size(), 1);
            QCOMPARE(testFilesLeft(), QStringList{MultiFileTest::fileName(folderAt)});
        }
        QCOMPARE(contents(path("user.txt")), Precious);
    }

    void aRunInProgressKeepsItsFiles_data()
    {
        QTest::addColumn<bool>("single");
        QTest::addColumn<bool>("holdFolder");
        QTest::addColumn<bool>("holdFile");
        QTest::addColumn<int>("files"); // the other run's test files
        QTest::newRow("single: the other is writing its file") << true << true << true << 1;
        QTest::newRow("single: the other's file held, no folder lock")
            << true << false << true << 1;
        QTest::newRow("single: the other between its phases") << true << true << false << 1;
        QTest::newRow("multi: the other between two files") << false << true << false << 3;
        QTest::newRow("multi: the other's file held, no folder lock")
            << false << false << true << 3;
    }
    void aRunInProgressKeepsItsFiles()
    {
        QFETCH(bool, single);
        QFETCH(bool, holdFolder);
        QFETCH(bool, holdFile);
        QFETCH(int, files);
        QStringList names;
        for (int i = 1; i <= files; ++i)
            names << path(single ? SingleFileTest::TestFileName : MultiFileTest::fileName(i));
        {
            OtherRun other(m_dir->path(), names, holdFolder, holdFile);
            QVERIFY(other.started());
            const RunReport report = run(single);
            QVERIFY(!report.completed);
            QCOMPARE(m_window->messageTexts(), QStringList{messages::OtherRunActive});
            QCOMPARE(m_files->openWriteCalls, 0);
            for (const QString& name : names)
                QCOMPARE(contents(name), OtherContent);
            const QString problems = m_window->endOfTestPathProblems();
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
        }
        // Once the other run is gone, what it left is a leftover like any other.
        QVERIFY(run(single).completed);
        QVERIFY(QDir(m_dir->path()).entryList({QStringLiteral("$_test*")}, QDir::Files).isEmpty());
    }

    void shutdownLeavesAnotherRunsFile()
    {
        const QString name = path(SingleFileTest::TestFileName);
        {
            OtherRun other(m_dir->path(), {name}, true, false);
            QVERIFY(other.started());
            removeLeftTestFile(*m_files, name);
            QCOMPARE(contents(name), OtherContent);
        }
        removeLeftTestFile(*m_files, name);
        QVERIFY(!QFileInfo::exists(name));
    }
};

QTEST_GUILESS_MAIN(tst_HostileNames)
#include "tst_HostileNames.moc"
