#include "help/TFrmSimpleDialog.h"

#include <QFrame>
#include <QPushButton>

TFrmSimpleDialog::TFrmSimpleDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmSimpleDialog"));
    MainPanel = new QFrame(this);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    MainPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ButtonPanel = new QFrame(this);
    ButtonPanel->setObjectName(QStringLiteral("ButtonPanel"));
}

void TFrmSimpleDialog::reject()
{
    // Esc and the close box answer like the Esc button; without one they
    // count as Cancel.
    if (CancelButton)
        done(CancelButton->property("ModalResult").toInt());
    else
        done(2);
}
