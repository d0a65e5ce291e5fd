#include "app/image_panel.h"

#include <algorithm>

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Brimwork {
namespace {

// Value 2 * p is point p's x, value 2 * p + 1 its y.
QString FieldLabel(int field)
{
    return field % 2 == 0 ? QStringLiteral("Hotspot %1: X").arg(field / 2 + 1) : QStringLiteral("Y");
}

}  // namespace

ImagePanel::ImagePanel(QWidget* parent)
    : QDockWidget(QStringLiteral("Image"), parent)
{
    setObjectName(QStringLiteral("ImagePanel"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    auto* contents = new QWidget(this);
    auto* layout = new QVBoxLayout(contents);
    size_ = new QLabel(contents);
    size_->setObjectName(QStringLiteral("ImageSize"));
    layout->addWidget(size_);

    auto* grid = new QGridLayout();
    for (int field = 0; field < MostValues; ++field) {
        labels_[field] = new QLabel(FieldLabel(field), contents);
        fields_[field] = new QSpinBox(contents);
        fields_[field]->setObjectName(QStringLiteral("HotspotValue%1").arg(field));
        fields_[field]->setKeyboardTracking(false);
        labels_[field]->setBuddy(fields_[field]);
        fields_[field]->installEventFilter(this);
        // One value a row, so that the panel is no wider than the
        // thumbnails above it.
        labels_[field]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(labels_[field], field, 0);
        grid->addWidget(fields_[field], field, 1);
        connect(fields_[field], &QSpinBox::editingFinished, this, [this, field] { FieldConfirmed(field); });
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch(1);
    setWidget(contents);
    Clear();
}

void ImagePanel::ShowImage(int width, int height, const std::vector<int32_t>& hotspots, int32_t lowest,
                           int32_t highest)
{
    values_ = hotspots;
    size_->setText(QStringLiteral("Size: %1 x %2").arg(width).arg(height));
    const int shown = static_cast<int>(std::min<size_t>(values_.size(), MostValues));
    for (int field = 0; field < shown; ++field) {
        const QSignalBlocker blocker(fields_[field]);
        fields_[field]->setRange(std::min(lowest, highest), std::max(lowest, highest));
        fields_[field]->setValue(values_[static_cast<size_t>(field)]);
    }
    ShowFields(shown);
}

void ImagePanel::Clear()
{
    values_.clear();
    size_->clear();
    ShowFields(0);
}

void ImagePanel::ShowFields(int count)
{
    for (int field = 0; field < MostValues; ++field) {
        const bool shown = field < count;
        fields_[field]->setEnabled(shown);
        fields_[field]->setVisible(shown);
        labels_[field]->setVisible(shown);
    }
}

void ImagePanel::SelectHotspot(int index)
{
    selected_ = index >= 0 && index < MostValues / 2 ? index : -1;
    for (int field = 0; field < MostValues; ++field) {
        QFont font = labels_[field]->font();
        font.setBold(field / 2 == selected_);
        labels_[field]->setFont(font);
    }
}

QString ImagePanel::SizeText() const { return size_->text(); }

void ImagePanel::FieldConfirmed(int field)
{
    // Leaving a field unchanged, or one hidden by Clear, is no edit; nor is
    // a value beyond the field's range that the field shows clamped.
    const auto at = static_cast<size_t>(field);
    if (at >= values_.size() || !fields_[field]->isEnabled())
        return;
    QSpinBox* box = fields_[field];
    if (box->value() == std::clamp(values_[at], box->minimum(), box->maximum()))
        return;
    values_[at] = fields_[field]->value();
    Q_EMIT HotspotsEdited(values_);
}

bool ImagePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        const auto found = std::find(fields_.begin(), fields_.end(), watched);
        if (found != fields_.end())
            Q_EMIT HotspotSelected(static_cast<int>(found - fields_.begin()) / 2);
    }
    return QDockWidget::eventFilter(watched, event);
}

}  // namespace Brimwork
