#include "DriveList.h"

#include "ListView.h"
#include "OleColor.h"
#include "RuntimeError.h"

namespace kardelo {

namespace {

constexpr std::int32_t Centred = 2;

std::int32_t colour(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<std::int32_t>(rgb(red, green, blue));
}

} // namespace

void create_drive_grid(ListView& list, ICustomDraw* callback)
{
    ignoreErrors([&] { list.SetRedraw(false); });
    // "Gerät" shows a whole mount point such as /media/anna/INTENSO, not a drive letter.
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Gerät"), QStringLiteral("Gerät"), Centred, 190); });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner1"), {}, Centred, 1, false); });
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Bus Typ"), QStringLiteral("Bus Typ"), Centred, 70); });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner2"), {}, Centred, 1, false); });
    ignoreErrors([&] {
        list.AddColumn(QStringLiteral("Wechselbar"), QStringLiteral("Wechselbar"), Centred, 80);
    });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner4"), {}, Centred, 1, false); });
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), Centred, 263); });
    ignoreErrors([&] { list.SetDrawCallback(callback); });
    ignoreErrors([&] { list.SetRedraw(true); });
}

void load_drive_list(ListView& list, const std::vector<DriveListEntry>& entries)
{
    ignoreErrors([&] { list.Clear(); });
    ignoreErrors([&] { list.SetRedraw(false); });
    ignoreErrors([&] { list.Clear(); });
    for (const DriveListEntry& entry : entries) {
        std::int32_t row = -1;
        ignoreErrors([&] { row = list.AddItem(); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnDevice, entry.rootPath); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnBusType, entry.busType); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnRemovable, entry.removable); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnName, entry.name); });
    }
    ignoreErrors([&] {
        // Without columns AddItem throws, which also ends this loop.
        while (list.ItemCount() < DriveListMinimumRows)
            list.AddItem();
    });
    ignoreErrors([&] { list.SetRedraw(true); });
}

namespace {
// A cell of the first selected drive row; the first filler row ends the search.
QString selectedDriveCell(const ListView& list, std::int32_t column)
{
    QString result;
    ignoreErrors([&] {
        for (std::int32_t row = 0; row < list.ItemCount(); ++row) {
            if (list.ItemText(row, DriveColumnDevice).isEmpty())
                return;
            if (list.Table().ItemSelected(row)) {
                result = list.ItemText(row, column);
                return;
            }
        }
    });
    return result;
}
} // namespace

QString check_select(const ListView& list)
{
    return selectedDriveCell(list, DriveColumnDevice);
}

QString check_snap(const ListView& list)
{
    return selectedDriveCell(list, DriveColumnName);
}

bool driveRowColours(const ListView& list, std::int32_t row, std::int32_t column,
                     std::int32_t& back, std::int32_t& fore)
{
    bool selected = false;
    ignoreErrors([&] { selected = list.Table().ItemSelected(row); });
    if (selected)
        back = colour(141, 239, 140);
    else if (row % 2 != 0)
        back = colour(255, 255, 255);
    else
        back = colour(217, 252, 253);
    if (column % 2 != 0 && column >= 1 && column <= 19)
        back = colour(192, 192, 192);
    // The rows are light whatever the desktop's colours: their text keeps the dark colour it has
    // on a light desktop, so a dark one does not put light text on them.
    fore = colour(0, 0, 0);
    return true;
}

} // namespace kardelo
