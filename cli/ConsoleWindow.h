#pragma once

#include "TestWindow.h"

#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <cstdio>

namespace kardelo::cli {

// Set from a signal handler (Ctrl+C, SIGTERM, SIGHUP); a speed test takes it over as an abort
// request at its next check, the capacity check reads it at its next block.
inline std::atomic<bool> interruptRequested{false};

// The main window's test-facing side on a terminal: progress captions on stderr (redrawn in
// place on a terminal), messages as text, label texts kept for the summary.
class ConsoleWindow : public TestWindow {
public:
    struct Message {
        QString text;
        MessageIcon icon;
    };

    ConsoleWindow(QString drive, std::FILE* progressStream);

    TestState& testState() override { return m_state; }
    QString text(QStringView control) const override;
    void setText(QStringView control, const QString& text) override;
    void setControlEnabled(QStringView, bool) override {}
    QString caption() const override { return m_caption; }
    void setCaption(const QString& caption) override { m_caption = caption; }
    void setBusyPointer(bool) override {}
    void showMessage(const QString& text, MessageIcon icon) override;
    void processEvents() override;
    QString checkSelect() override { return m_drive; }
    void setProgressBackground(OleColor) override {}
    void updateProgress(const ProgressRequest& request) override;

    const QList<Message>& messages() const { return m_messages; }
    // Ends a progress line still open on the terminal.
    void finishProgressLine();

private:
    QString m_drive;
    std::FILE* m_stream;
    bool m_terminal;
    TestState m_state;
    QHash<QString, QString> m_texts;
    QString m_caption = QStringLiteral("Kardelo");
    QString m_lastProgress;
    QString m_lastCaption;
    bool m_progressLineOpen = false;
    QList<Message> m_messages;
};

} // namespace kardelo::cli
