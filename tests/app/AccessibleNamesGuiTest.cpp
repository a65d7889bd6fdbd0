// A screen reader names every control: each window's widget tree is walked
// through QAccessible, and an interactive control (button, edit, check box,
// radio button, list, combo box, tree, table, tab) without a name fails.
#include "agreement/TFrmContrato.h"
#include "app/RemovableMediaDialog.h"
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "backup/TFrmBackup.h"
#include "base/ProgramPaths.h"
#include "crypto/TFrmPwd.h"
#include "ui/TDialog.h"
#include "help/TFrmAbout.h"
#include "help/TFrmHelp.h"
#include "help/THelp.h"
#include "store/TFrmRequest.h"
#include "store/TUserData.h"
#include "support/ModalAnswerer.h"
#include "ui/HtmlView.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

bool Interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::PageTab:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown: return true;
    default: return false;
    }
}

// Items, rows and cells are named by their own text; what matters is the
// control that holds them.
bool HoldsItems(QAccessible::Role role)
{
    return role == QAccessible::List || role == QAccessible::Tree || role == QAccessible::Table
           || role == QAccessible::ComboBox || role == QAccessible::MenuBar;
}

// The interactive controls of Window's tree without a name, each as
// "objectName (role)"; Counted receives how many controls were checked.
QStringList Unnamed(QWidget* Window, int& Counted)
{
    QStringList out;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* node, int depth) {
        if (!node || !node->isValid() || depth > 60 || node->state().invisible)
            return;
        const QAccessible::Role role = node->role();
        // Read-only text with links (the next-task pane, help pages) takes
        // the focus; a plain label does not.
        const bool linkedText = role == QAccessible::StaticText && node->state().focusable;
        if (Interactive(role) || linkedText) {
            ++Counted;
            QString name = node->text(QAccessible::Name).trimmed();
            // Qt names a list box by the choice it shows; what names the
            // control is its label (or a name given to it).
            if (role == QAccessible::ComboBox) {
                const auto* widget = qobject_cast<const QWidget*>(node->object());
                name = widget ? widget->accessibleName() : QString();
                if (name.isEmpty() && !node->relations(QAccessible::Labelled).isEmpty())
                    name = node->relations(QAccessible::Labelled).first().first->text(QAccessible::Name);
            }
            if (name.isEmpty()) {
                const QObject* object = node->object();
                out << (object ? object->objectName() : QStringLiteral("?")) + QStringLiteral(" (")
                           + QString::number(int(role), 16) + QLatin1Char(')');
            }
        }
        if (HoldsItems(role))
            return;
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(Window), 0);
    return out;
}

// Shows Window and checks it, with every page of a tab widget in front once.
void ExpectAllNamed(QWidget* Window, int AtLeast)
{
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window)) << Window->objectName().toStdString();
    QList<QTabWidget*> tabs = Window->findChildren<QTabWidget*>();
    int pages = 1;
    for (QTabWidget* t : tabs)
        pages = std::max(pages, t->count());
    int counted = 0;
    for (int page = 0; page < pages; ++page) {
        for (QTabWidget* t : tabs)
            t->setCurrentIndex(std::min(page, t->count() - 1));
        EXPECT_EQ(Unnamed(Window, counted), QStringList()) << Window->objectName().toStdString() << " page " << page;
    }
    EXPECT_GE(counted, AtLeast) << Window->objectName().toStdString();
}

} // namespace

TEST(AccessibleNames, EveryInteractiveControlOfEveryWindowHasAName)
{
    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString() + "/";
    sample::Write(dir, {sample::Make("Alfa", "11222333000181", sample::State::Created)});
    {
        TForm1 main(dir);
        ExpectAllNamed(&main, 4);
        EXPECT_FALSE(main.Tip->accessibleDescription().isEmpty());
    }
    {
        TFrmRequest form;
        ExpectAllNamed(&form, 15);
    }
    using namespace KeyFilePwd;
    for (TPwdMode mode : {pmAskPassword, pmNewPassword, pmChangePassword}) {
        TFrmPwd pwd;
        testsupport::AnswerNextModal([](QWidget* dialog) {
            ExpectAllNamed(dialog, 3);
            static_cast<QDialog*>(dialog)->reject();
        });
        pwd.Execute(mode);
    }
    {
        TFrmBackup backup(ProgramPaths(dir, dir), {});
        ExpectAllNamed(&backup, 4);
    }
    {
        TFrmContrato::Setup setup;
        setup.AgreementFile = QUORVEX_APP_DIR "ConvEmpr.rtf";
        setup.DataDir = dir;
        setup.ProgramDir = QUORVEX_APP_DIR;
        setup.LoadEntity = [] { return TUserData(); };
        TFrmContrato agreement(setup);
        ExpectAllNamed(&agreement, 6);
    }
    {
        THelp help;
        help.SetFileName(QUORVEX_APP_DIR "HELP.DAT");
        help.SetCurrentTopic(QStringLiteral("index.htm"));
        ExpectAllNamed(help.Form(), 1);
        help.SetVisible(false);
    }
    {
        TFrmAbout about;
        ExpectAllNamed(&about, 1);
    }
    {
        TDialog dlg;
        dlg.SetDialogButtons(dtYesNo);
        testsupport::AnswerNextModal([](QWidget* dialog) {
            ExpectAllNamed(dialog, 2);
            static_cast<QDialog*>(dialog)->reject();
        });
        dlg.Execute(QStringLiteral("Pergunta?"));
    }
    {
        ProgramPaths paths(dir, dir);
        RemovableMediaDialog media(paths);
        ExpectAllNamed(&media, 5);
    }
}
