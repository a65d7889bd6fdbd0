#pragma once
// The application object. A failure that no handler caught is shown in a
// plain message box, and the program carries on. Qt's own dialogs (open,
// save, print, the buttons of message boxes) speak Portuguese.
#include <QApplication>

class QTranslator;

class QuorvexApplication : public QApplication {
    Q_OBJECT
public:
    QuorvexApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Installs Qt's own Brazilian Portuguese translation (qtbase_pt_BR from
    // Qt's translations folder); false when it is not there, and Qt's
    // dialogs then stay in English.
    static bool LoadQtTranslation(QCoreApplication& App);
    // Brazilian Portuguese as the default locale of every widget.
    static void UseBrazilianLocale();
};
