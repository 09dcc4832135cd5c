// Where the results go: protokoll.dat and the screenshot, against what a hostile user or medium
// puts at their names or in the device name the screenshot is named after. Nothing outside the
// program folder is written, truncated or made writable, and nothing waits on a FIFO.

#include "FaultyFileSystem.h"
#include "FifoGuard.h"
#include "PlantedFiles.h"
#include "RecordingDialogs.h"
#include "ResultsLog.h"
#include "Screenshot.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::results;
using namespace kardelo::testing;

namespace {

const QByteArray Precious = "the user's own file";
const QDateTime Now(QDate(2026, 12, 6), QTime(12, 0));

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(native(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TestResult singleResult()
{
    TestResult result;
    result.kind = TestKind::SingleFile;
    result.singleWriteSpeed = "19,48";
    result.singleReadSpeed = "30,12";
    result.fileSizeText = " 128";
    result.blockSizeText = " 256";
    result.totalSizeText = "2.071.691.264";
    return result;
}

// Root writes anywhere; dropping the file-system identity makes permission bits bind again.
struct UnprivilegedFiles {
    UnprivilegedFiles()
    {
        if (::geteuid() == 0)
            ::setfsuid(65534);
    }
    ~UnprivilegedFiles()
    {
        if (::geteuid() == 0)
            ::setfsuid(0);
    }
};

} // namespace

Q_DECLARE_METATYPE(Planted)

class tst_ResultFileNames : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder; // the program folder, inside m_dir
    QString m_user;   // a file of the user's, read-only, beside the program folder
    QWidget m_window;

    QString inFolder(const QString& name) const { return m_folder + name; }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        auto* layout = new QVBoxLayout(&m_window);
        layout->addWidget(new QLabel(QStringLiteral("Schreiben: 19,48 MByte/s")));
        m_window.resize(200, 100);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath(QStringLiteral("program/"));
        QVERIFY(QDir().mkpath(m_folder));
        m_user = m_dir->filePath(QStringLiteral("user.png"));
        writeFile(m_user, Precious);
        QVERIFY(::chmod(native(m_user).constData(), 0444) == 0);
    }

    void whatSitsAtTheLogsName_data()
    {
        QTest::addColumn<Planted>("planted");
        for (const auto& [planted, what] : PlantedKinds)
            QTest::addRow("%s", what) << planted;
    }
    void whatSitsAtTheLogsName()
    {
        QFETCH(Planted, planted);
        const QString log = logFilePath(m_folder);
        plant(planted, log, m_user);

        FileSystem& files = PosixFileSystem::instance();
        prot_dump(files, m_folder); // anything at the name counts as an existing log
        SaveResult saved;
        LogReadResult read;
        bool hung = false;
        {
            const FifoGuard guard(log);
            saved = appendTestResult(files, log, singleResult(), QStringLiteral("Stick"), Now);
            read = readLog(files, log, [](const LogRecord&) {});
            hung = guard.fired();
        }
        QVERIFY2(!hung, "waited on a FIFO at the log's name");
        // The three-line write-error message is due; nothing reached the user's file.
        QCOMPARE(saved.outcome, SaveOutcome::AccessRefused);
        QCOMPARE(contents(m_user), Precious);
        QCOMPARE(modeOf(m_user), mode_t(0444));
        QVERIFY(!QFileInfo::exists(m_user + QStringLiteral(".none")));
        // Reading through a second name is harmless; anything but a regular file is refused.
        QCOMPARE(read.outcome, planted == Planted::HardLink ? LogReadOutcome::Read
                                                            : LogReadOutcome::NotARegularFile);
    }

    void theLogSwappedBetweenCheckAndWrite()
    {
        prot_dump(PosixFileSystem::instance(), m_folder);
        const QString log = logFilePath(m_folder);
        FaultyFileSystem files;
        files.beforeOpenFile = [&](const QString& path, FileAccess access) {
            if (access == FileAccess::Append) {
                QFile::remove(path);
                QVERIFY(::link(native(m_user).constData(), native(path).constData()) == 0);
            }
        };
        QCOMPARE(appendTestResult(files, log, singleResult(), QStringLiteral("Stick"), Now).outcome,
                 SaveOutcome::AccessRefused);
        QCOMPARE(contents(m_user), Precious);
    }

