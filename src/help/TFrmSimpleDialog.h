#pragma once
// The window that TDialog builds for each question: a sunken main panel on
// the left (icon, message, optional check box) and a column of buttons on
// the right. TDialog places every control; this class only answers Esc and
// the window's close box the way the dialog's Esc button would.
#include <QDialog>

class QFrame;
class QPushButton;

class TFrmSimpleDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSimpleDialog(QWidget* parent = nullptr);

    QFrame* MainPanel = nullptr;
    QFrame* ButtonPanel = nullptr;
    // The button that Esc presses; null when the set has none.
    QPushButton* CancelButton = nullptr;

    void reject() override;
};
