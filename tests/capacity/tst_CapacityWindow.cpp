// The capacity check's window against modelled media: what it shows at the end of a check,
// how it stops, how its chart is drawn. The check runs on the window's worker thread; a medium
// that holds a transfer at a gate lets a test act while the check is under way.

#include "CapacityWindow.h"
#include "DesktopSetup.h"
#include "MediumModel.h"
#include "MountIdentity.h"
#include "RecordingDialogs.h"
#include "ThroughputChart.h"
#include "ui_CapacityWindow.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <semaphore>

using namespace kardelo;
using namespace kardelo::capacity;
using namespace kardelo::testing;

namespace {

using Setup = std::function<void(MediumModel&)>;

// How many pixels of an image have exactly this colour, inside `area`.
int pixelsOf(const QImage& image, const QColor& colour, QRect area = {})
{
    if (area.isNull())
        area = image.rect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

// Holds the worker at the first transfer that meets `when` until the test opens it (or ten
// seconds passed, so that a failing test never hangs).
class Gate {
public:
    explicit Gate(std::function<bool(bool writing, std::uint64_t position)> when = {})
        : m_when(std::move(when))
    {}
    void at(bool writing, std::uint64_t position)
    {
        if (!m_when || m_reached || !m_when(writing, position))
            return;
        m_reached = true;
        m_open.try_acquire_for(std::chrono::seconds(10));
    }
    bool reached() const { return m_reached; }
    void open()
    {
        if (!m_opened.exchange(true))
            m_open.release();
    }

private:
    std::function<bool(bool, std::uint64_t)> m_when;
    std::atomic<bool> m_reached{false};
    std::atomic<bool> m_opened{false};
    std::binary_semaphore m_open{0};
};

} // namespace

Q_DECLARE_METATYPE(Setup)

class tst_CapacityWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<MediumModel> m_medium;
    ManualClock m_clock;
    RecordingDialogs m_dialogs;
    std::unique_ptr<Gate> m_gate = std::make_unique<Gate>();
    // Made after the medium and gone before it: the worker uses the medium until it ends.
    std::unique_ptr<CapacityWindow> m_window;

