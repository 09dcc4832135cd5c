// Two runs on one medium: the second never deletes, truncates or replaces a file of the first
// and ends with its own message; the first goes on undisturbed. The other run lives in a process
// of its own, as it would in real use.

#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "MultiFileTest.h"
#include "RecordingWindow.h"
#include "SingleFileTest.h"
#include "TestFiles.h"
#include "TestMessages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::testing;

namespace {

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

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_Concurrency : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<FaultyFileSystem> m_files;
    std::unique_ptr<FakeClock> m_clock;
    Random m_random{4711};

    QString path(const QString& name) const { return m_dir->filePath(name); }
    RunReport run(bool single)
    {
        m_window = std::make_unique<RecordingWindow>();
        m_window->drive = m_dir->path();
        m_window->texts[QStringLiteral("Combo1")] = QStringLiteral("  16");
        const Platform platform{*m_files, *m_clock, m_random};
        return single ? SingleFileTest(*m_window, platform).run()
                      : MultiFileTest(*m_window, platform).run();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_files = std::make_unique<FaultyFileSystem>();
        m_files->space = DiskSpace{20'000'000, 40'000'000, 20'000'000};
        m_clock = std::make_unique<FakeClock>(25'000'000);
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

    void twoCommandLineRunsOnOneFolder()
    {
        // The first run is frozen mid-write, where the second one starts.
        QProcess first;
        first.start(QStringLiteral(KARDELO_CLI),
                    {"single", m_dir->path(), "--size", "64", "--block", "4", "--json"});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(first.bytesAvailable() > 0 ||
                                     !first.readAllStandardError().isEmpty() ||
                                     QFileInfo::exists(path(SingleFileTest::TestFileName)),
                                 20000);
        ::kill(static_cast<pid_t>(first.processId()), SIGSTOP);

        QProcess second;
        second.start(QStringLiteral(KARDELO_CLI),
                     {"single", m_dir->path(), "--size", "16", "--json"});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains(messages::OtherRunActive.toUtf8()));
        QVERIFY(QFileInfo::exists(path(SingleFileTest::TestFileName)));

        ::kill(static_cast<pid_t>(first.processId()), SIGCONT);
        QVERIFY(first.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(first.readAllStandardOutput().contains("\"completed\""));
    }
};

QTEST_GUILESS_MAIN(tst_Concurrency)
#include "tst_Concurrency.moc"
