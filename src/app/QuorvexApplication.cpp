#include "app/QuorvexApplication.h"

#include "base/Texts.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"

#include <exception>

QuorvexApplication::QuorvexApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