    // A medium of 12 MiB, checked in 1 MiB blocks and files of at most 5 MiB, a trace point
    // every 1 MiB.
    void openWindow(const Setup& setup = {})
    {
        m_window.reset();
        m_medium = std::make_unique<MediumModel>();
        m_medium->capacity = 12 * MiB;
        m_medium->clock = &m_clock;
        if (setup)
            setup(*m_medium);
        m_medium->beforeTransferAt = [this](bool writing, std::uint64_t position) {
            m_gate->at(writing, position);
        };
        CapacityWindowEnvironment environment{*m_medium, m_clock, &m_dialogs,
                                              m_programFolder->path()};
        environment.settings.protectedFolders = {};
        environment.settings.blockBytes = 1 * MiB;
        environment.settings.maxFileBytes = 5 * MiB;
        environment.settings.minimumTraceInterval = 1 * MiB;
        const QString root = m_dir->path();
        m_window = std::make_unique<CapacityWindow>(
            DriveListEntry{root, QStringLiteral("USB"), QStringLiteral("ja"),
                           QStringLiteral("Test Stick 1.00"), *mountIdentityOf(root)},
            environment);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    // Set before the check starts.
    void gateAt(std::function<bool(bool writing, std::uint64_t position)> when)
    {
        m_gate = std::make_unique<Gate>(std::move(when));
    }
    Ui::CapacityWindow& ui() { return m_window->ui(); }
    QStringList filesOfOurs() const
    {
        return QDir(m_dir->path()).entryList({QStringLiteral("$_cap*")}, QDir::Files);
    }
    void waitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(!m_window->checkRunning(), 20000); }
    QColor verdictColour() { return ui().verdict->palette().color(QPalette::WindowText); }
    QImage chartPicture() { return ui().chart->grab().toImage(); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(installGermanQtTexts(*QCoreApplication::instance()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_programFolder = std::make_unique<QTemporaryDir>();
        m_dialogs = {};
    }

    void cleanup()
    {
        m_gate->open();
        m_window.reset();
        m_gate = std::make_unique<Gate>();
    }

    void verdictOfACheck_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QColor>("colour");
        // The band beneath the position axis at 1, 7, 9 and 11.5 MiB.
        QTest::addColumn<QList<QColor>>("band");
        const QColor green(0, 128, 0), red(200, 0, 0);
        const QColor intact = ThroughputChart::IntactColour;
        QTest::newRow("sound medium")
            << Setup()
            << QStringLiteral("Ergebnis: IN ORDNUNG. Alle 12.582.912 geschriebenen Byte (12,00 "
                              "MByte) kamen unversehrt zurück.")
            << green << QList<QColor>(4, intact);
        QTest::newRow("counterfeit flash of 4 MiB")
            << Setup([](MediumModel& m) { m.wrapBeyond = 4 * MiB; })
            << QStringLiteral("Ergebnis: FÄLSCHUNG. Der Datenträger hat weniger Platz, als er "
                              "angibt: er gibt an Stelle älterer Daten später geschriebene "
                              "zurück. Nur 4.194.304 von 12.582.912 Byte kamen unversehrt "
                              "zurück. Nutzbare Kapazität: 4.194.304 Byte (4,00 MByte).")
            << red
            << QList<QColor>{ThroughputChart::OverwrittenColour, ThroughputChart::OverwrittenColour,
                             intact, intact};
        QTest::newRow("zeros beyond 7 MiB")
            << Setup([](MediumModel& m) { m.zerosBeyond = 7 * MiB; })
            << QStringLiteral("Ergebnis: DATENVERLUST. 5.242.880 von 12.582.912 Byte kamen "
                              "nicht unversehrt zurück, der erste Fehler liegt bei Byte "
                              "7.340.032. Nutzbare Kapazität: 7.340.032 Byte (7,00 MByte).")
            << red
            << QList<QColor>{intact, ThroughputChart::EmptyColour, ThroughputChart::EmptyColour,
                             ThroughputChart::EmptyColour};
    }

    // The verdict in its colour, the figures in the table, the chart's lines and its band of
    // damaged stretches, the files the check leaves, the picture and the text it saves.
    void verdictOfACheck()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, verdict);
        QFETCH(QColor, colour);
        QFETCH(QList<QColor>, band);
        openWindow(setup);
        QVERIFY(!ui().saveImageButton->isEnabled());
        ui().startButton->click();
        QVERIFY(m_window->checkRunning());
        QVERIFY(!ui().startButton->isEnabled());
        QVERIFY(ui().abortButton->isEnabled());
        waitForEnd();

        QCOMPARE(ui().verdict->text(), verdict);
        QCOMPARE(verdictColour(), colour);
        QCOMPARE(filesOfOurs(), QStringList());
        QCOMPARE(ui().progress->shownText(), QStringLiteral("Ende der Prüfung: 100 %"));
        QCOMPARE(ui().resultTable->item(0, 0)->text(), QStringLiteral("Geschrieben:"));
        QCOMPARE(ui().resultTable->item(0, 1)->text(),
                 QStringLiteral("     12.582.912 Byte = 12,00 MByte in 0,63 s: 19,07 MByte/s"));

        const ThroughputChart& chart = *ui().chart;
        const QImage chartImage = chartPicture();
        QVERIFY(pixelsOf(chartImage, ThroughputChart::WriteColour, chart.plotArea()) > 50);
        QVERIFY(pixelsOf(chartImage, ThroughputChart::ReadColour, chart.plotArea()) > 50);
        QList<QColor> bandSeen;
        for (const double mib : {1.0, 7.0, 9.0, 11.5})
            bandSeen << chartImage.pixelColor(static_cast<int>(chart.xOf(mib * MiB)),
                                              chart.bandArea().center().y());
        QCOMPARE(bandSeen, band);

