#include "ui/KeyboardRules.h"

#include "help/HelpService.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSet>
#include <QTabBar>
#include <QWidget>

#include <functional>

namespace {

const char* const kTopicProperty = "quorvexHelpTopic";

// The letter after a single '&' in Text, in lower case; none without one.
QChar Letter(const QString& Text)
{
    for (qsizetype i = 0; i + 1 < Text.size(); ++i) {
        if (Text[i] != QLatin1Char('&'))
            continue;
        if (Text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return Text[i + 1].toLower();
    }
    return {};
}

// Text with '&' before its first letter when that letter is not in Taken
// (which then holds it); Text itself otherwise.
QString WithFreeLetter(const QString& Text, QSet<QChar>& Taken)
{
    if (!Letter(Text).isNull() || Text.contains(QLatin1Char('&')))
        return Text;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (!Text[i].isLetter())
            continue;
        const QChar letter = Text[i].toLower();
        if (Taken.contains(letter))
            return Text;
        Taken.insert(letter);
        return Text.left(i) + QLatin1Char('&') + Text.mid(i);
    }
    return Text;
}

// A caption of the window that Alt and a letter reach: its text and how to
// change it.
struct Caption {
    QString Text;
    std::function<void(const QString&)> Set;
};

QList<Caption> CaptionsOf(QWidget* Window)
{
    QList<Caption> out;
    for (QWidget* w : Window->findChildren<QWidget*>()) {
        if (w->window() != Window || qobject_cast<QMenu*>(w))
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
            QPointer<QAbstractButton> b(button);
            out.append({button->text(), [b](const QString& t) {
                            if (b)
                                b->setText(t);
                        }});
        } else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) {
            QPointer<QLabel> l(label);
            out.append({label->text(), [l](const QString& t) {
                            if (l)
                                l->setText(t);
                        }});
        } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
            QPointer<QTabBar> tabs(bar);
            for (int i = 0; i < bar->count(); ++i)
                out.append({bar->tabText(i), [tabs, i](const QString& t) {
                                if (tabs)
                                    tabs->setTabText(i, t);
                            }});
        }
    }
    return out;
}

void GiveFreeLetters(const QList<Caption>& Captions, QSet<QChar> Taken)
{
    for (const Caption& c : Captions)
        if (const QChar letter = Letter(c.Text); !letter.isNull())
            Taken.insert(letter);
    for (const Caption& c : Captions) {
        const QString text = WithFreeLetter(c.Text, Taken);
        if (text != c.Text)
            c.Set(text);
    }
}

QList<Caption> EntriesOf(QMenu* Menu)
{
    QList<Caption> out;
    for (QAction* action : Menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty())
            continue;
        QPointer<QAction> a(action);
        out.append({action->text(), [a](const QString& t) {
                        if (a)
                            a->setText(t);
                    }});
    }
    return out;
}

// A field that types the text of a key it is given.
bool TakesTyping(const QWidget* Widget)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(Widget))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(Widget))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(Widget))
        return !plain->isReadOnly();
    return qobject_cast<const QAbstractSpinBox*>(Widget) != nullptr;
}

} // namespace

KeyboardRules::KeyboardRules(QObject* Parent) : QObject(Parent)
{
    setObjectName(QStringLiteral("KeyboardRules"));
}

KeyboardRules& KeyboardRules::Install(HelpService* Help)
{
    auto* rules = qApp->findChild<KeyboardRules*>(QStringLiteral("KeyboardRules"), Qt::FindDirectChildrenOnly);
    if (!rules) {
        rules = new KeyboardRules(qApp);
        qApp->installEventFilter(rules);
    }
    rules->help_ = Help;
    return *rules;
}

void KeyboardRules::SetHelpTopic(QWidget* Window, const QString& Topic)
{
    Window->setProperty(kTopicProperty, Topic);
}

QString KeyboardRules::HelpTopicOf(const QWidget* Widget)
{
    for (const QWidget* w = Widget; w; w = w->parentWidget()) {
        const QVariant topic = w->property(kTopicProperty);
        if (topic.isValid())
            return topic.toString();
    }
    return {};
}

void KeyboardRules::AddFreeLetters(QWidget* Window)
{
    QSet<QChar> menuTitles;
    if (auto* main = qobject_cast<QMainWindow*>(Window); main && main->menuWidget()) {
        for (QAction* entry : main->menuBar()->actions()) {
            if (const QChar letter = Letter(entry->text()); !letter.isNull())
                menuTitles.insert(letter);
            if (entry->menu())
                GiveFreeLetters(EntriesOf(entry->menu()), {});
        }
    }
    // The window's own captions share Alt with its menu bar.
    GiveFreeLetters(CaptionsOf(Window), menuTitles);
}

bool KeyboardRules::OpenHelp(QWidget* From)
{
    const QString topic = HelpTopicOf(From);
    if (!topic.isEmpty()) {
        if (help_)
            help_->ShowTopic(topic);
        return true;
    }
    // A window with a help button answers F1 with it.
    for (QWidget* w = From; w; w = w->parentWidget()) {
        if (!w->isWindow())
            continue;
        auto* button = w->findChild<QAbstractButton*>(QStringLiteral("ButtonHelp"));
        if (button && button->isVisible() && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

bool KeyboardRules::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() != QEvent::KeyPress || !Watched->isWidgetType())
        return QObject::eventFilter(Watched, Event);
    auto* key = static_cast<QKeyEvent*>(Event);
    auto* widget = static_cast<QWidget*>(Watched);
    if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier)
        return OpenHelp(widget) || QObject::eventFilter(Watched, Event);
    // Alt with a letter reached a widget: no shortcut took it. A field
    // would type it (AltGr, which types on purpose, is not Alt here).
    const Qt::KeyboardModifiers mods = key->modifiers();
    if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !key->text().isEmpty()
        && key->text().at(0).isPrint() && TakesTyping(widget))
        return true;
    return QObject::eventFilter(Watched, Event);
}

QChar KeyboardRules::Mnemonic(const QString& Text)
{
    return Letter(Text);
}
