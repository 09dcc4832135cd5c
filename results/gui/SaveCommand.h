#pragma once

#include "Dialogs.h"
#include "FileSystem.h"
#include "ResultsLog.h"

#include <QDateTime>
#include <QString>

namespace kardelo::results {

// "Sa&ve": prompts for the name with suggestedName (check_snap) as the preset, appends the
// record to the log at logPath, and shows the write-error message when access is refused.
// True when the record was written, so the window disables "Sa&ve". Never throws.
bool saveTestResult(Dialogs& dialogs, FileSystem& fileSystem, const QString& logPath,
                    const TestResult& result, const QString& suggestedName, const QDateTime& when);

} // namespace kardelo::results
