#include "ui/MessageBox.h"

#include <QMessageBox>

#include "base/Texts.h"
#include "ui/Text1252.h"

void ShowMessage(const QString& Text, QWidget* Parent)
{
    QMessageBox box(QMessageBox::NoIcon, Tr(Texts::AppTitle), Text, QMessageBox::Ok, Parent);
    box.setObjectName(QStringLiteral("ShowMessage"));
    box.exec();
}
