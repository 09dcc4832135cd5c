#include "ConsoleWindow.h"

#include <unistd.h>

namespace kardelo::cli {

ConsoleWindow::ConsoleWindow(QString drive, std::FILE* progressStream)
    : m_drive(std::move(drive)), m_stream(progressStream),
      m_terminal(::isatty(::fileno(progressStream)) == 1)
{}

QString ConsoleWindow::text(QStringView control) const
{
    return m_texts.value(control.toString());
}

void ConsoleWindow::setText(QStringView control, const QString& text)
{
    m_texts.insert(control.toString(), text);
}

void ConsoleWindow::showMessage(const QString& text, MessageIcon icon)
{
    finishProgressLine();
    m_messages.append({text, icon});
    const QByteArray line = (icon == MessageIcon::Information ? QStringLiteral("Hinweis: ")
                                                              : QStringLiteral("Warnung: "))
                                .toLocal8Bit() +
                            text.toLocal8Bit() + '\n';
    std::fputs(line.constData(), m_stream);
    std::fflush(m_stream);
}

void ConsoleWindow::processEvents()
{
    if (interruptRequested.load())
        m_state.abortRequested = true;
}

void ConsoleWindow::updateProgress(const ProgressRequest& request)
{
    // Called once per block inside the timed interval: only a changed text costs a write.
    const QString text = progressText(request);
    if (text == m_lastProgress)
        return;
    m_lastProgress = text;
    if (text.isEmpty())
        return;
    const QByteArray bytes = text.toLocal8Bit();
    if (m_terminal) {
        std::fprintf(m_stream, "\r%s\033[K", bytes.constData());
        m_progressLineOpen = true;
    } else {
        // A log file gets a line at each new caption and every tenth percent, not a hundred.
        const std::int16_t percent = progressPercent(request);
        if (request.caption == m_lastCaption && percent % 10 != 0)
            return;
        m_lastCaption = request.caption;
        std::fprintf(m_stream, "%s\n", bytes.constData());
    }
    std::fflush(m_stream);
}

void ConsoleWindow::finishProgressLine()
{
    if (m_progressLineOpen) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
        m_progressLineOpen = false;
    }
}

} // namespace kardelo::cli
