#pragma once
// One certificate in a list view: the caption is its Name, the icon tells
// whether it is signed, and Id names its section in the storage file.
#include <QListWidgetItem>

#include <string>

class TCustomItem : public QListWidgetItem {
public:
    explicit TCustomItem(const QString& Caption = {}, QListWidget* View = nullptr);

    // The certificate identifier (its GUID in braces).
    std::string Id;
};
