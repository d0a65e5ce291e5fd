#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;
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

// The length of a hotspot crosshair's arms, in screen pixels on each side
// of its middle, whatever the zoom; and how near to a crosshair, in screen
// pixels, a press takes hold of it.
inline constexpr int CrosshairArm = 7;
inline constexpr int CrosshairReach = 4;

// Whether a file name ends in .tga or .png, letter case ignored: the image
// files the picture takes when they are dropped on it.
bool IsDroppableImageFile(const QString& fileName);

// Picture1: a frameless box that shows its persistent backing image from
// its top-left corner, zoomed. The box takes the zoomed picture's size
// while that fits the room it is given; a larger picture keeps the box at
// the room's size, and scroll bars beside it, right and below, in the
// box's parent (so that they take no place in the box itself). Zoomed pictures are drawn
// nearest-neighbour, every image pixel an exact square; only a picture
// fitted into a room smaller than itself is scaled down smoothly. The zoom
// holds from picture to picture.
//
// Over the picture it can draw hotspots as crosshairs, which the mouse
// selects and drags; and it takes dropped .tga and .png files, leaving any
// other drop to its parents.
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

    // The hotspots, in image pixel coordinates (x right, y down from the
    // top-left); one outside the image is drawn where it falls. They are
    // kept until the next call, from picture to picture. A drag under way
    // ends without a signal, and a selection that no longer exists is
    // dropped.
    void SetHotspots(std::vector<QPoint> points);
    const std::vector<QPoint>& Hotspots() const { return hotspots_; }

    // Whether the hotspots are drawn and can be dragged. Hidden, the mouse
    // does only what it does without hotspots.
    void SetHotspotsShown(bool shown);
    bool HotspotsShown() const { return hotspotsShown_; }

    // The hotspot drawn distinctly, -1 (or any index out of range) for none.
    // Selecting from here emits nothing.
    void SelectHotspot(int index);
    int SelectedHotspot() const { return selected_; }

    // The point of the box on which the middle of an image pixel is drawn
    // at the present zoom and scroll; it may lie outside the box.
    QPointF ScreenPointOf(QPoint pixel) const;

Q_SIGNALS:
    void PointedPixelChanged();
    void ZoomChanged();
    // The user pressed on the crosshair of hotspot `index`.
    void HotspotSelected(int index);
    // A drag of hotspot `index` ended on another pixel than it started
    // from: one signal per drag, on release. The view already shows the
    // hotspot there.
    void HotspotMoved(int index, QPoint pixel);
    // A local .tga or .png file was dropped on the picture.
    void ImageFileDropped(QString path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
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
    void PaintPicture(QPainter& painter, QRect area) const;
    void PaintHotspots(QPainter& painter) const;
    // The hotspot whose crosshair is within reach of a point of the box,
    // the nearest when several are; -1 for none.
    int HotspotAt(QPointF point) const;
    // The image pixel under a point of the box, also outside the picture.
    QPoint UnboundedPixelAt(QPointF point) const;
    void EndDrag(bool keep);
    void UpdateCursor(QPointF point);

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
    std::vector<QPoint> hotspots_;
    bool hotspotsShown_ = false;
    int selected_ = -1;
    // A drag of a crosshair: which, where it started, the pixel under the
    // mouse when pressed, and where it is drawn now.
    struct Drag {
        int index = -1;
        QPoint from;
        QPoint grabbed;
        QPoint at;
    };
    std::optional<Drag> drag_;
};

}  // namespace Brimwork
