#pragma once

#include "ConsoleWindow.h"
#include "TestRun.h"

#include <QByteArray>
#include <QString>

namespace kardelo::cli {

// The four result labels of the test that ran, as the window shows them.
QString summaryText(const RunReport& report, const ConsoleWindow& window);
// The figures machine-readably.
QByteArray jsonReport(const RunReport& report, const ConsoleWindow& window, bool interrupted);

} // namespace kardelo::cli
