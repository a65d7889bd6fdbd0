// A screen reader names every control: each window's widget tree is walked
// through QAccessible, and an interactive control (button, edit, check box,
// radio button, list, combo box, tree, table, tab) without a name fails.
// Alt and a letter lead to one control only, in every window and menu, and
// the removable-medium dialog's labels each have one.
#include "agreement/TFrmContrato.h"
#include "app/EntityOverviewDialog.h"
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
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"
#include "ui/HtmlView.h"
#include "ui/KeyboardRules.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSet>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
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

// Shows Window and runs Check with every page of a tab widget in front once.
void EachPage(QWidget* Window, const std::function<void(int Page)>& Check)
{
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window)) << Window->objectName().toStdString();
    QList<QTabWidget*> tabs = Window->findChildren<QTabWidget*>();
    int pages = 1;
    for (QTabWidget* t : tabs)
        pages = std::max(pages, t->count());
    for (int page = 0; page < pages; ++page) {
        for (QTabWidget* t : tabs)
            t->setCurrentIndex(std::min(page, t->count() - 1));
        Check(page);
    }
}

void ExpectAllNamed(QWidget* Window, int AtLeast)
{
    int counted = 0;
    EachPage(Window, [&](int page) {
        EXPECT_EQ(Unnamed(Window, counted), QStringList()) << Window->objectName().toStdString() << " page " << page;
    });
    EXPECT_GE(counted, AtLeast) << Window->objectName().toStdString();
}

// Builds every window of the program in turn and hands it to Check, shown,
// with the least number of controls it must have.
void EachWindow(const std::function<void(QWidget* Window, int AtLeast)>& Check)
{
    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString() + "/";
    sample::Write(dir, {sample::Make("Alfa", "11222333000181", sample::State::Created)});
    {
        TForm1 main(dir);
        Check(&main, 4);
        EntityOverviewDialog overview(*main.Session());
        overview.Reload();
        Check(&overview, 7);
    }
    {
        TFrmRequest form;
        Check(&form, 15);
    }
    using namespace KeyFilePwd;
    for (TPwdMode mode : {pmAskPassword, pmNewPassword, pmChangePassword}) {
        TFrmPwd pwd;
        testsupport::AnswerNextModal([&Check](QWidget* dialog) {
            Check(dialog, 3);
            static_cast<QDialog*>(dialog)->reject();
        });
        pwd.Execute(mode);
    }
    {
        TFrmBackup backup(ProgramPaths(dir, dir), {});
        Check(&backup, 4);
    }
    {
        TFrmContrato::Setup setup;
        setup.AgreementFile = QUORVEX_APP_DIR "ConvEmpr.rtf";
        setup.DataDir = dir;
        setup.ProgramDir = QUORVEX_APP_DIR;
        setup.LoadEntity = [] { return TUserData(); };
        TFrmContrato agreement(setup);
        Check(&agreement, 6);
    }
    {
        THelp help;
        help.SetFileName(QUORVEX_APP_DIR "HELP.DAT");
        help.SetCurrentTopic(QStringLiteral("index.htm"));
        Check(help.Form(), 1);
        help.SetVisible(false);
    }
    {
        TFrmAbout about;
        Check(&about, 1);
    }
    for (const TDialogButtons set : {dtYesNo, dtOKCancel, dtYesNoCancel, dtYesNoAll}) {
        TDialog dlg;
        dlg.SetDialogButtons(set);
        testsupport::AnswerNextModal([&Check](QWidget* dialog) {
            Check(dialog, 2);
            static_cast<QDialog*>(dialog)->reject();
        });
        dlg.Execute(QStringLiteral("Pergunta?"));
    }
    {
        ProgramPaths paths(dir, dir);
        RemovableMediaDialog media(paths);
        Check(&media, 5);
    }
}

// The captions are the system's own, word for word; in two places they
// share a letter, and Alt with it then moves between the two until Enter.
const QStringList kSharedBySystemCaptions = {
    QStringLiteral("'a' twice: BtnAdicionar, ButtonHelp"), // "&Adicionar", "&Ajuda"
    QStringLiteral("'e' twice: RequestAdd, RequestSend"),  // "Nova &Entidade...", "&Enviar"
};

// The first letter of Text, in lower case.
QChar FirstLetter(const QString& Text)
{
    for (const QChar c : Text)
        if (c.isLetter())
            return c.toLower();
    return {};
}

