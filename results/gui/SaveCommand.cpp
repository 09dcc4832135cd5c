#include "SaveCommand.h"

#include "EventLog.h"
#include "RuntimeError.h"

namespace kardelo::results {

bool saveTestResult(Dialogs& dialogs, FileSystem& fileSystem, const QString& logPath,
                    const TestResult& result, const QString& suggestedName, const QDateTime& when)
{
    bool written = false;
    const std::exception_ptr failure = contain([&] {
        if (suggestedName.isEmpty())
            return;
        const QString name = dialogs.askText(savePromptTitle(), savePromptText(), suggestedName);
        const SaveOutcome outcome =
            appendTestResult(fileSystem, logPath, result, name, when).outcome;
        if (outcome == SaveOutcome::AccessRefused)
            dialogs.message(QMessageBox::Warning, writeErrorText());
        written = outcome == SaveOutcome::Written;
    });
    logContainedError("Sa&ve", failure);
    return written;
}

} // namespace kardelo::results
