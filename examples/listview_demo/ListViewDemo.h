#pragma once

#include "ICustomDraw.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ListViewDemo;
}

// A host window for the list control: two lists whose stored property sets come from the
// window's layout file, one with a few drive rows and check boxes, one with 10,000 results
// rows coloured through ICustomDraw.
class ListViewDemo : public QWidget, public kardelo::ICustomDraw {
    Q_OBJECT

public:
    static constexpr int LogRows = 10'000;
    static constexpr std::int32_t PaleCyan = 0xFFFFE0;
    static constexpr std::int32_t White = 0xFFFFFF;
    static constexpr std::int32_t Red = 0x0000FF;
    // Write speeds below this are shown in red.
    static constexpr double SlowWrite = 5.0;

    explicit ListViewDemo(QWidget* parent = nullptr);
    ~ListViewDemo() override;

    bool CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex, std::int32_t& BackColor,
                    std::int32_t& ForeColor) override;

private:
    void fillDrives();
    void fillLog();

    std::unique_ptr<Ui::ListViewDemo> m_ui;
};
