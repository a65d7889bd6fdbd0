#pragma once
// Answers the next modal dialog the way a user would. Every question of the
// workflow is a real modal Qt dialog; a test arms an answer, then triggers the
// action that asks. The answer runs from the dialog's own event loop.
//
//   AnswerNextModal([](QWidget* dlg) { ClickButton(dlg, "Sim"); });
//   form.ButtonOKClick();
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Polls until a modal widget other than `previous` is active, then runs the
// answer once. Gives up silently after timeoutMs so a test that expected a
// question sees its assertion fail instead of hanging.
inline void AnswerNextModal(std::function<void(QWidget*)> answer, int timeoutMs = 10000)
{
    QWidget* previous = QApplication::activeModalWidget();
    auto timer = new QTimer(qApp);
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, previous, elapsed, answer, timeoutMs]() {
        *elapsed += 10;
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != previous && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
            return;
        }
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// The button whose text (without '&') or object name matches.
inline QAbstractButton* FindButton(QWidget* dialog, const QString& textOrName)
{
    for (auto* b : dialog->findChildren<QAbstractButton*>()) {
        if (b->objectName() == textOrName || b->text().remove('&') == textOrName)
            return b;
    }
    return nullptr;
}

inline bool ClickButton(QWidget* dialog, const QString& textOrName)
{
    if (auto* b = FindButton(dialog, textOrName)) {
        QTest::mouseClick(b, Qt::LeftButton);
        return true;
    }
    return false;
}

// Text of every label in the dialog, joined: enough to check a message.
inline QString DialogText(QWidget* dialog)
{
    QString all;
    for (auto* w : dialog->findChildren<QWidget*>()) {
        const QVariant text = w->property("text");
        if (text.isValid() && !qobject_cast<QAbstractButton*>(w))
            all += text.toString() + "\n";
    }
    return all;
}

// Enter, as a user presses it by habit: to the control that has the
// keyboard in the dialog, else to the dialog itself.
inline void PressEnter(QWidget* dialog)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Return);
}

inline void TypeInto(QWidget* dialog, const QString& editName, const QString& text)
{
    if (auto* edit = dialog->findChild<QLineEdit*>(editName))
        QTest::keyClicks(edit, text);
}

} // namespace testsupport
