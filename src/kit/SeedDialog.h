#pragma once
// The dialog that gathers a key-generation seed: the user moves the mouse over
// it (or presses keys), a progress bar fills, and when it is full the dialog closes by itself
// as accepted. Cancel (or closing the window) rejects it.
#include "kit/SeedPool.h"

#include <QDialog>

class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kit {

class SeedDialog : public QDialog {
    Q_OBJECT
public:
    // How many distinct mouse positions fill the bar.
    static constexpr int kMovementsNeeded = 160;

    explicit SeedDialog(QWidget* owner = nullptr);

    // Valid once exec() returned Accepted; fills 128 bytes.
    void TakeSeed(std::uint8_t* seed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Movement(QWidget* receiver, QMouseEvent* event);
    // True when the key press was taken as a seed event.
    bool KeyStroke(QKeyEvent* event);

    SeedPool pool_;
    QLabel* prompt_;
    QWidget* area_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    int keyStrokes_ = 0;
};

} // namespace kit
