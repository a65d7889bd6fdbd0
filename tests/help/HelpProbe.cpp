// The real program start with one addition: once the main window shows, it
// presses F1's action, notes what the help viewer holds, and closes the main
// window while the help window is still open.
#include "app/ProgramStart.h"
#include "app/TForm1.h"
#include "help/TFrmHelp.h"
#include "help/THelp.h"
#include "help/TPublicData.h"
#include "ui/HtmlView.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

int main(int argc, char** argv)
{
    return ProgramStart(argc, argv, [](TForm1& form) {
        QTimer::singleShot(0, &form, [&form] {
            QByteArray note;
            if (auto* data = dynamic_cast<TPublicData*>(form.HelpViewer())) {
                form.findChild<QAction*>(QStringLiteral("HelpTopics"))->trigger();
                THelp& help = *data->HelpWin;
                note = QByteArray::fromStdString(help.FileName()) + "\n" + help.CurrentTopic().toUtf8() + "\n"
                       + (help.Visible() ? "visible" : "hidden") + "\n"
                       + help.Form()->HTMLView->toPlainText().trimmed().toUtf8() + "\n";
            } else {
                note = "no data module\n";
            }
            QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/help.txt"));
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(note);
            form.close();
        });
    });
}
