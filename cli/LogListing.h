#pragma once

#include "LogFile.h"

#include <QString>
#include <cstdio>

namespace kardelo::cli {

// A record as `kardelo-cli log` prints it: the seven fields joined by "|", every control
// character written as \xHH, so a NUL or a line break inside a field can neither cut the record
// short nor run it into the next one.
QString logLine(const results::LogRecord& record);

// `kardelo-cli log [--json]` on the log at path: every valid record on out, a refusal on err.
// Returns the exit status.
int listLog(const QString& path, bool json, std::FILE* out, std::FILE* err);

} // namespace kardelo::cli
