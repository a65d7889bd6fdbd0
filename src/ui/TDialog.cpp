#include "ui/TDialog.h"

#include "help/TFrmSimpleDialog.h"
#include "base/Texts.h"
#include "ui/KeyboardRules.h"
#include "ui/Pictures.h"
#include "ui/Text1252.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

struct ButtonInfo {
    const char* name;
    const char* caption;
    int result;
};

const ButtonInfo kButtons[TDialog::ButtonCount] = {
    {"Yes", Texts::BtnYes, mrYes},
    {"No", Texts::BtnNo, mrNo},
    {"OK", Texts::BtnOK, mrOk},
    {"Cancel", Texts::BtnCancel, mrCancel},
    {"Abort", Texts::BtnAbort, mrAbort},
    {"Retry", Texts::BtnRetry, mrRetry},
    {"Ignore", Texts::BtnIgnore, mrIgnore},
    {"All", Texts::BtnAll, mrAll},
    {"NoToAll", Texts::BtnNoToAll, mrNoToAll},
    {"YesToAll", Texts::BtnYesToAll, mrYesToAll},
    {"Help", Texts::BtnHelp, mrNone},
};

// Width of the button column.
constexpr int kButtonPanelWidth = 101;

unsigned Bit(int index)
{
    return 1u << index;
}

} // namespace

TDialog::TDialog(QObject* parent) : QObject(parent), Caption(Tr(Texts::AppTitle))
{
    SetDialogButtons(dtOK);
}

const char* TDialog::ButtonName(int Index)
{
    return kButtons[Index].name;
}
int TDialog::ButtonResult(int Index)
{
    return kButtons[Index].result;
}

unsigned TDialog::ButtonSet(TDialogButtons Buttons)
{
    switch (Buttons) {
    case dtOK: return Bit(bOK);
    case dtYesNo: return Bit(bYes) | Bit(bNo);
    case dtYesNoCancel: return Bit(bYes) | Bit(bNo) | Bit(bCancel);
    case dtOKCancel: return Bit(bOK) | Bit(bCancel);
    case dtAbortRetryIgnore: return Bit(bAbort) | Bit(bRetry) | Bit(bIgnore);
    case dtYesNoAll: return Bit(bYes) | Bit(bNo) | Bit(bNoToAll) | Bit(bYesToAll);
    }
    return Bit(bOK);
}

void TDialog::SetDialogButtons(TDialogButtons Buttons, bool KeepByDefault)
{
    buttons_ = Buttons;
    set_ = ButtonSet(Buttons);
    keepByDefault_ = KeepByDefault;
}

