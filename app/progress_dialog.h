#pragma once

#include <QDialog>

class QProgressBar;

namespace Brimwork {

// The progress window that stands during Extract and Rebuild: a top-level
// window without owner, a fixed dialog frame without minimize or maximize
// button, not in the task bar, its 274 x 71 client area at 184, 250 of the
// screen, holding ProgressBar1 (0 to 100). It has no behaviour of its own:
// the user cannot close it; Form1 creates it for each run and destroys it
// at the end.
class Dialog : public QDialog {
    Q_OBJECT
public:
    Dialog();

    QProgressBar* ProgressBar1() const { return progressBar1_; }

    // Sets the bar to a percentage, rounded to the nearest whole number
    // (halves to even) and held within 0 to 100.
    void SetPercent(float percent);

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* progressBar1_;
};

}  // namespace Brimwork
