#pragma once
// Lets the user choose the folder that stands for drive A: a mounted
// removable volume (listed first), another folder, or the default one.
#include "base/ProgramPaths.h"

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;

class RemovableMediaDialog : public QDialog {
    Q_OBJECT
public:
    // MountsTable empty: the table that Choose uses (SystemMountsTable).
    RemovableMediaDialog(const ProgramPaths& Paths, QWidget* Parent = nullptr, const QString& MountsTable = {});

    // The mounts table read for the volumes; tests point it at a file of
    // their own.
    static QString SystemMountsTable;

    // The folder chosen; empty for the default one.
    QString Chosen() const { return Chosen_; }

    // Runs the dialog; on OK the choice is remembered and put into Paths.
    // True when the user confirmed.
    static bool Choose(QWidget* Parent, ProgramPaths& Paths);

    QListWidget* Volumes = nullptr;
    QLabel* Current = nullptr;

    // OK: a folder whose files the steps must never delete (the data,
    // program or home folder, a system folder, or one holding them) is
    // refused with the reason, and the dialog stays open.
    void accept() override;

private:
    void ShowCurrent();
    ProgramPaths Paths_;
    QString Chosen_;
    QString DefaultFolder_;
};
