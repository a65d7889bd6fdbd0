#pragma once
// The application object. A failure that no handler caught is shown in a
// plain message box, and the program carries on.
#include <QApplication>

class QuorvexApplication : public QApplication {
    Q_OBJECT
public:
    QuorvexApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
