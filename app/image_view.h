#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QImage>
#include <QString>
#include <QWidget>

class QScrollBar;

namespace Brimwork {

struct ImageBuffer;

// The picture of the image buffer as the image view paints it: the
// buffer's display layout (rows of RowStride bytes, 5-5-5 words) at its
// natural size, row 0 on top, without conversion. A buffer that holds
// fewer bytes than the display layout of its size gives only the whole
// rows it holds (so never a byte past its end is read); the rows it lacks
// are left to the caller. An overflow of the row stride or of the size,
// or a negative size, is an Error. A 0 x 0 image gives a null QImage.
//
// Returns the rows held; `width` x `height` of the result's picture is
// the full size the box takes.
struct DisplayPicture {
    int width = 0;
    int height = 0;
    QImage rows;  // width x (rows held), Format_RGB555; null when none
};
DisplayPicture MakeDisplayPicture(const ImageBuffer& image);

// The zoom steps of the view, in screen pixels per image pixel.
inline constexpr std::array<int, 8> ZoomSteps{1, 2, 3, 4, 6, 8, 12, 16};

// The status bar's texts: the pixel under the cursor with its stored word
// (bit 15 included) and its 5-bit red, green and blue; and the zoom.
QString PixelReadoutText(int x, int y, std::optional<uint16_t> word);
QString ZoomText(double scale, bool fitting);

// Picture1: a frameless box that shows its persistent backing image from
// its top-left corner, zoomed. The box takes the zoomed picture's size
// while that fits the room it is given; a larger picture keeps the box at
// the room's size, and scroll bars beside it, right and below, in the
// box's parent (so that they take no place in the box itself). Zoomed pictures are drawn
// nearest-neighbour, every image pixel an exact square; only a picture
// fitted into a room smaller than itself is scaled down smoothly. The zoom
// holds from picture to picture.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    ~ImageView() override;

    // Replaces the backing image: the box takes the picture's size (zoomed,
    // within the room), the rows it holds are copied in from the top, and
    // whatever rows it lacks are filled with the box's background. Then the
    // box is refreshed.
    void Show(const DisplayPicture& picture);

    // Back to no picture: the box blank at the size it had before the
    // first picture, without scroll bars.
    void Clear();

    const QImage& BackingImage() const { return backing_; }

    // The largest size the box and its scroll bars may take. Until the
    // first picture is shown the box keeps the size it was given.
    void SetRoom(QSize room);
    QSize Room() const { return room_; }

    // A zoom step, the next step up or down (around the middle of what is
    // in sight), or the largest step at which the picture fits the room.
    void SetZoomStep(int step);
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    // Steps in (steps > 0) or out keeping the image point under `point`
    // (in the box's own coordinates) where it is.
    void ZoomAround(int steps, QPointF point);

    // Screen pixels per image pixel, and whether it follows the room.
    double Scale() const { return scale_; }
    bool Fitting() const { return fitting_; }

    // The image pixel shown at a point of the box, none outside the picture.
    std::optional<QPoint> PixelAt(QPoint point) const;
    // The word of a pixel as the buffer holds it; none for a pixel outside
    // the picture or in a row the buffer did not hold.
    std::optional<uint16_t> WordAt(QPoint pixel) const;
    // The pixel under the cursor, as last seen.
    std::optional<QPoint> PointedPixel() const { return pointed_; }

    QScrollBar* HorizontalScrollBar() const { return across_; }
    QScrollBar* VerticalScrollBar() const { return down_; }

Q_SIGNALS:
    void PointedPixelChanged();
    void ZoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // The scale for the zoom and room, the box's size and the scroll bars.
    void Relayout();
    void Point(std::optional<QPoint> pixel);
    QPoint Offset() const;
    void Scrolled();
    void PlaceScrollBars();
    void MakeScrollBars();

    QScrollBar* across_ = nullptr;
    QScrollBar* down_ = nullptr;
    QImage backing_;     // the picture as stored, RGB555 words
    QImage colours_;     // the same in 32-bit colour, for drawing
    QImage fitted_;      // the picture scaled down to fit, when it is
    int rowsHeld_ = 0;
    bool shown_ = false;
    QSize startSize_;  // the box's size before the first picture
    QSize room_{353, 281};
    int step_ = 1;
    bool fitting_ = false;
    double scale_ = 1.0;
    QSize content_;      // the zoomed picture's size
    int wheelAngle_ = 0;  // wheel turns not yet a whole step
    QPoint lastPoint_{-1, -1};
    std::optional<QPoint> pointed_;
};

}  // namespace Brimwork
