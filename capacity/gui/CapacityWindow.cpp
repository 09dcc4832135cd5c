#include "CapacityWindow.h"

#include "AccessibleFrame.h"
#include "CheckSummary.h"
#include "DesktopSetup.h"
#include "EventLog.h"
#include "Formats.h"
#include "Screenshot.h"
#include "TestMessages.h"
#include "ui_CapacityWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>

namespace kardelo::capacity {

namespace {

constexpr int MostMessagesShown = 5;

QString bytesText(std::uint64_t bytes)
{
    const auto value = static_cast<double>(bytes);
    return QStringLiteral("%1 Byte (%2 MByte)")
        .arg(formats::grouped(value), formats::fixed(value / BytesPerMByte, 2));
}

} // namespace

CheckSettings windowCheckSettings()
{
    CheckSettings settings;
    settings.minimumTraceInterval = settings.blockBytes;
    return settings;
}

CapacityWindow::CapacityWindow(DriveListEntry medium, Environment environment, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::CapacityWindow>()),
      m_medium(std::move(medium)), m_environment(std::move(environment)),
      m_runner(m_environment.fileSystem, m_environment.clock)
{
    presentAsFrame(staticMetaObject);
    ensureLayoutFonts();
    m_ui->setupUi(this);
    m_ui->resultTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_ui->resultTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_ui->resultTable->setFixedHeight(
        12 * m_ui->resultTable->verticalHeader()->defaultSectionSize() +
        2 * m_ui->resultTable->frameWidth());
    m_newsTimer.setInterval(NewsIntervalMs);

    connect(m_ui->limitedAmount, &QRadioButton::toggled, m_ui->amountMBytes, &QSpinBox::setEnabled);
    connect(m_ui->startButton, &QPushButton::clicked, this,
            [this] { containAndLog("CapacityWindow", [this] { start(); }); });
    connect(m_ui->abortButton, &QPushButton::clicked, this, [this] { m_runner.abort(); });
    connect(m_ui->saveImageButton, &QPushButton::clicked, this,
            [this] { containAndLog("CapacityWindow", [this] { saveImage(); }); });
    connect(m_ui->copyButton, &QPushButton::clicked, this, [this] { copySummary(); });
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_newsTimer, &QTimer::timeout, this,
            [this] { containAndLog("CapacityWindow", [this] { showNews(); }); });
    connect(&m_runner, &CheckRunner::finished, this,
            [this] { containAndLog("CapacityWindow", [this] { showResult(); }); });

    showMedium();
}

CapacityWindow::~CapacityWindow() = default;

void CapacityWindow::setMedium(const DriveListEntry& medium)
{
    if (checkRunning())
        return;
    m_medium = medium;
    showMedium();
}

void CapacityWindow::showMedium()
{
    setWindowTitle(QStringLiteral("Kapazität und Daten prüfen – %1").arg(m_medium.rootPath));
    m_ui->mountPoint->setText(m_medium.rootPath);
    m_ui->deviceName->setText(m_medium.name);
    const std::optional<DiskSpace> space = m_environment.fileSystem.diskSpace(m_medium.rootPath);
    m_ui->capacity->setText(space ? bytesText(space->totalBytes) : QString());
    m_ui->freeSpace->setText(space ? bytesText(space->availableToCaller) : QString());
    if (!checkRunning() && m_ui->chart->data().points().empty())
        m_ui->chart->data().clear(space ? space->availableToCaller : 0);
    m_ui->chart->update();
}

Dialogs& CapacityWindow::dialogs()
{
    return m_environment.dialogs ? *m_environment.dialogs : m_ownDialogs;
}

void CapacityWindow::start()
{
    if (checkRunning())
        return;
    // The mount the row was made from is gone: its folder belongs to the disk beneath now.
    if (!isStillMounted(m_medium)) {
        dialogs().message(QMessageBox::Warning, kardelo::messages::DriveAccess);
        return;
    }
    CheckSettings settings = m_environment.settings;
    settings.folder = m_medium.rootPath;
    settings.keepFiles = m_ui->keepFiles->isChecked();
    settings.readOnly = m_ui->readOnly->isChecked();
    if (m_ui->limitedAmount->isChecked())
        settings.sizeLimit = static_cast<std::uint64_t>(m_ui->amountMBytes->value()) * MiB;
    m_keepFiles = settings.keepFiles;

    const std::optional<DiskSpace> space = m_environment.fileSystem.diskSpace(m_medium.rootPath);
    const std::uint64_t expected = space ? space->availableToCaller : 0;
    m_ui->chart->data().clear(settings.sizeLimit ? std::min(*settings.sizeLimit, expected)
                                                 : expected);
    m_ui->chart->update();
    m_phase = CheckPhase::Preparing;
    m_percent = 0;
    m_messages.clear();
    showMessages();
    m_ui->resultTable->setRowCount(0);
    m_ui->verdict->clear();
    m_ui->progressDetails->clear();
    m_ui->progress->setBackColor(rgb(128, 128, 128));
    m_ui->progress->UpdateProgress({0, 0, 100, phaseName(m_phase) + QStringLiteral(": "), false});

    setRunning(true);
    m_runner.start(settings);
    m_newsTimer.start();
}

void CapacityWindow::setRunning(bool running)
{
    m_ui->startButton->setEnabled(!running);
    m_ui->abortButton->setEnabled(running);
    m_ui->amountFrame->setEnabled(!running);
    m_ui->saveImageButton->setEnabled(!running && lastReport().has_value());
    m_ui->copyButton->setEnabled(!running && lastReport().has_value());
}

