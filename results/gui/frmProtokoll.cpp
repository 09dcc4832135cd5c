#include "frmProtokoll.h"

#include "AccessibleFrame.h"
#include "DesktopSetup.h"
#include "Dialogs.h"
#include "Formats.h"
#include "ListView.h"
#include "PosixFileSystem.h"
#include "ResultsLog.h"
#include "RuntimeError.h"
#include "ui_frmProtokoll.h"

#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <array>

namespace kardelo {

namespace {

struct GridColumn {
    const char* key;
    std::int32_t align;
    double share; // of the list's width; 0 for a separator
};

constexpr std::array<GridColumn, frmProtokoll::ColumnCount> Grid = {{
    {"Name", 0, 0.26},
    {"trenner1", 2, 0},
    {"Write MB/s", 2, 0.095},
    {"trenner2", 2, 0},
    {"Read MB/s", 2, 0.095},
    {"trenner3", 2, 0},
    {"TestFile Size(MB)", 2, 0.13},
    {"trenner4", 2, 0},
    {"BlockSize (KB)", 2, 0.11},
    {"trenner5", 2, 0},
    {"Capacity (MB)", 2, 0.122},
    {"trenner6", 2, 0},
    {"Date Time", 2, 0.155},
}};

QPointer<frmProtokoll> g_viewer;

} // namespace

frmProtokoll::frmProtokoll(const QString& logPath, QWidget* owner)
    // A tool window of the main window: it stays out of the taskbar.
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_ui(std::make_unique<Ui::frmProtokoll>())
{
    presentAsFrame(staticMetaObject);
    ensureLayoutFonts();
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Whole points only in the layout file.
    QFont tahoma = font();
    tahoma.setPointSizeF(8.25);
    setFont(tahoma);
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(m_ui->Command1, &QPushButton::clicked, this, &QWidget::close);

    m_ui->ListView1->LoadStoredProperties();
    Form_Load(logPath);
}

frmProtokoll::~frmProtokoll()
{
    // The base class still hides the window and moves the focus, which repaints the list.
    ListView1().SetRedraw(false);
    ListView1().SetDrawCallback(nullptr);
}

ListView& frmProtokoll::ListView1()
{
    return *m_ui->ListView1;
}

QWidget& frmProtokoll::Picture1()
{
    return *m_ui->Picture1;
}

QPushButton& frmProtokoll::Command1()
{
    return *m_ui->Command1;
}

void frmProtokoll::Form_Load(const QString& logPath)
{
    setWindowTitle(QStringLiteral("Protokoll Anzeige"));
    ListView& list = ListView1();
    list.SetRedraw(false);
    CreateGrid();
    load_list(logPath);
    list.SetRedraw(true);
}

void frmProtokoll::CreateGrid()
{
    ListView& list = ListView1();
    list.SetRedraw(false);
    list.resize(width() - 15, height() - Picture1().height() - 10);
    for (const GridColumn& column : Grid) {
        const QString key = QLatin1String(column.key);
        ignoreErrors([&] {
            if (column.share == 0)
                list.AddColumn(key, {}, column.align, 1, false, true);
            else
                list.AddColumn(key, key, column.align,
                               formats::toInt32(list.width() * column.share), true, true);
        });
    }
    list.SetDrawCallback(this);
    list.SetRedraw(true);
}

void frmProtokoll::load_list(const QString& logPath)
{
    ListView& list = ListView1();
    list.SetRedraw(false);
    list.Clear();
    const results::LogReadResult loaded = results::readLog(
        PosixFileSystem::instance(), logPath, [&](const results::LogRecord& record) {
            ignoreErrors([&] {
                std::array<QString, ColumnCount> texts; // the separator columns stay empty
                for (int field = 0; field < results::FieldCount; ++field)
                    texts[field * 2] = record[field];
                list.Table().AddRow(texts);
            });
        });
    if (loaded.outcome == results::LogReadOutcome::Missing ||
        loaded.outcome == results::LogReadOutcome::NotARegularFile) {
        WidgetDialogs(this).message(QMessageBox::Warning,
                                    loaded.outcome == results::LogReadOutcome::Missing
                                        ? QStringLiteral("Die protokolldatei protokoll.dat wurde "
                                                         "nicht gefunden")
                                        : results::logNotRegularText());
        return;
    }
    list.SetRedraw(true);
}

void frmProtokoll::applyColumnWidths()
{
    ListView& list = ListView1();
    const bool redraw = list.Redraw();
    list.SetRedraw(false);
    for (std::int32_t c = 0; c < ColumnCount; ++c) {
        if (Grid[c].share != 0)
            ignoreErrors([&] {
                list.Table().SetColumnWidth(c, formats::toInt32(list.width() * Grid[c].share));
            });
    }
    list.SetRedraw(redraw);
}

void frmProtokoll::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    QWidget& strip = Picture1();
    strip.setGeometry(0, height() - strip.height(), width(), strip.height());
    if (isMinimized())
        return;
    ListView& list = ListView1();
    const int listWidth = width() - 2 * list.x();
    if (listWidth > 0)
        list.resize(listWidth, list.height());
    const int listHeight = height() - 2 * (list.y() - strip.height() + 23);
    if (listHeight > 0)
        list.resize(list.width(), listHeight);
    applyColumnWidths();
}

bool frmProtokoll::CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex,
                              std::int32_t& BackColor, std::int32_t& ForeColor)
{
    // The rows are light whatever the desktop's colours: their text keeps the dark colour it has
    // on a light desktop, so a dark one does not put light text on them.
    ForeColor = static_cast<std::int32_t>(RowText);
    OleColor back = ItemIndex % 2 == 0 ? PaleCyan : White;
    if (ColumnIndex % 2 == 1)
        back = Silver;
    else
        ignoreErrors([&] {
            if (ListView1().Table().ItemSelected(ItemIndex))
                back = LightOrange;
        });
    BackColor = static_cast<std::int32_t>(back);
    return true;
}

void showLogViewer(QWidget* owner, const QString& logPath)
{
    // A viewer closed in this same pass of the event loop is gone already, though not deleted.
    if (g_viewer && g_viewer->isVisible()) {
        if (g_viewer->isMinimized())
            g_viewer->showNormal();
        g_viewer->raise();
        g_viewer->activateWindow();
        return;
    }
    ignoreErrors([&] {
        g_viewer = new frmProtokoll(logPath, owner);
        g_viewer->show();
    });
}

void closeLogViewer()
{
    delete g_viewer.data();
}

frmProtokoll* openLogViewer()
{
    return g_viewer.data();
}

} // namespace kardelo