// Letters taken twice among Texts ("text" -> who), the names of Needed
// texts without a letter, and texts without a letter whose first letter
// no other text holds (Taken: letters held outside Texts, the menu bar's).
QStringList LetterFaults(const QList<std::pair<QString, QString>>& Texts, const QStringList& Needed,
                         const QSet<QChar>& Taken = {})
{
    QStringList faults;
    QMap<QChar, QString> owner;
    QStringList unlettered;
    for (const auto& [text, who] : Texts) {
        const QChar letter = KeyboardRules::Mnemonic(text);
        if (letter.isNull()) {
            if (Needed.contains(who))
                faults << QStringLiteral("no letter: ") + who;
            unlettered << text;
            continue;
        }
        if (!owner.contains(letter)) {
            owner[letter] = who;
            continue;
        }
        const QString twice = QStringLiteral("'%1' twice: %2, %3").arg(letter).arg(owner[letter], who);
        if (!kSharedBySystemCaptions.contains(twice))
            faults << twice;
    }
    // A caption keeps no letter only when its first one is held already.
    QSet<QChar> held = Taken;
    for (auto it = owner.cbegin(); it != owner.cend(); ++it)
        held.insert(it.key());
    for (const QString& text : unlettered) {
        const QChar first = FirstLetter(text);
        if (first.isNull() || held.contains(first))
            continue;
        faults << QStringLiteral("free letter unused: ") + text;
        held.insert(first);
    }
    return faults;
}

// Alt and a letter lead to one control of Window only (with every page of a
// tab widget in front once); in the windows whose captions are the
// program's own, every label that names a control has a letter.
void ExpectLettersWithoutClash(QWidget* Window, int)
{
    const bool ownCaptions = Window->objectName() == QStringLiteral("RemovableMediaDialog");
    // A letter held anywhere in the window (its menu bar, a caption on
    // another page) is not free for a caption without one.
    QSet<QChar> held;
    if (auto* main = qobject_cast<QMainWindow*>(Window))
        for (QAction* entry : main->menuBar()->actions())
            held.insert(KeyboardRules::Mnemonic(entry->text()));
    for (QWidget* w : Window->findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            held.insert(KeyboardRules::Mnemonic(button->text()));
        else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy())
            held.insert(KeyboardRules::Mnemonic(label->text()));
        else if (auto* bar = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < bar->count(); ++i)
                held.insert(KeyboardRules::Mnemonic(bar->tabText(i)));
    }
    held.remove(QChar());
    EachPage(Window, [Window, ownCaptions, held](int page) {
        QList<std::pair<QString, QString>> texts;
        QStringList needed;
        for (QWidget* w : Window->findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            const QString who =
                w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                texts.append({button->text(), who});
            } else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) {
                texts.append({label->text(), who});
                if (ownCaptions)
                    needed << who;
            } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
                for (int i = 0; i < bar->count(); ++i)
                    texts.append({bar->tabText(i), who + QLatin1Char('/') + QString::number(i)});
            }
        }
        EXPECT_EQ(LetterFaults(texts, needed, held).join(QStringLiteral(" | ")).toStdString(), "")
            << Window->objectName().toStdString() << " page " << page;
    });
}

} // namespace

TEST(AccessibleNames, EveryInteractiveControlOfEveryWindowHasAName)
{
    EachWindow(ExpectAllNamed);
    QTemporaryDir folder;
    TForm1 main(folder.path().toStdString() + "/");
    EXPECT_FALSE(FindNamed<HtmlView>(main, "Tip")->accessibleDescription().isEmpty());
}

// Alt and a letter lead to one place only, in every window and menu.
TEST(AccessibleNames, NoLetterLeadsToTwoPlaces)
{
    EachWindow(ExpectLettersWithoutClash);

    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString() + "/";
    sample::Write(dir, {sample::Make("Alfa", "11222333000181", sample::State::Created)});
    TForm1 main(dir);
    QList<std::pair<QString, QString>> titles;
    for (QAction* entry : main.menuBar()->actions())
        titles.append({entry->text(), entry->text()});
    EXPECT_EQ(LetterFaults(titles, {}).join(QStringLiteral(" | ")).toStdString(), "") << "menu bar";
    for (QMenu* menu : main.findChildren<QMenu*>()) {
        QList<std::pair<QString, QString>> entries;
        for (QAction* entry : menu->actions()) {
            if (!entry->isSeparator() && entry->isVisible())
                entries.append({entry->text(), entry->objectName()});
        }
        EXPECT_EQ(LetterFaults(entries, {}).join(QStringLiteral(" | ")).toStdString(), "")
            << menu->objectName().toStdString();
    }
}

// Alt with a letter that no shortcut takes never types into a field: in
// every window, a field holding a selected text keeps it.
TEST(AccessibleNames, AnAltChordNeverTypesIntoAField)
{
    KeyboardRules::Install();
    int fields = 0;
    EachWindow([&fields](QWidget* Window, int) {
        EachPage(Window, [Window, &fields](int page) {
            for (QLineEdit* edit : Window->findChildren<QLineEdit*>()) {
                if (!edit->isVisible() || !edit->isEnabled() || edit->isReadOnly())
                    continue;
                ++fields;
                edit->setText(QStringLiteral("12ABC"));
                const QString held = edit->text();
                edit->setFocus();
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_J, Qt::AltModifier);
                EXPECT_EQ(edit->text(), held) << Window->objectName().toStdString() << "/"
                                              << edit->objectName().toStdString() << " page " << page;
                edit->clear();
            }
        });
    });
    EXPECT_GE(fields, 10);
}
