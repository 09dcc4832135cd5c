#include "PosixFileSystem.h"
#include "RecordingDialogs.h"
#include "Screenshot.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace kardelo;

namespace {

// Root writes anywhere; dropping the file-system identity makes permission bits bind again.
class UnprivilegedFiles {
public:
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

class tst_Screenshot : public QObject {
    Q_OBJECT

private:
    QWidget m_window;
    QTemporaryDir m_dir;
    testing::RecordingDialogs m_dialogs;
    ScreenshotResult take(const QString& name, const QString& folder)
    {
        return takeScreenshot(m_window, name, folder, PosixFileSystem::instance(), m_dialogs);
    }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        auto* layout = new QVBoxLayout(&m_window);
        layout->addWidget(new QLabel(QStringLiteral("Schreiben: 19,48 MByte/s")));
        m_window.resize(320, 200);
    }

    void init()
    {
        m_dialogs.messages.clear();
        for (const QString& name : files())
            QFile::remove(QDir(m_dir.path()).filePath(name));
    }

    void exportsTheWindowAsPngOnly()
    {
        const ScreenshotResult result = take(QStringLiteral("USB DISK"), m_dir.path());

        QVERIFY(result.attempted);
        QCOMPARE(files(), QStringList{QStringLiteral("USB_DISK.png")});
        QCOMPARE(result.pngPath, m_dir.filePath(QStringLiteral("USB_DISK.png")));
        QImage picture(result.pngPath, "PNG");
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), m_window.size());
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].icon, QMessageBox::Information);
        QCOMPARE(m_dialogs.messages[0].text,
                 QStringLiteral("ScreenShot wurde als \"USB_DISK.png\" gespeichert!"));
    }

    void noDeviceNameDoesNothing()
    {
        const ScreenshotResult result = take(QString(), m_dir.path());
        QVERIFY(!result.attempted);
        QVERIFY(files().isEmpty());
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void replacesReadOnlyPng()
    {
        const QString png = m_dir.filePath(QStringLiteral("STICK.png"));
        QVERIFY(QImage(1, 1, QImage::Format_RGB32).save(png, "PNG"));
        QVERIFY(QFile::setPermissions(png, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        take(QStringLiteral("STICK"), m_dir.path());

        QCOMPARE(QImage(png, "PNG").size(), m_window.size());
        QCOMPARE(files(), QStringList{QStringLiteral("STICK.png")});
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    void unwritableFolderReportsAndLeavesNoBmp()
    {
        const QString folder = m_dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
        ScreenshotResult result;
        {
            UnprivilegedFiles asUser;
            result = take(QStringLiteral("USB DISK"), folder);
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QVERIFY(result.attempted);
        QVERIFY(result.pngPath.isEmpty());
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(m_dialogs.messages[0].text,
                 QStringLiteral("Fehler beim Schreiben! Mögliche Ursachen:\r\n"
                                "1. Der aktuelle Ordner befindet sich auf einen schreibgeschützten "
                                "Datenträger.\r\n"
                                "2. Sie besitzen nicht die erforderlichen Rechte um in diesen "
                                "Ordner zu schreiben."));
        QDir(folder).removeRecursively();
    }

    void clickDuringPauseStartsNoSecondExport()
    {
        ScreenshotResult inner;
        QTimer::singleShot(100, this, [&] { inner = take(QStringLiteral("OTHER"), m_dir.path()); });
        const ScreenshotResult outer = take(QStringLiteral("FIRST"), m_dir.path());

        QVERIFY(outer.attempted);
        QVERIFY(!inner.attempted);
        QCOMPARE(files(), QStringList{QStringLiteral("FIRST.png")});
        QCOMPARE(m_dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(tst_Screenshot)
#include "tst_Screenshot.moc"
