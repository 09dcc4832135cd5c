#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The two settings lists of the single-file test: file size in MByte and block size in KByte.
namespace kardelo::settings {

inline constexpr int FileSizesMB[] = {16, 32, 64, 128, 256, 512, 1024};
inline constexpr int BlockSizesKB[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096};
inline constexpr int DefaultFileSizeMB = 128;
inline constexpr int DefaultBlockSizeKB = 256;

// A list entry: the number right-aligned in four characters, so a fixed-pitch font lines the
// digits up (" 128", "  16", "4096").
QString entryText(int number);

QStringList fileSizeEntries();
QStringList blockSizeEntries();
QString defaultFileSizeText();
QString defaultBlockSizeText();

// A list's current text as a whole number (blanks allowed, a fraction rounded half to even);
// RuntimeError(TypeMismatch) for a text that is no number.
std::int32_t toNumber(const QString& text);

} // namespace kardelo::settings