int TDialog::Execute(const QString& Text)
{
    TFrmSimpleDialog window;
    window.setWindowTitle(Caption);
    window.setWindowModality(Qt::ApplicationModal);
    QWidget* panel = window.MainPanel;
    const QFontMetrics fm(window.font());

    // Icon.
    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("DisplayIcon"));
    icon->setGeometry(8, 8, 32, 32);
    const QList<QIcon> icons = Pictures::DialogIcons();
    icon->setPixmap(icons.value(int(DialogType)).pixmap(32, 32));
    int bottom = icon->geometry().y() + icon->height() + 8;

    // Message: one line up to 200 pixels, else 200 pixels wide and as many
    // lines as the text's width needs in steps of 200.
    const int w = fm.horizontalAdvance(Text);
    const int h = fm.height();
    const int labelLeft = 48, labelTop = 8;
    const int labelRight = w >= 200 ? 248 : w + 48;
    const int labelBottom = (w / 200 + 1) * h + 8;
    auto* message = new QLabel(Text, panel);
    message->setObjectName(QStringLiteral("Message"));
    // A text that fits on one line is never wrapped (a label exactly as wide
    // as its text could otherwise push its last word onto a hidden line).
    message->setWordWrap(w >= 200);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message->setTextFormat(Qt::PlainText);
    int height = labelBottom - labelTop;
    // The line count is an estimate from the text's width; wrapping at word
    // boundaries can need more lines. Never cut the message short.
    if (w >= 200)
        height = std::max(height, message->heightForWidth(labelRight - labelLeft));
    message->setGeometry(labelLeft, labelTop, labelRight - labelLeft, height);
    bottom = std::max(bottom, labelTop + height + 8);
    int right = labelRight + 8;

    // Check box.
    QCheckBox* check = nullptr;
    if (ShowWarningMessage) {
        check = new QCheckBox(WarningMessage, panel);
        check->setObjectName(QStringLiteral("CheckDisable"));
        const int cw = fm.horizontalAdvance(WarningMessage) + 24;
        const int ch = fm.height();
        check->setGeometry(8, bottom, cw, ch);
        check->setChecked(!EnableWarning);
        bottom = bottom + ch + 8;
        right = std::max(right, 8 + cw + 8);
    }

    // Buttons.
    const int cancelIndex = (set_ & Bit(bCancel)) ? bCancel
                            : (set_ & Bit(bNo))   ? bNo
                            : (set_ & Bit(bOK))   ? bOK
                                                  : bAbort;
    const int defaultIndex = keepByDefault_       ? cancelIndex
                             : (set_ & Bit(bOK))  ? bOK
                             : (set_ & Bit(bYes)) ? bYes
                                                  : bRetry;
    const QList<QIcon> glyphs = Pictures::ButtonGlyphs();
    // Buttons are 78 pixels wide unless a caption needs more; the column
    // then widens with them so no caption is cut.
    int buttonWidth = 78;
    for (int i = 0; i < ButtonCount; ++i) {
        if (set_ & Bit(i)) {
            // Glyph, its margins and the caption's own width.
            const int needed = 5 + 18 + 6 + fm.horizontalAdvance(Tr(kButtons[i].caption).remove(QLatin1Char('&'))) + 8;
            buttonWidth = std::max(buttonWidth, needed);
        }
    }
    const int buttonPanelWidth = std::max(kButtonPanelWidth, 12 + buttonWidth + 11);
    int top = 8;
    QString lettersTaken;
    for (int i = 0; i < ButtonCount; ++i) {
        if (!(set_ & Bit(i)))
            continue;
        // Alt and a letter press one button only: a caption whose letter an
        // earlier button holds is shown without it ("Não para Todos").
        QString caption = Tr(kButtons[i].caption);
        if (const qsizetype amp = caption.indexOf(QLatin1Char('&')); amp >= 0 && amp + 1 < caption.size()) {
            const QChar letter = caption.at(amp + 1).toLower();
            if (lettersTaken.contains(letter))
                caption.remove(amp, 1);
            else
                lettersTaken += letter;
        }
        auto* button = new QPushButton(caption, window.ButtonPanel);
        button->setObjectName(QString::fromLatin1(kButtons[i].name));
        button->setProperty("ModalResult", kButtons[i].result);
        button->setIcon(glyphs.value(i));
        button->setIconSize(QSize(18, 18));
        button->setGeometry(12, top, buttonWidth, 25);
        // Enter presses the button that has the keyboard: a user who moves
        // from the default to another button with Tab or the arrows and
        // presses Enter gets the button chosen, not the default.
        button->setAutoDefault(true);
        if (i == defaultIndex) {
            button->setDefault(true);
            button->setFocus();
        }
        if (i == cancelIndex)
            window.CancelButton = button;
        const int result = kButtons[i].result;
        QObject::connect(button, &QPushButton::clicked, &window, [&window, result]() { window.done(result); });
        top += 32;
    }

    // The text side is at least as tall as the buttons and 80 pixels; a
    // check box then sits at the bottom of it.
    if (bottom < top + 8) {
        bottom = top + 8;
        if (check)
            check->move(check->x(), top - check->height());
    }
    if (bottom < 80) {
        bottom = 80;
        if (check)
            check->move(check->x(), 72 - check->height());
    }

    const int clientHeight = bottom + 8;
    const int width = std::max(buttonPanelWidth + right, 280);
    const int clientWidth = width + 8;
    window.MainPanel->setGeometry(0, 0, clientWidth - buttonPanelWidth, clientHeight);
    window.ButtonPanel->setGeometry(clientWidth - buttonPanelWidth, 0, buttonPanelWidth, clientHeight);
    window.setFixedSize(clientWidth, clientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - QPoint(clientWidth / 2, clientHeight / 2));
    }

    // The buttons without a letter of their own ("OK", "Cancelar") take
    // their first one; F1 opens the page on the program's messages.
    KeyboardRules::AddFreeLetters(&window);
    KeyboardRules::SetHelpTopic(&window, QStringLiteral("messages.htm"));

    if (BeforeShow)
        BeforeShow(&window);
    const int result = window.exec();
    if (check && result != mrCancel && result != mrAbort)
        EnableWarning = !check->isChecked();
    return result;
}

int TDialog::ShowNamed(const QString& Name)
{
    QString text = Name;
    for (const QString& line : Messages) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && line.left(eq).compare(Name, Qt::CaseInsensitive) == 0) {
            const QString value = line.mid(eq + 1);
            if (!value.isEmpty())
                text = value;
            break;
        }
    }
    return Execute(text);
}

int TDialog::Confirm(const QString& Name)
{
    DialogType = mtConfirmation;
    return ShowNamed(Name);
}

int TDialog::Inform(const QString& Name)
{
    DialogType = mtInformation;
    return ShowNamed(Name);
}

int TDialog::Warn(const QString& Name)
{
    DialogType = mtWarning;
    return ShowNamed(Name);
}
