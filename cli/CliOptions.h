#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kardelo::cli {

enum class Command { SingleFile, MultiFile, Verify, Drives, Log, Help, Version };

struct Options {
    Command command = Command::Help;
    QString drive;         // the folder to test, without a trailing "/" (except "/")
    QString fileSizeText;  // as the file-size list would show it, " 128"
    QString blockSizeText; // as the block-size list would show it, " 256"
    bool json = false;
    std::optional<QString> saveName;  // --save: the medium's name for the results log
    std::optional<QString> tracePath; // --trace: where the CSV of the throughput goes
    // verify
    std::optional<std::int64_t> checkSizeMB; // --size: check this much at most
    bool keep = false;
    bool readOnly = false;
};

struct ParseResult {
    std::optional<Options> options;
    QString error; // why the arguments were refused, when options is empty
};

// Arguments without the program name. Sizes out of range and a PATH that is no folder are
// refused here, before any test starts.
ParseResult parseArguments(const QStringList& arguments);
QString usageText();

} // namespace kardelo::cli
