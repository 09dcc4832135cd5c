// Whatever a medium or another user puts at the test files' names: the tests replace links,
// hard links and FIFOs without ever writing through them, leave a folder alone and say so, and
// clear what a killed run left behind. All on a real folder.

#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "FifoGuard.h"
#include "MultiFileTest.h"
#include "RecordingWindow.h"
#include "SingleFileTest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::testing;

namespace {

enum class Planted { HardLink, SymbolicLink, DanglingLink, Fifo, Folder };

const QByteArray Precious = "the user's own data";

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

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
        m_window = std::make_unique<RecordingWindow>();
        m_window->drive = m_dir->path();
        m_window->texts[QStringLiteral("Combo1")] = QStringLiteral("  16");
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
            QTest::addRow("%s: hard link to a user's file", test) << single << Planted::HardLink;
            QTest::addRow("%s: link to a user's file", test) << single << Planted::SymbolicLink;
            QTest::addRow("%s: dangling link", test) << single << Planted::DanglingLink;
            QTest::addRow("%s: FIFO", test) << single << Planted::Fifo;
            QTest::addRow("%s: folder", test) << single << Planted::Folder;
        }
    }
    void whatSitsAtATestName()
    {
        QFETCH(bool, single);
        QFETCH(Planted, planted);
        const QString name =
            path(single ? SingleFileTest::TestFileName : MultiFileTest::fileName(1));
        const QByteArray at = native(name);
        switch (planted) {
        case Planted::HardLink:
            QVERIFY(::link(native(path("user.txt")).constData(), at.constData()) == 0);
            break;
        case Planted::SymbolicLink:
            QVERIFY(QFile::link(path("user.txt"), name));
            break;
        case Planted::DanglingLink:
            QVERIFY(QFile::link(path("would-be-created"), name));
            break;
        case Planted::Fifo:
            QVERIFY(::mkfifo(at.constData(), 0600) == 0);
            break;
        case Planted::Folder:
            QVERIFY(QDir().mkdir(name));
            writeFile(name + QStringLiteral("/inside.txt"), Precious);
            break;
        }

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
        QVERIFY(!QFileInfo::exists(path("would-be-created")));
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
};

QTEST_GUILESS_MAIN(tst_HostileNames)
#include "tst_HostileNames.moc"
