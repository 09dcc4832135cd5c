#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kardelo::cli {

enum class Command { SingleFile, MultiFile, Drives, Log, Help };

struct Options {
    Command command = Command::Help;
    QString drive;         // the directory to test, without a trailing "/" (except "/")
    QString fileSizeText;  // as the file-size list would show it, " 128"
    QString blockSizeText; // as the block-size list would show it, " 256"
    bool json = false;
    std::optional<QString> saveName; // --save: the medium's name for the results log
};

struct ParseResult {
    std::optional<Options> options;
    QString error; // why the arguments were refused, when options is empty
};

// Arguments without the program name.
ParseResult parseArguments(const QStringList& arguments);
QString usageText();

} // namespace kardelo::cli
