#pragma once

#include "OleColor.h"
#include "modProgress.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace kardelo {

// The progress picture box: a bar in dark green with the caption and percentage centred on
// it. Its picture is kept (it survives repaints) and brought up to date on every request;
// the screen is repainted at most about 60 times a second, so the bar never becomes the
// measured medium's bottleneck.
class ProgressBox : public QWidget {
    Q_OBJECT

public:
    explicit ProgressBox(QWidget* parent = nullptr);

    void setBackColor(OleColor color);
    OleColor BackColor() const { return m_backColor; }
    void UpdateProgress(const ProgressRequest& request);
    // The picture as it stands, whether or not the screen shows it yet.
    const QPixmap& Picture() const { return m_picture; }
    const ProgressPicture& lastPicture() const { return m_last; }
    // What the box tells a screen reader: the text it shows (empty when none) and the
    // percentage of its bar (0 while it shows none).
    QString shownText() const { return m_last.drawText ? m_last.text : QString(); }
    int shownPercent() const { return m_last.drawBar ? m_last.percent : 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize pictureSize() const;
    bool pictureFits() const;
    void render();
    void scheduleRepaint();
    void announce(const QString& textBefore, int percentBefore);

    OleColor m_backColor = ButtonFace;
    ProgressRequest m_request;
    ProgressPicture m_last;
    QPixmap m_picture;
    QElapsedTimer m_sinceRepaint;
    QTimer m_pendingRepaint;
};

} // namespace kardelo
