#include "app/TCustomItem.h"

TCustomItem::TCustomItem(const QString& Caption, QListWidget* View) : QListWidgetItem(Caption, View, UserType)
{
    setFlags(flags() | Qt::ItemIsEditable);
}