void CapacityWindow::showNews()
{
    CheckNews news = m_runner.takeNews();
    ChartData& chart = m_ui->chart->data();
    if (news.phase)
        m_phase = *news.phase;
    for (const auto& [index, point] : news.trace)
        chart.setPoint(index, point);
    for (const Region& region : news.regions)
        chart.markRegion(region);
    if (!news.messages.isEmpty()) {
        m_messages += news.messages;
        showMessages();
    }
    if (news.progress)
        showProgress(*news.progress);
    else if (news.phase && m_phase == CheckPhase::Deleting)
        m_ui->progress->UpdateProgress(
            {100, 0, 100, phaseName(m_phase) + QStringLiteral(" …"), false});
    m_ui->chart->update();
}

void CapacityWindow::showProgress(const CheckObserver::Progress& progress)
{
    ChartData& chart = m_ui->chart->data();
    if (progress.phase == CheckPhase::Writing ||
        (progress.phase == CheckPhase::Reading && m_ui->readOnly->isChecked()))
        chart.extendTo(progress.bytesTotal);
    chart.setTip(progress.phase, progress.bytesDone, progress.bytesPerSecond);
    if (progress.phase == CheckPhase::Reading)
        chart.setReadUpTo(progress.bytesDone);
    m_percent = progressPercent(progress);
    m_ui->progress->UpdateProgress(
        {m_percent, 0, 100, phaseName(progress.phase) + QStringLiteral(": ")});
    m_ui->progressDetails->setText(progressDetails(progress));
}

void CapacityWindow::showMessages()
{
    const QStringList shown =
        m_messages.mid(std::max<qsizetype>(0, m_messages.size() - MostMessagesShown));
    m_ui->messages->setText(shown.join(QLatin1Char('\n')));
    m_ui->messages->setVisible(!shown.isEmpty());
}

void CapacityWindow::showResult()
{
    m_newsTimer.stop();
    showNews();
    const std::optional<CheckReport>& report = lastReport();
    setRunning(false);
    if (!report)
        return;
    if (report->messages != m_messages) {
        m_messages = report->messages;
        showMessages();
    }

    ChartData& chart = m_ui->chart->data();
    chart.clearTips();
    for (std::size_t index = 0; index < report->trace.size(); ++index)
        chart.setPoint(index, report->trace[index]);
    if (report->reading)
        chart.setReadUpTo(report->reading->bytes);
    m_ui->chart->update();

    // An aborted check keeps the share of its phase that was done, as the speed tests do.
    const bool aborted = report->outcome == CheckOutcome::Aborted;
    m_ui->progress->setBackColor(ButtonFace);
    m_ui->progress->UpdateProgress(
        {aborted ? m_percent : 100, 0, 100,
         aborted ? QStringLiteral("Abbruch der Prüfung: ") : QStringLiteral("Ende der Prüfung: ")});
    m_ui->progressDetails->clear();

    const QList<SummaryRow> rows = summaryRows(*report, m_keepFiles);
    m_ui->resultTable->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        m_ui->resultTable->setItem(row, 0, new QTableWidgetItem(rows[row].label));
        auto* value = new QTableWidgetItem(rows[row].value);
        value->setToolTip(rows[row].value.trimmed());
        m_ui->resultTable->setItem(row, 1, value);
    }

    const Verdict verdict = verdictOf(*report);
    QString text = verdictText(*report, false);
    if (verdict == Verdict::DataLost)
        text += QLatin1Char(' ') + usableCapacitySentence(*report);
    m_ui->verdict->setText(text);
    QPalette palette = m_ui->verdict->palette();
    palette.setColor(QPalette::WindowText,
                     verdict == Verdict::AllIntact ? QColor(0, 128, 0)
                     : verdict == Verdict::DataLost
                         ? QColor(200, 0, 0)
                         : QApplication::palette().color(QPalette::WindowText));
    m_ui->verdict->setPalette(palette);

    showMedium();
    emit checkEnded();
    if (m_closeWhenEnded)
        close();
}

QString CapacityWindow::summaryText() const
{
    const std::optional<CheckReport>& report = lastReport();
    if (!report)
        return {};
    return verifySummary(*report, m_medium.rootPath, m_keepFiles, false);
}

void CapacityWindow::copySummary()
{
    if (const QString text = summaryText(); !text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QString CapacityWindow::imageName() const
{
    // Named after the medium like the main window's picture, but never in its place.
    // A medium called "." or ".." gets no picture there either.
    const QString name =
        m_medium.name.isEmpty() ? QFileInfo(m_medium.rootPath).fileName() : m_medium.name;
    return screenshotBaseName(name).isEmpty() ? QString() : name + QStringLiteral(" Prüfung");
}

void CapacityWindow::saveImage()
{
    takeScreenshot(*this, imageName(), m_environment.programFolder, m_environment.fileSystem,
                   dialogs());
}

QString CapacityWindow::closeQuestion() const
{
    return QStringLiteral("Die Prüfung läuft noch. Soll sie abgebrochen werden? ") +
           (m_ui->keepFiles->isChecked()
                ? QStringLiteral("Ihre Dateien bleiben auf dem Datenträger.")
                : QStringLiteral("Ihre Dateien werden dann gelöscht."));
}

void CapacityWindow::stopAndClose()
{
    m_closeWhenEnded = true;
    if (checkRunning())
        m_runner.abort();
    else
        close();
}

void CapacityWindow::closeEvent(QCloseEvent* event)
{
    if (!checkRunning()) {
        event->accept();
        return;
    }
    // The window goes once the check has ended and cleared the medium.
    event->ignore();
    if (m_closeWhenEnded)
        return;
    bool stop = false;
    containAndLog("CapacityWindow", [&] { stop = dialogs().question(closeQuestion()); });
    if (stop && checkRunning()) {
        m_closeWhenEnded = true;
        m_runner.abort();
    } else if (stop) {
        close();
    }
}

} // namespace kardelo::capacity
