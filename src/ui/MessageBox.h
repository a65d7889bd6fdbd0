#pragma once
// A plain message box with the application's title and an OK button: the
// form in which simple notices and uncaught failures are shown.
#include <QString>

class QWidget;

void ShowMessage(const QString& Text, QWidget* Parent = nullptr);
