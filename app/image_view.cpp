#include "app/image_view.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QWheelEvent>

#include "core/checked.h"
#include "core/error.h"
#include "image/image_buffer.h"

namespace Brimwork {
namespace {

std::string SizeText(const ImageBuffer& image)
{
    return std::to_string(image.ImageWidth) + " x " + std::to_string(image.ImageHeight);
}

// A crosshair's line over a dark outline, so that it shows on any picture;
// the selected one in a colour of its own.
const QColor CrosshairOutline(0, 0, 0);
const QColor CrosshairLine(255, 255, 255);
const QColor SelectedCrosshairLine(255, 0, 255);

// The one local image file a drag carries, if that is what it carries.
std::optional<QString> DraggedImageFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    const QString file = urls.first().toLocalFile();
    if (!IsDroppableImageFile(file))
        return std::nullopt;
    return file;
}

int ClampToInt(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// Rounds down into the int range; a picture squeezed to nothing (scale 0)
// gives infinities here, which end at the range's ends.
int FloorToInt(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::floor(value), double(std::numeric_limits<int>::min()),
                                       double(std::numeric_limits<int>::max())));
}

}  // namespace

bool IsDroppableImageFile(const QString& fileName)
{
    return fileName.endsWith(QStringLiteral(".tga"), Qt::CaseInsensitive) ||
           fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

DisplayPicture MakeDisplayPicture(const ImageBuffer& image)
{
    if (image.ImageWidth < 0 || image.ImageHeight < 0)
        throw Error("The image to show has a negative size (" + SizeText(image) + ")");
    const int32_t stride = RowStride(image.ImageWidth);
    const int32_t size = Checked::Mul(stride, image.ImageHeight, "The display size of an image");
    if (image.ImageWidth > QWIDGETSIZE_MAX || image.ImageHeight > QWIDGETSIZE_MAX)
        throw Error("The image to show is too large for the window (" + SizeText(image) + ")");

    DisplayPicture picture;
    picture.width = image.ImageWidth;
    picture.height = image.ImageHeight;
    if (size == 0)
        return picture;

    // Only the whole rows the buffer holds: never a byte past its end.
    const size_t held = image.ImageBytes.size();
    const int32_t rows = held >= static_cast<size_t>(size)
                             ? image.ImageHeight
                             : static_cast<int32_t>(held / static_cast<size_t>(stride));
    if (rows == 0)
        return picture;

    const QImage wrapped(image.ImageBytes.data(), image.ImageWidth, rows, stride, QImage::Format_RGB555);
    picture.rows = wrapped.copy();
    if (picture.rows.isNull())
        throw Error("There is not enough memory to show the image (" + SizeText(image) + ")");
    if constexpr (std::endian::native == std::endian::big) {
        // The buffer's words are little-endian; QImage reads native words.
        for (int y = 0; y < rows; ++y) {
            auto* line = reinterpret_cast<uint16_t*>(picture.rows.scanLine(y));
            for (int x = 0; x < image.ImageWidth; ++x)
                line[x] = static_cast<uint16_t>((line[x] >> 8) | (line[x] << 8));
        }
    }
    return picture;
}

QString PixelReadoutText(int x, int y, std::optional<uint16_t> word)
{
    QString text = QStringLiteral("X: %1  Y: %2").arg(x).arg(y);
    if (word) {
        const QString hex = QStringLiteral("%1").arg(*word, 4, 16, QLatin1Char('0')).toUpper();
        text += QStringLiteral("  Word: 0x%1  R: %2  G: %3  B: %4")
                    .arg(hex)
                    .arg((*word >> 10) & 31)
                    .arg((*word >> 5) & 31)
                    .arg(*word & 31);
    }
    return text;
}

QString ZoomText(double scale, bool fitting)
{
    QString text = QStringLiteral("Zoom: %1%").arg(qRound(scale * 100));
    if (fitting)
        text += QStringLiteral(" (Fit)");
    return text;
}

ImageView::ImageView(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(false);
    setMouseTracking(true);
    setAcceptDrops(true);
}

void ImageView::MakeScrollBars()
{
    // Made with the first picture, after the window has set its tab order,
    // so that they stand last in the focus chain, out of its way.
    if (across_)
        return;
    across_ = new QScrollBar(Qt::Horizontal, parentWidget());
    down_ = new QScrollBar(Qt::Vertical, parentWidget());
    for (QScrollBar* bar : {across_, down_}) {
        bar->hide();
        bar->setFocusPolicy(Qt::NoFocus);
        connect(bar, &QScrollBar::valueChanged, this, &ImageView::Scrolled);
    }
    across_->setObjectName(QStringLiteral("Picture1Across"));
    down_->setObjectName(QStringLiteral("Picture1Down"));
}

ImageView::~ImageView()
{
    delete across_;
    delete down_;
}

void ImageView::Show(const DisplayPicture& picture)
{
    if (picture.width == 0 || picture.height == 0) {
        backing_ = QImage();
        rowsHeld_ = 0;
    } else if (!picture.rows.isNull() && picture.rows.height() == picture.height) {
        backing_ = picture.rows;
        rowsHeld_ = picture.height;
    } else {
        QImage backing(picture.width, picture.height, QImage::Format_RGB555);
        if (backing.isNull())
            throw Error("There is not enough memory to show the image (" + std::to_string(picture.width) + " x " +
                        std::to_string(picture.height) + ")");
        backing.fill(palette().color(backgroundRole()));
        rowsHeld_ = 0;
        if (!picture.rows.isNull()) {
            const qsizetype rowBytes = qsizetype{picture.width} * 2;
            const QImage rows = picture.rows.convertToFormat(QImage::Format_RGB555);
            for (int y = 0; y < rows.height(); ++y)
                std::memcpy(backing.scanLine(y), rows.constScanLine(y), static_cast<size_t>(rowBytes));
            rowsHeld_ = rows.height();
        }
        backing_ = std::move(backing);
    }
    colours_ = backing_.isNull() ? QImage() : backing_.convertToFormat(QImage::Format_RGB32);
    if (!backing_.isNull() && colours_.isNull())
        throw Error("There is not enough memory to show the image (" + std::to_string(picture.width) + " x " +
                    std::to_string(picture.height) + ")");
    if (!shown_)
        startSize_ = size();
    shown_ = true;
    Relayout();
    update();
    if (lastPoint_.x() >= 0)
        Point(PixelAt(lastPoint_));
}

void ImageView::Clear()
{
    if (!shown_)
        return;
    backing_ = QImage();
    colours_ = QImage();
    fitted_ = QImage();
    rowsHeld_ = 0;
    Relayout();
    shown_ = false;
    resize(startSize_);
    update();
    if (lastPoint_.x() >= 0)
        Point(std::nullopt);
}

void ImageView::SetRoom(QSize room)
{
    room = room.expandedTo(QSize(0, 0));
    if (room == room_)
        return;
    room_ = room;
    if (shown_)
        Relayout();
}

void ImageView::SetZoomStep(int step)
{
    step_ = step;
    fitting_ = false;
    const QPoint middle(width() / 2, height() / 2);
    ZoomAround(0, middle);
}

void ImageView::ZoomIn() { ZoomAround(1, QPointF(width() / 2.0, height() / 2.0)); }

void ImageView::ZoomOut() { ZoomAround(-1, QPointF(width() / 2.0, height() / 2.0)); }

void ImageView::ZoomToFit()
{
    fitting_ = true;
    Relayout();
    update();
    Q_EMIT ZoomChanged();
}

void ImageView::ZoomAround(int steps, QPointF point)
{
    const QPointF imagePoint = (point + Offset()) / scale_;
    if (steps > 0) {
        auto next = std::find_if(ZoomSteps.begin(), ZoomSteps.end(), [&](int s) { return s > scale_ + 1e-9; });
        step_ = next == ZoomSteps.end() ? ZoomSteps.back() : *next;
        fitting_ = false;
    } else if (steps < 0) {
        auto below = std::find_if(ZoomSteps.rbegin(), ZoomSteps.rend(), [&](int s) { return s < scale_ - 1e-9; });
        step_ = below == ZoomSteps.rend() ? ZoomSteps.front() : *below;
        fitting_ = false;
    }
    Relayout();
    const QPointF offset = imagePoint * scale_ - point;
    across_->setValue(qRound(offset.x()));
    down_->setValue(qRound(offset.y()));
    update();
    if (lastPoint_.x() >= 0)
        Point(PixelAt(lastPoint_));
    Q_EMIT ZoomChanged();
}

void ImageView::Relayout()
{
    MakeScrollBars();
    const int width = backing_.width(), height = backing_.height();
    scale_ = step_;
    if (fitting_ && width > 0 && height > 0) {
        int best = 0;
        for (int s : ZoomSteps)
            if (int64_t{width} * s <= room_.width() && int64_t{height} * s <= room_.height())
                best = s;
        scale_ = best > 0 ? best
                          : std::min(static_cast<double>(room_.width()) / width,
                                     static_cast<double>(room_.height()) / height);
    }
    // The zoomed size, kept within what a scroll bar can count.
    const auto zoomed = [&](int length) {
        const double size = scale_ >= 1 ? double(length) * scale_ : std::max(1.0, std::floor(length * scale_));
        return length == 0 ? 0 : static_cast<int>(std::min(size, double(std::numeric_limits<int>::max() / 2)));
    };
    content_ = QSize(zoomed(width), zoomed(height));
    fitted_ = scale_ < 1 ? colours_.scaled(content_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : QImage();

    // Scroll bars only where the picture is larger than the room.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool across = content_.width() > room_.width();
    bool down = content_.height() > room_.height();
    if (across && !down)
        down = content_.height() > room_.height() - bar;
    if (down && !across)
        across = content_.width() > room_.width() - bar;
    const int shownWidth = std::max(0, std::min(content_.width(), room_.width() - (down ? bar : 0)));
    const int shownHeight = std::max(0, std::min(content_.height(), room_.height() - (across ? bar : 0)));
    across_->setRange(0, content_.width() - shownWidth);
    across_->setPageStep(std::max(1, shownWidth));
    across_->setSingleStep(std::max(1, static_cast<int>(scale_ * 8)));
    down_->setRange(0, content_.height() - shownHeight);
    down_->setPageStep(std::max(1, shownHeight));
    down_->setSingleStep(std::max(1, static_cast<int>(scale_ * 8)));
    resize(shownWidth, shownHeight);
    across_->setVisible(across && parentWidget() != nullptr);
    down_->setVisible(down && parentWidget() != nullptr);
    PlaceScrollBars();
}

void ImageView::PlaceScrollBars()
{
    if (!across_)
        return;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    across_->setGeometry(x(), y() + height(), width(), bar);
    down_->setGeometry(x() + width(), y(), bar, height());
}

void ImageView::moveEvent(QMoveEvent* event)
{
    PlaceScrollBars();
    QWidget::moveEvent(event);
}

QPoint ImageView::Offset() const
{
    return across_ ? QPoint(across_->value(), down_->value()) : QPoint(0, 0);
}

std::optional<QPoint> ImageView::PixelAt(QPoint point) const
{
    const QPoint at = point + Offset();
    if (backing_.isNull() || point.x() < 0 || point.y() < 0 || point.x() >= width() ||
        point.y() >= height() || at.x() >= content_.width() || at.y() >= content_.height())
        return std::nullopt;
    const int x = std::min(static_cast<int>(at.x() / scale_), backing_.width() - 1);
    const int y = std::min(static_cast<int>(at.y() / scale_), backing_.height() - 1);
    return QPoint(x, y);
}

std::optional<uint16_t> ImageView::WordAt(QPoint pixel) const
{
    if (pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= backing_.width() || pixel.y() >= rowsHeld_)
        return std::nullopt;
    return reinterpret_cast<const uint16_t*>(backing_.constScanLine(pixel.y()))[pixel.x()];
}

void ImageView::Point(std::optional<QPoint> pixel)
{
    if (pixel == pointed_)
        return;
    pointed_ = pixel;
    Q_EMIT PointedPixelChanged();
}

void ImageView::paintEvent(QPaintEvent* event)
{
    if (colours_.isNull())
        return;
    QPainter painter(this);
    PaintPicture(painter, event->rect());
    if (hotspotsShown_)
        PaintHotspots(painter);
}

void ImageView::PaintPicture(QPainter& painter, QRect area) const
{
    const QPoint offset = Offset();
    const QRect wanted = area.translated(offset) & QRect(QPoint(0, 0), content_);
    if (wanted.isEmpty())
        return;
    if (scale_ < 1) {
        painter.drawImage(wanted.topLeft() - offset, fitted_, wanted);
        return;
    }
    const int step = static_cast<int>(scale_);
    if (step == 1) {
        painter.drawImage(wanted.topLeft() - offset, colours_, wanted);
        return;
    }
    // Nearest neighbour, by hand: every image pixel an exact step x step
    // square, whatever part of it is in sight.
    QImage block(wanted.size(), QImage::Format_RGB32);
    for (int y = 0; y < block.height(); ++y) {
        const int sourceY = (wanted.top() + y) / step;
        auto* line = reinterpret_cast<QRgb*>(block.scanLine(y));
        if (y > 0 && sourceY == (wanted.top() + y - 1) / step) {
            std::memcpy(line, block.constScanLine(y - 1), static_cast<size_t>(block.bytesPerLine()));
            continue;
        }
        const auto* source = reinterpret_cast<const QRgb*>(colours_.constScanLine(sourceY));
        for (int x = 0; x < block.width(); ++x)
            line[x] = source[(wanted.left() + x) / step];
    }
    painter.drawImage(wanted.topLeft() - offset, block);
}

// ---- Hotspots --------------------------------------------------------------

void ImageView::SetHotspots(std::vector<QPoint> points)
{
    // A drag goes on only while its hotspot is still where it started.
    const auto dragged = static_cast<size_t>(drag_ ? drag_->index : 0);
    if (drag_ && (dragged >= points.size() || points[dragged] != drag_->from))
        EndDrag(false);
    hotspots_ = std::move(points);
    if (selected_ >= static_cast<int>(hotspots_.size()))
        selected_ = -1;
    update();
}

void ImageView::SetHotspotsShown(bool shown)
{
    if (shown == hotspotsShown_)
        return;
    if (!shown) {
        EndDrag(false);
        unsetCursor();
    }
    hotspotsShown_ = shown;
    update();
}

void ImageView::SelectHotspot(int index)
{
    selected_ = index >= 0 && index < static_cast<int>(hotspots_.size()) ? index : -1;
    update();
}

QPointF ImageView::ScreenPointOf(QPoint pixel) const
{
    return QPointF((pixel.x() + 0.5) * scale_, (pixel.y() + 0.5) * scale_) - Offset();
}

void ImageView::PaintHotspots(QPainter& painter) const
{
    const auto paintOne = [&](QPoint pixel, bool selected) {
        const QPointF at = ScreenPointOf(pixel);
        // Far outside the box (hotspots may hold any value) nothing shows.
        const int reach = CrosshairArm + 2;
        if (at.x() < -reach || at.y() < -reach || at.x() > width() + reach || at.y() > height() + reach)
            return;
        const int x = static_cast<int>(std::floor(at.x())), y = static_cast<int>(std::floor(at.y()));
        const int arm = CrosshairArm;
        painter.fillRect(x - arm - 1, y - 1, 2 * arm + 3, 3, CrosshairOutline);
        painter.fillRect(x - 1, y - arm - 1, 3, 2 * arm + 3, CrosshairOutline);
        const QColor line = selected ? SelectedCrosshairLine : CrosshairLine;
        painter.fillRect(x - arm, y, 2 * arm + 1, 1, line);
        painter.fillRect(x, y - arm, 1, 2 * arm + 1, line);
    };
    // The selected one last, so that it stays whole where others cross it.
    for (int i = 0; i < static_cast<int>(hotspots_.size()); ++i)
        if (i != selected_)
            paintOne(drag_ && drag_->index == i ? drag_->at : hotspots_[static_cast<size_t>(i)], false);
    if (selected_ >= 0)
        paintOne(drag_ && drag_->index == selected_ ? drag_->at : hotspots_[static_cast<size_t>(selected_)], true);
}

int ImageView::HotspotAt(QPointF point) const
{
    int nearest = -1;
    double nearestDistance = 0;
    for (int i = 0; i < static_cast<int>(hotspots_.size()); ++i) {
        const QPointF middle = ScreenPointOf(hotspots_[static_cast<size_t>(i)]);
        const double dx = std::abs(point.x() - std::floor(middle.x()));
        const double dy = std::abs(point.y() - std::floor(middle.y()));
        const bool onArm = (dx <= CrosshairArm + CrosshairReach && dy <= CrosshairReach) ||
                           (dy <= CrosshairArm + CrosshairReach && dx <= CrosshairReach);
        const double distance = dx * dx + dy * dy;
        if (onArm && (nearest < 0 || distance < nearestDistance)) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

QPoint ImageView::UnboundedPixelAt(QPointF point) const
{
    const QPointF at = (point + Offset()) / scale_;
    return QPoint(FloorToInt(at.x()), FloorToInt(at.y()));
}

void ImageView::EndDrag(bool keep)
{
    if (!drag_)
        return;
    const Drag ended = *drag_;
    drag_.reset();
    update();
    if (!keep || ended.at == ended.from)
        return;
    hotspots_[static_cast<size_t>(ended.index)] = ended.at;
    Q_EMIT HotspotMoved(ended.index, ended.at);
}

void ImageView::UpdateCursor(QPointF point)
{
    if (drag_ || HotspotAt(point) >= 0)
        setCursor(Qt::SizeAllCursor);
    else
        unsetCursor();
}

void ImageView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        // Scrolls down, or across with Shift or a sideways wheel.
        const bool sideways = event->angleDelta().x() != 0 || (event->modifiers() & Qt::ShiftModifier);
        QScrollBar* bar = sideways ? across_ : down_;
        if (bar && bar->isVisible())
            QCoreApplication::sendEvent(bar, event);
        event->accept();
        return;
    }
    // One step per notch (120); finer wheels add up to a notch.
    wheelAngle_ += event->angleDelta().y();
    const int steps = wheelAngle_ / 120;
    wheelAngle_ -= steps * 120;
    if (steps != 0)
        ZoomAround(steps > 0 ? 1 : -1, event->position());
    event->accept();
}

void ImageView::mousePressEvent(QMouseEvent* event)
{
    const bool mayTakeHold = hotspotsShown_ && event->button() == Qt::LeftButton && !drag_;
    const int index = mayTakeHold ? HotspotAt(event->position()) : -1;
    if (index < 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint from = hotspots_[static_cast<size_t>(index)];
    drag_ = Drag{index, from, UnboundedPixelAt(event->position()), from};
    selected_ = index;
    update();
    event->accept();
    Q_EMIT HotspotSelected(index);
}

void ImageView::mouseMoveEvent(QMouseEvent* event)
{
    lastPoint_ = event->position().toPoint();
    Point(PixelAt(lastPoint_));
    if (drag_) {
        // Whole pixels, as far as the mouse went from where it took hold.
        const QPoint now = UnboundedPixelAt(event->position());
        const QPoint at(ClampToInt(int64_t{drag_->from.x()} + now.x() - drag_->grabbed.x()),
                        ClampToInt(int64_t{drag_->from.y()} + now.y() - drag_->grabbed.y()));
        if (at != drag_->at) {
            drag_->at = at;
            update();
        }
    }
    if (hotspotsShown_)
        UpdateCursor(event->position());
    QWidget::mouseMoveEvent(event);
}

void ImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (drag_ && event->button() == Qt::LeftButton) {
        EndDrag(true);
        UpdateCursor(event->position());
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ImageView::keyPressEvent(QKeyEvent* event)
{
    // Escape puts a dragged hotspot back where it was.
    if (drag_ && event->key() == Qt::Key_Escape) {
        EndDrag(false);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- Dropping --------------------------------------------------------------

// Whatever is not one image file is left to the parents, so that a dropped
// container still reaches the window.
void ImageView::dragEnterEvent(QDragEnterEvent* event)
{
    if (DraggedImageFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ImageView::dragMoveEvent(QDragMoveEvent* event)
{
    if (DraggedImageFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ImageView::dropEvent(QDropEvent* event)
{
    const std::optional<QString> file = DraggedImageFile(event->mimeData());
    if (!file) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT ImageFileDropped(*file);
}

void ImageView::leaveEvent(QEvent* event)
{
    lastPoint_ = QPoint(-1, -1);
    Point(std::nullopt);
    QWidget::leaveEvent(event);
}

void ImageView::Scrolled()
{
    update();
    if (lastPoint_.x() >= 0)
        Point(PixelAt(lastPoint_));
}

}  // namespace Brimwork
