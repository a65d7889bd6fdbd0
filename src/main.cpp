// The client's entry point: set the title, create the main window, run the loop.
#include "store/Texts.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(Texts::AppTitle));
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8(Texts::AppTitle));
    window.resize(640, 400);
    window.show();
    return app.exec();
}
