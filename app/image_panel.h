#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QDockWidget>

class QLabel;
class QSpinBox;

namespace Brimwork {

// The Image panel: the shown image's size and, for a vehicle slot or a
// shadow frame, its hotspot values as fields to edit. A vehicle slot has two
// hotspot points (four values), a shadow frame one (two values); gadget and
// screen images have none, and then nothing can be edited.
class ImagePanel : public QDockWidget {
    Q_OBJECT
public:
    // The most hotspot values an image has: two points of x and y.
    static constexpr int MostValues = 4;

    explicit ImagePanel(QWidget* parent = nullptr);

    // Shows an image's size and its hotspot values (0, 2 or 4), each field
    // taking values from `lowest` to `highest`. Values past the fourth are
    // not shown but are kept, and handed back whole with every edit, as are
    // values the fields' range could not show. Emits nothing.
    void ShowImage(int width, int height, const std::vector<int32_t>& hotspots, int32_t lowest, int32_t highest);
    // No image: the size text empty, the fields hidden and disabled.
    void Clear();

    // Marks hotspot point `index` (0 or 1) as the one the Alt+arrow keys
    // move, by bold labels; -1 marks none.
    void SelectHotspot(int index);
    int SelectedHotspot() const { return selected_; }

    // The values as shown last (for the window and tests).
    const std::vector<int32_t>& Values() const { return values_; }
    QString SizeText() const;

Q_SIGNALS:
    // The user changed a field and confirmed it (Enter or leaving the
    // field): all the image's hotspot values, the changed one included.
    void HotspotsEdited(std::vector<int32_t> values);
    // A field of hotspot point `index` took the focus.
    void HotspotSelected(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FieldConfirmed(int field);
    void ShowFields(int count);

    QLabel* size_ = nullptr;
    std::array<QLabel*, MostValues> labels_{};
    std::array<QSpinBox*, MostValues> fields_{};
    std::vector<int32_t> values_;
    int selected_ = -1;
};

}  // namespace Brimwork
