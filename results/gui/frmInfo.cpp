#include "frmInfo.h"

#include "ui_frmInfo.h"

#include <QPointer>
#include <QScreen>

namespace kardelo {

namespace {

constexpr int VersionMajor = 2;
constexpr int VersionMinor = 1;

QPointer<frmInfo> g_info;

void setPointSize(QWidget& widget, qreal points)
{
    QFont font = widget.font();
    font.setPointSizeF(points);
    widget.setFont(font);
}

} // namespace

frmInfo::frmInfo(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_ui(std::make_unique<Ui::frmInfo>())
{
    m_ui->setupUi(this);
    setFixedSize(554, 577);
    // Designer files hold whole points only.
    setPointSize(*m_ui->Label4, 8.25);
    setPointSize(*m_ui->Text1, 8.25);
    m_ui->Label2->lower();
    m_ui->Label4->setText(versionLine());

    centreOnScreen();
}

void frmInfo::centreOnScreen()
{
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

frmInfo::~frmInfo() = default;

QString frmInfo::versionLine()
{
    return QStringLiteral("Version: %1.%2").arg(VersionMajor).arg(VersionMinor);
}

void showInfoWindow(QWidget* owner)
{
    if (!g_info) {
        g_info = new frmInfo(owner);
        g_info->setAttribute(Qt::WA_DeleteOnClose);
        g_info->show();
        // The frame is known only once the window is shown.
        g_info->centreOnScreen();
    }
    g_info->show();
    g_info->raise();
    g_info->activateWindow();
}

void closeInfoWindow()
{
    if (frmInfo* info = g_info.data()) {
        g_info = nullptr;
        info->close();
    }
}

frmInfo* openInfoWindow()
{
    return g_info.data();
}

} // namespace kardelo
