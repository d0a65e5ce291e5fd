#include "app/image_view.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include <QPainter>
#include <QPaintEvent>

#include "core/checked.h"
#include "core/error.h"
#include "image/image_buffer.h"

namespace Brimwork {
namespace {

std::string SizeText(const ImageBuffer& image)
{
    return std::to_string(image.ImageWidth) + " x " + std::to_string(image.ImageHeight);
}

}  // namespace

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

ImageView::ImageView(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(false);
}

void ImageView::Show(const DisplayPicture& picture)
{
    if (picture.width == 0 || picture.height == 0) {
        backing_ = QImage();
    } else if (!picture.rows.isNull() && picture.rows.height() == picture.height) {
        backing_ = picture.rows;
    } else {
        QImage backing(picture.width, picture.height, QImage::Format_RGB555);
        if (backing.isNull())
            throw Error("There is not enough memory to show the image (" + std::to_string(picture.width) + " x " +
                        std::to_string(picture.height) + ")");
        backing.fill(palette().color(backgroundRole()));
        if (!picture.rows.isNull()) {
            const qsizetype rowBytes = qsizetype{picture.width} * 2;
            const QImage rows = picture.rows.convertToFormat(QImage::Format_RGB555);
            for (int y = 0; y < rows.height(); ++y)
                std::memcpy(backing.scanLine(y), rows.constScanLine(y), static_cast<size_t>(rowBytes));
        }
        backing_ = std::move(backing);
    }
    resize(picture.width, picture.height);
    update();
}

void ImageView::paintEvent(QPaintEvent* event)
{
    if (backing_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), backing_, event->rect());
}

}  // namespace Brimwork