        QVERIFY(ui().startButton->isEnabled());
        ui().copyButton->click();
        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY(copied.startsWith(
            QStringLiteral("Prüfung von %1 (1 MByte = 1.048.576 Byte)\n").arg(m_dir->path())));
        QVERIFY(copied.endsWith(verdict.section(QStringLiteral(" Nutzbare"), 0, 0) + '\n'));

        ui().saveImageButton->click();
        const QString picture = QStringLiteral("Test_Stick_1.00_Prüfung.png");
        QCOMPARE(QDir(m_programFolder->path()).entryList(QDir::Files), QStringList{picture});
        QCOMPARE(
            m_dialogs.messageTexts(),
            QStringList{QStringLiteral("ScreenShot wurde als \"%1\" gespeichert!").arg(picture)});
    }

    // "Abbrechen" during writing: the check ends at its next block and deletes its files.
    void abortWhileWriting()
    {
        openWindow();
        gateAt([](bool writing, std::uint64_t position) { return writing && position >= 3 * MiB; });
        ui().startButton->click();
        QTRY_VERIFY(m_gate->reached());
        // What arrived so far is drawn: the write line, no read line yet.
        QTRY_VERIFY(pixelsOf(chartPicture(), ThroughputChart::WriteColour, ui().chart->plotArea()) >
                    10);
        QCOMPARE(pixelsOf(chartPicture(), ThroughputChart::ReadColour, ui().chart->plotArea()), 0);
        QVERIFY(ui().progress->shownText().startsWith(QStringLiteral("Schreiben: ")));
        ui().abortButton->click();
        m_gate->open();
        waitForEnd();
        QCOMPARE(ui().verdict->text(),
                 QStringLiteral("Ergebnis: ABGEBROCHEN, bevor etwas zurückgelesen wurde: nichts "
                                "ist geprüft."));
        QVERIFY(verdictColour() != QColor(0, 128, 0) && verdictColour() != QColor(200, 0, 0));
        // The block held at the gate still landed: 4 of 12 MiB.
        QCOMPARE(ui().progress->shownText(), QStringLiteral("Abbruch der Prüfung: 33 %"));
        QCOMPARE(filesOfOurs(), QStringList());
    }

    void closingDuringACheck_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("filesLeft");
        QTest::newRow("files deleted")
            << false
            << QStringLiteral("Die Prüfung läuft noch. Soll sie abgebrochen werden? Ihre Dateien "
                              "werden dann gelöscht.")
            << QStringList();
        QTest::newRow("files kept")
            << true
            << QStringLiteral("Die Prüfung läuft noch. Soll sie abgebrochen werden? Ihre Dateien "
                              "bleiben auf dem Datenträger.")
            << QStringList{"$_cap0001.$$$", "$_cap0002.$$$", "$_cap0003.$$$"};
    }

    // The window asks first; "No" lets the check go on, "Yes" stops it as Ctrl+C would and the
    // window goes once the check has ended.
    void closingDuringACheck()
    {
        QFETCH(bool, keep);
        QFETCH(QString, question);
        QFETCH(QStringList, filesLeft);
        openWindow();
        ui().keepFiles->setChecked(keep);
        gateAt(
            [](bool writing, std::uint64_t position) { return !writing && position >= 4 * MiB; });
        ui().startButton->click();
        QTRY_VERIFY(m_gate->reached());

        m_dialogs.yes = false;
        QVERIFY(!m_window->close());
        QCOMPARE(m_dialogs.questions, QStringList{question});
        QVERIFY(m_window->isVisible() && m_window->checkRunning());

        m_dialogs.yes = true;
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        m_gate->open();
        QTRY_VERIFY(!m_window->isVisible());
        QCOMPARE(m_dialogs.questions.size(), 2);
        QCOMPARE(m_window->lastReport()->outcome, CheckOutcome::Aborted);
        QCOMPARE(filesOfOurs(), filesLeft);
    }
};

QTEST_MAIN(tst_CapacityWindow)
#include "tst_CapacityWindow.moc"
