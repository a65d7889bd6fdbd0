#include "app/QuorvexApplication.h"

#include "base/Texts.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QWidget>
#include <QTranslator>

#include <exception>

QuorvexApplication::QuorvexApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    UseBrazilianLocale();
    LoadQtTranslation(*this);
}

void QuorvexApplication::UseBrazilianLocale()
{
    // Dates, sizes and numbers in Qt's own dialogs follow the program's
    // language, whatever the desktop's is.
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(brazil);
    for (QWidget* window : QApplication::topLevelWidgets())
        window->setLocale(brazil);
}

bool QuorvexApplication::LoadQtTranslation(QCoreApplication& App)
{
    auto* translator = new QTranslator(&App);
    if (!translator->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool QuorvexApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()));
    } catch (...) {
        ShowMessage(Tr(Texts::UnknownFailure));
    }
    return false;
}
