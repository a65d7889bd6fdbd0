#pragma once
// Helpers shared by the request-form tests and the entity workflow tests:
// a script that answers every modal dialog opened while it lives, and the
// typing of a complete, valid entity into the real form.
#include "store/TFrmRequest.h"
#include "support/ModalAnswerer.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace formtest {

// Answers the modal dialogs that open while it lives, one step per dialog,
// in order; each dialog's text is recorded. A dialog beyond the script is
// recorded too and closed with "Não" or "OK" (any other dialog is rejected),
// so an unexpected question fails the test's checks instead of hanging it;
// so is a dialog that its step left open for seconds. Steps run from the event loop,
// after the poll that found the dialog, so a step may open dialogs of its own.
class ModalScript {
public:
    using Step = std::function<void(QWidget*)>;

    ModalScript()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ~ModalScript() { timer_.stop(); }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    ModalScript& Then(Step step)
    {
        steps_.push_back(std::move(step));
        return *this;
    }
    // Presses the button with this caption (without '&') or object name.
    ModalScript& Press(const QString& button)
    {
        return Then([button](QWidget* dialog) { testsupport::ClickButton(dialog, button); });
    }

    // The texts of the dialogs seen so far, in order.
    QStringList texts;
    // Dialogs that found no step left.
    int unexpected = 0;

private:
    struct Handled {
        QPointer<QWidget> dialog;
        std::shared_ptr<QElapsedTimer> sinceStep = std::make_shared<QElapsedTimer>();
    };

    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        for (const Handled& seen : handling_) {
            if (seen.dialog != modal)
                continue;
            // A press that closes it may take a moment (a mnemonic animates
            // its button); seconds mean nothing will.
            if (seen.sinceStep->isValid() && seen.sinceStep->elapsed() > 3000) {
                ++unexpected;
                texts << QStringLiteral("(left open) ") + testsupport::DialogText(modal);
                seen.sinceStep->invalidate();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            }
            return;
        }
        handling_.push_back({modal});
        const std::shared_ptr<QElapsedTimer> sinceStep = handling_.back().sinceStep;
        texts << testsupport::DialogText(modal);
        Step step;
        if (!steps_.empty()) {
            step = std::move(steps_.front());
            steps_.pop_front();
        } else {
            ++unexpected;
            step = [](QWidget* dialog) {
                if (testsupport::ClickButton(dialog, QStringLiteral("Não"))
                    || testsupport::ClickButton(dialog, QStringLiteral("OK")))
                    return;
                if (auto* other = qobject_cast<QDialog*>(dialog))
                    other->reject();
            };
        }
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, modal, [target, step, sinceStep] {
            if (target)
                step(target);
            sinceStep->start();
        });
    }

    QTimer timer_;
    std::deque<Step> steps_;
    std::vector<Handled> handling_;
};

// Types Text key by key. QTest::keyClicks covers ASCII; a letter such as
// "ç" is sent as the key event a keyboard with that key gives (its Latin-1
// key code and the letter as text), which keyClicks cannot express.
inline void TypeText(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClicks(widget, QString(c));
        } else {
            const char16_t upper = c.toUpper().unicode();
            const Qt::Key key = upper <= 0xff ? Qt::Key(upper) : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
        }
    }
}

// Valid numbers, their check digits worked out by hand.
inline const QString ValidCNPJ = QStringLiteral("11222333000181");
inline const QString ValidCNPJLeadingZero = QStringLiteral("01234567000195");
inline const QString OtherValidCNPJ = QStringLiteral("09876543000141");
inline const QString ValidCEI = QStringLiteral("109876543219");
inline const QString ValidCPF = QStringLiteral("12345678909");
inline const QString OtherCPF = QStringLiteral("98765432100");

// Adds one responsible person as a user would: types the name and CPF and
// clicks "Adicionar" (the page is brought to the front so the button can be
// clicked).
inline void AddResp(TFrmRequest& form, const QString& name, const QString& cpf)
{
    form.PageControl1->setCurrentWidget(form.TabResp);
    form.EdtResp->clear();
    form.EdtCpfResp->clear();
    QTest::keyClicks(form.EdtResp, name);
    form.EdtCpfResp->setFocus();
    QTest::keyClicks(form.EdtCpfResp, cpf);
    QTest::mouseClick(form.BtnAdicionar, Qt::LeftButton);
}

// Types a complete entity into the form; the identifier type is chosen in
// the list first.
inline void FillValid(TFrmRequest& form, const QString& id = ValidCNPJ, int type = 0,
                      const QString& name = QStringLiteral("Padaria Boa Vista"))
{
    form.PageControl1->setCurrentWidget(form.TabId);
    form.ComboTypeId->setCurrentIndex(type);
    form.EditId->clear();
    form.EditName->clear();
    form.EditPhone->clear();
    QTest::keyClicks(form.EditId, id);
    QTest::keyClicks(form.EditName, name);
    QTest::keyClicks(form.EditPhone, QStringLiteral("6133334444"));
    form.PageControl1->setCurrentWidget(form.TabLocale);
    form.EditAddress->clear();
    form.EditLocale->clear();
    form.EditCity->clear();
    form.EditZip->clear();
    form.EditMail->clear();
    QTest::keyClicks(form.EditAddress, QStringLiteral("Rua das Flores, 12"));
    QTest::keyClicks(form.EditLocale, QStringLiteral("Centro"));
    QTest::keyClicks(form.EditCity, QStringLiteral("Brasilia"));
    QTest::keyClicks(form.EditZip, QStringLiteral("70000000"));
    form.ComboUF->setCurrentIndex(form.ComboUF->findText(QStringLiteral("DF")));
    QTest::keyClicks(form.EditMail, QStringLiteral("contato@padaria.com.br"));
    AddResp(form, QStringLiteral("Maria da Silva"), ValidCPF);
}

} // namespace formtest
