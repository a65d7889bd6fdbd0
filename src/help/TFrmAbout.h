#pragma once
// The About box: the application's title, the service, the version and a
// rights notice.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* parent = nullptr);

    QLabel* LabelApp = nullptr;
    QLabel* LabelSystem = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* LabelCopyright = nullptr;
    QLabel* LabelMsg = nullptr;
    QPushButton* ButtonOK = nullptr;

    // "major.minor.release.build" of the program, four decimal numbers; empty
    // when the version compiled in is not of that form.
    static QString FileVersion(const QString& Compiled);
};
