#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmInfo;
}

namespace kardelo {

// The program's name, version and help text; fixed size, not modal.
class frmInfo : public QDialog {
    Q_OBJECT

public:
    explicit frmInfo(QWidget* owner = nullptr);
    ~frmInfo() override;

    static QString versionLine();
    // In the middle of the owner's screen, by the window's outer size.
    void centreOnScreen();

private:
    std::unique_ptr<Ui::frmInfo> m_ui;
};

// Opens the info window, or brings the open one to the front.
void showInfoWindow(QWidget* owner);
// Closes the info window if it is open (the main window's shutdown).
void closeInfoWindow();
// The open info window, or null.
frmInfo* openInfoWindow();

} // namespace kardelo
