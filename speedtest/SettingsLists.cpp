#include "SettingsLists.h"

#include "Formats.h"

namespace kardelo::settings {

QString entryText(int number)
{
    return QStringLiteral("%1").arg(number, 4);
}

namespace {
template <std::size_t N> QStringList entries(const int (&numbers)[N])
{
    QStringList list;
    for (int number : numbers)
        list << entryText(number);
    return list;
}
} // namespace

QStringList fileSizeEntries()
{
    return entries(FileSizesMB);
}
QStringList blockSizeEntries()
{
    return entries(BlockSizesKB);
}
QString defaultFileSizeText()
{
    return entryText(DefaultFileSizeMB);
}
QString defaultBlockSizeText()
{
    return entryText(DefaultBlockSizeKB);
}

std::int32_t toNumber(const QString& text)
{
    return formats::textToInt32(text);
}

} // namespace kardelo::settings
