#include "ListViewDemo.h"

#include "ui_ListViewDemo.h"

#include <QDateTime>
#include <QLocale>

namespace {

const QLocale German(QLocale::German, QLocale::Germany);

} // namespace

ListViewDemo::ListViewDemo(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ListViewDemo>())
{
    m_ui->setupUi(this);
    // The lists take their stored sets before the window fills them, not at their first show.
    m_ui->ListView1->LoadStoredProperties();
    m_ui->ListView2->LoadStoredProperties();
    fillDrives();
    fillLog();
    m_ui->ListView2->SetDrawCallback(this);
}

ListViewDemo::~ListViewDemo() = default;

void ListViewDemo::fillDrives()
{
    kardelo::ListView& list = *m_ui->ListView1;
    list.AddColumn(QStringLiteral("Drive"), QStringLiteral("Laufwerk"), 0, 200);
    list.AddColumn(QStringLiteral("Bus"), QStringLiteral("Bus"), 0, 80);
    list.AddColumn(QStringLiteral("Removable"), QStringLiteral("Wechselmedium"), 2, 120);
    list.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), 0, 300);
    const struct {
        const char *mount, *bus, *removable, *name;
    } drives[] = {
        {"/", "NVMe", "nein", "Samsung SSD 980 PRO 1TB"},
        {"/media/stick", "USB", "ja", "BUFFALO USB 2GByte"},
        {"/media/sdcard", "SD", "ja", "SD-Card SanDisk Extreme III 1GB"},
        {"/media/backup", "USB", "nein", "Intenso External 2TB"},
    };
    for (const auto& drive : drives) {
        const std::int32_t row = list.AddItem(-1, QString::fromUtf8(drive.mount));
        list.SetItemText(row, 1, QString::fromUtf8(drive.bus));
        list.SetItemText(row, 2, QString::fromUtf8(drive.removable));
        list.SetItemText(row, 3, QString::fromUtf8(drive.name));
        list.Table().SetItemChecked(row, QLatin1String(drive.removable) == QLatin1String("ja"));
    }
}

void ListViewDemo::fillLog()
{
    kardelo::ListView& list = *m_ui->ListView2;
    list.SetRedraw(false);
    list.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), 0, 220);
    list.AddColumn(QStringLiteral("Write"), QStringLiteral("Schreiben MB/s"), 1, 110);
    list.AddColumn(QStringLiteral("Read"), QStringLiteral("Lesen MB/s"), 1, 100);
    list.AddColumn(QStringLiteral("FileSize"), QStringLiteral("Testdatei (MB)"), 1, 110);
    list.AddColumn(QStringLiteral("BlockSize"), QStringLiteral("Blockgröße (KB)"), 1, 120);
    list.AddColumn(QStringLiteral("Capacity"), QStringLiteral("Kapazität (MB)"), 1, 120);
    list.AddColumn(QStringLiteral("When"), QStringLiteral("Datum Zeit"), 0, 160);
    static const char* const names[] = {"BUFFALO USB 2GByte", "LEXAR GEYSER JUMPDRIVE",
                                        "Trekstor USB 256KByte", "SD-Card HAMA 128MB",
                                        "Kingston DataTraveler"};
    const QDateTime start(QDate(2007, 12, 27), QTime(9, 36, 4));
    for (int i = 0; i < LogRows; ++i) {
        const std::int32_t row =
            list.AddItem(-1, QStringLiteral("%1 #%2").arg(QLatin1String(names[i % 5])).arg(i));
        // Deterministic spread of speeds, a few of them slow.
        const double write = double((i * 7919) % 3000) / 100.0;
        const double read = double((i * 104729) % 4000) / 100.0;
        list.SetItemText(row, 1, German.toString(write, 'f', 2));
        list.SetItemText(row, 2, German.toString(read, 'f', 2));
        list.SetItemText(row, 3, QString::number(16 << (i % 7)));
        list.SetItemText(row, 4, QString::number(1 << (i % 13)));
        list.SetItemText(row, 5, German.toString(128 << (i % 8)));
        list.SetItemText(row, 6,
                         German.toString(start.addSecs(qint64(i) * 3607),
                                         QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    }
    list.SetRedraw(true);
}

bool ListViewDemo::CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex,
                              std::int32_t& BackColor, std::int32_t& ForeColor)
{
    BackColor = ItemIndex % 2 == 0 ? PaleCyan : White;
    if (ColumnIndex == 1) {
        bool ok = false;
        const double write = German.toDouble(m_ui->ListView2->ItemText(ItemIndex, 1), &ok);
        if (ok && write < SlowWrite)
            ForeColor = Red;
    }
    return true;
}
