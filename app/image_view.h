#pragma once

#include <QImage>
#include <QWidget>

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

// Picture1: a frameless box that shows its persistent backing image at
// the top-left corner and takes the image's size.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);

    // Replaces the backing image: the box takes the picture's size, the
    // rows it holds are copied in from the top, and whatever rows it lacks
    // are filled with the box's background. Then the box is refreshed.
    void Show(const DisplayPicture& picture);

    const QImage& BackingImage() const { return backing_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage backing_;
};

}  // namespace Brimwork
