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

struct Message {
    QMessageBox::Icon icon;
    QString text;
};

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
    QList<Message> m_messages;
    ScreenshotMessageHook hook()
    {
        return [this](QMessageBox::Icon icon, const QString& text) {
            m_messages.append({icon, text});
        };
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
        m_messages.clear();
        for (const QString& name : files())
            QFile::remove(QDir(m_dir.path()).filePath(name));
    }

    void exportsTheWindowAsPngOnly()
    {
        const ScreenshotResult result =
            TakeScreenshot(m_window, QStringLiteral("USB DISK"), m_dir.path(), hook());

        QVERIFY(result.attempted);
        QCOMPARE(files(), QStringList{QStringLiteral("USB_DISK.png")});
        QCOMPARE(result.pngPath, m_dir.filePath(QStringLiteral("USB_DISK.png")));
        QImage picture(result.pngPath, "PNG");
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), m_window.size());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].icon, QMessageBox::Information);
        QCOMPARE(m_messages[0].text,
                 QStringLiteral("ScreenShot wurde als \"USB_DISK.png\" gespeichert!"));
    }

    void noDeviceNameDoesNothing()
    {
        const ScreenshotResult result = TakeScreenshot(m_window, QString(), m_dir.path(), hook());
        QVERIFY(!result.attempted);
        QVERIFY(files().isEmpty());
        QVERIFY(m_messages.isEmpty());
    }

    void replacesReadOnlyPng()
    {
        const QString png = m_dir.filePath(QStringLiteral("STICK.png"));
        QVERIFY(QImage(1, 1, QImage::Format_RGB32).save(png, "PNG"));
        QVERIFY(QFile::setPermissions(png, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        TakeScreenshot(m_window, QStringLiteral("STICK"), m_dir.path(), hook());

        QCOMPARE(QImage(png, "PNG").size(), m_window.size());
        QCOMPARE(files(), QStringList{QStringLiteral("STICK.png")});
        QCOMPARE(m_messages.size(), 1);
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
            result = TakeScreenshot(m_window, QStringLiteral("USB DISK"), folder, hook());
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QVERIFY(result.attempted);
        QVERIFY(result.pngPath.isEmpty());
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].icon, QMessageBox::Warning);
        QCOMPARE(m_messages[0].text,
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
        QTimer::singleShot(100, this, [&] {
            inner = TakeScreenshot(m_window, QStringLiteral("OTHER"), m_dir.path(), hook());
        });
        const ScreenshotResult outer =
            TakeScreenshot(m_window, QStringLiteral("FIRST"), m_dir.path(), hook());

        QVERIFY(outer.attempted);
        QVERIFY(!inner.attempted);
        QCOMPARE(files(), QStringList{QStringLiteral("FIRST.png")});
        QCOMPARE(m_messages.size(), 1);
    }
};

QTEST_MAIN(tst_Screenshot)
#include "tst_Screenshot.moc"
