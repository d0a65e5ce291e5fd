#include "app/progress_dialog.h"

#include <cmath>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>

namespace Brimwork {

Dialog::Dialog()
    : QDialog(nullptr, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , progressBar1_(new QProgressBar(this))
{
    setObjectName(QStringLiteral("Dialog"));
    setModal(false);
    setSizeGripEnabled(false);

    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setOrientation(Qt::Horizontal);
    progressBar1_->setRange(0, 100);
    progressBar1_->setValue(0);
    progressBar1_->setTextVisible(false);
    progressBar1_->setGeometry(17, 27, 241, 17);

    // The client area at 184, 250 from the top-left corner of the screen.
    QPoint origin(0, 0);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        origin = screen->geometry().topLeft();
    setFixedSize(274, 71);
    setGeometry(QRect(origin + QPoint(184, 250), QSize(274, 71)));
}

void Dialog::SetPercent(float percent)
{
    if (std::isnan(percent))
        return;
    const float held = std::fmin(std::fmax(percent, 0.0f), 100.0f);
    progressBar1_->setValue(static_cast<int>(std::nearbyint(held)));
}

void Dialog::reject()
{
    // Escape does not close the window: a run must end it.
}

void Dialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

}  // namespace Brimwork
