#pragma once

#include "ICustomDraw.h"
#include "OleColor.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class QPushButton;

namespace Ui {
class frmProtokoll;
}

namespace kardelo {

class ListView;

// The results log as a sortable table, one row per record of protokoll.dat. The log is read
// once, when the window is created; closing the window destroys it.
class frmProtokoll : public QWidget, public ICustomDraw {
    Q_OBJECT

public:
    static constexpr OleColor PaleCyan = rgb(217, 252, 253);
    static constexpr OleColor White = rgb(255, 255, 255);
    static constexpr OleColor LightOrange = rgb(255, 192, 128);
    static constexpr OleColor Silver = rgb(192, 192, 192);
    static constexpr OleColor RowText = rgb(0, 0, 0);
    static constexpr int ColumnCount = 13;

    explicit frmProtokoll(const QString& logPath, QWidget* owner = nullptr);
    ~frmProtokoll() override;

    bool CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex, std::int32_t& BackColor,
                    std::int32_t& ForeColor) override;

    ListView& ListView1();
    QWidget& Picture1();
    QPushButton& Command1();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load(const QString& logPath);
    void CreateGrid();
    void load_list(const QString& logPath);
    void applyColumnWidths();

    std::unique_ptr<Ui::frmProtokoll> m_ui;
};

// The main window's "&Protokoll": shows the viewer for logPath without making it modal, or
// brings the open one to the front (its list is then not read again).
void showLogViewer(QWidget* owner, const QString& logPath);
// Destroys the open viewer, if any, at once.
void closeLogViewer();
// The open viewer, or nullptr.
frmProtokoll* openLogViewer();

} // namespace kardelo