    void deviceNamesBecomeOneFileName_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("png"); // empty: no screenshot at all
        QTest::newRow("blanks, other characters kept")
            << " Generic  Flash (8GB)" << QStringLiteral("_Generic__Flash_(8GB).png");
        QTest::newRow("steps out of the folder")
            << "../../victim" << QStringLiteral(".._.._victim.png");
        QTest::newRow("absolute path") << "/tmp/x y" << QStringLiteral("_tmp_x_y.png");
        QTest::newRow("control characters") << QStringLiteral("A\nB\tC") + QChar(0x7F) + QChar(0x85)
                                            << QStringLiteral("A_B_C__.png");
        QTest::newRow("no name") << "" << QString();
        QTest::newRow("dot") << "." << QString();
        QTest::newRow("dot dot") << ".." << QString();
    }
    void deviceNamesBecomeOneFileName()
    {
        QFETCH(QString, device);
        QFETCH(QString, png);
        // Deep enough that "../.." still lands inside the temporary folder.
        const QString folder = m_folder + QStringLiteral("a/b/");
        QVERIFY(QDir().mkpath(folder));
        testing::RecordingDialogs dialogs;
        const ScreenshotResult result =
            takeScreenshot(m_window, device, folder, PosixFileSystem::instance(), dialogs);
        QCOMPARE(result.attempted, !device.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 png.isEmpty() ? QStringList() : QStringList{png});
        QCOMPARE(result.pngPath, png.isEmpty() ? QString() : folder + png);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("victim.png"))));
        QCOMPARE(dialogs.messageTexts(),
                 png.isEmpty() ? QStringList()
                               : QStringList{"ScreenShot wurde als \"" + png + "\" gespeichert!"});
    }

    void whatSitsAtTheScreenshotsNames_data()
    {
        QTest::addColumn<Planted>("planted");
        QTest::addColumn<QString>("suffix");
        for (const char* suffix : {".png", ".bmp"})
            for (const auto& [planted, what] : PlantedKinds)
                QTest::addRow("%s: %s", suffix, what) << planted << QString::fromLatin1(suffix);
    }
    void whatSitsAtTheScreenshotsNames()
    {
        QFETCH(Planted, planted);
        QFETCH(QString, suffix);
        const QString name = inFolder(QStringLiteral("USB_DISK") + suffix);
        plant(planted, name, m_user);
        ScreenshotResult result;
        bool hung = false;
        {
            const FifoGuard guard(name);
            testing::RecordingDialogs dialogs;
            result = takeScreenshot(m_window, QStringLiteral("USB DISK"), m_folder,
                                    PosixFileSystem::instance(), dialogs);
            hung = guard.fired();
        }
        QVERIFY2(!hung, "waited on a FIFO at a screenshot's name");
        QCOMPARE(contents(m_user), Precious);
        QCOMPARE(modeOf(m_user), mode_t(0444));
        QVERIFY(!QFileInfo::exists(m_user + QStringLiteral(".none")));
        QVERIFY(!QFileInfo::exists(inFolder(QStringLiteral("USB_DISK.bmp"))) ||
                planted == Planted::Folder);
        if (planted == Planted::Folder) {
            QVERIFY(QFileInfo(name).isDir());
            QVERIFY(result.pngPath.isEmpty());
        } else {
            // The link itself was replaced: a new file of the program's own is there.
            const QFileInfo png(inFolder(QStringLiteral("USB_DISK.png")));
            QVERIFY(png.isFile() && !png.isSymLink());
            QCOMPARE(QImage(png.filePath(), "PNG").size(), m_window.size());
        }
    }

    void unwritableFolderReportsAndLeavesNoBmp()
    {
        QVERIFY(::chmod(native(m_folder).constData(), 0555) == 0);
        ScreenshotResult result;
        testing::RecordingDialogs dialogs;
        {
            const UnprivilegedFiles asUser;
            result = takeScreenshot(m_window, QStringLiteral("USB DISK"), m_folder,
                                    PosixFileSystem::instance(), dialogs);
        }
        QVERIFY(::chmod(native(m_folder).constData(), 0700) == 0);
        QVERIFY(result.attempted && result.pngPath.isEmpty());
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("Fehler beim Schreiben! Mögliche Ursachen:\r\n"
                                "1. Der aktuelle Ordner befindet sich auf einen schreibgeschützten "
                                "Datenträger.\r\n"
                                "2. Sie besitzen nicht die erforderlichen Rechte um in diesen "
                                "Ordner zu schreiben."));
    }

    // The export pauses with the event loop running: a second click meanwhile does nothing.
    void clickDuringPauseStartsNoSecondExport()
    {
        testing::RecordingDialogs dialogs;
        const auto take = [&](const QString& name) {
            return takeScreenshot(m_window, name, m_folder, PosixFileSystem::instance(), dialogs);
        };
        ScreenshotResult inner;
        QTimer::singleShot(100, this, [&] { inner = take(QStringLiteral("OTHER")); });
        QVERIFY(take(QStringLiteral("FIRST")).attempted);
        QVERIFY(!inner.attempted);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{"FIRST.png"});
        QCOMPARE(dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(tst_ResultFileNames)
#include "tst_ResultFileNames.moc"
