// The message dialog: its window arithmetic, button sets with default and
// Esc buttons, results, named messages and the warning check box.
#include "ui/TDialog.h"
#include "support/ModalAnswerer.h"

#include <QCheckBox>
#include <QDialog>
#include <QPointer>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

struct Seen {
    QSize client;
    QRect label;
    QRect check;
    bool hasCheck = false;
    QString text;
    QStringList buttons; // object names, top to bottom
    QStringList captions;
    QString defaultButton;
    QString title;
    int lineHeight = 0;
    bool wraps = false;
    int neededHeight = 0; // what the label's text needs at its width
    bool captionsFit = true;
};

Seen* g_seen = nullptr;

void Record(QWidget* window)
{
    Seen& s = *g_seen;
    s.client = window->size();
    s.title = window->windowTitle();
    s.lineHeight = QFontMetrics(window->font()).height();
    if (auto* label = window->findChild<QLabel*>(QStringLiteral("Message"))) {
        s.label = label->geometry();
        s.text = label->text();
        s.wraps = label->wordWrap();
        s.neededHeight = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    }
    if (auto* check = window->findChild<QCheckBox*>(QStringLiteral("CheckDisable"))) {
        s.hasCheck = true;
        s.check = check->geometry();
    }
    auto buttons = window->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
    for (QPushButton* b : buttons) {
        s.buttons << b->objectName();
        s.captions << b->text();
        const int textWidth = QFontMetrics(b->font()).horizontalAdvance(b->text().remove('&'));
        if (textWidth + b->iconSize().width() > b->width())
            s.captionsFit = false;
        if (b->isDefault())
            s.defaultButton = b->objectName();
    }
}

// Runs Execute(text), pressing `answer` (a button name, or "Esc"/"Enter").
int Show(TDialog& dlg, const QString& text, Seen& seen, const QString& answer, bool tick = false)
{
    g_seen = &seen;
    dlg.BeforeShow = &Record;
    AnswerNextModal([answer, tick](QWidget* window) {
        if (tick)
            if (auto* check = window->findChild<QCheckBox*>(QStringLiteral("CheckDisable")))
                check->toggle();
        if (answer == QLatin1String("Esc"))
            QTest::keyClick(window, Qt::Key_Escape);
        else if (answer == QLatin1String("Enter"))
            QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Return);
        else
            ClickButton(window, answer);
    });
    return dlg.Execute(text);
}

// A text whose width in the dialog's font lies in [low, high).
QString TextOfWidth(int low, int high)
{
    QLabel probe;
    const QFontMetrics fm(probe.font());
    QString text;
    while (fm.horizontalAdvance(text) < low)
        text += QStringLiteral("palavra ");
    text = text.trimmed();
    EXPECT_LT(fm.horizontalAdvance(text), high);
    return text;
}

} // namespace

TEST(MessageDialog, OneLineTwoButtonsGivesEightyEightPixelsOfClientHeight)
{
    TDialog dlg;
    dlg.SetDialogButtons(dtYesNo);
    Seen seen;
    EXPECT_EQ(Show(dlg, QStringLiteral("Curto."), seen, QStringLiteral("Yes")), mrYes);
    EXPECT_EQ(seen.client.height(), 88);
    // Narrow text: a one-line label exactly as wide as the text.
    const int w = QFontMetrics(QLabel().font()).horizontalAdvance(QStringLiteral("Curto."));
    EXPECT_EQ(seen.label, QRect(48, 8, w, seen.lineHeight));
    // Width: button column plus the text side, at least 280, plus 8.
    EXPECT_EQ(seen.client.width(), 288);
    EXPECT_EQ(seen.title, QString::fromUtf8("Cliente de Certificação Quorvex"));
}

TEST(MessageDialog, WideTextGivesATwoHundredPixelLabelOfEstimatedLines)
{
    TDialog dlg;
    Seen seen;
    const QString text = TextOfWidth(420, 600); // about 450 pixels: three lines
    EXPECT_EQ(Show(dlg, text, seen, QStringLiteral("OK")), mrOk);
    EXPECT_EQ(seen.label, QRect(48, 8, 200, 3 * seen.lineHeight));
    // Label right 248 + 8, plus the 101-pixel column, plus 8.
    EXPECT_EQ(seen.client.width(), 101 + 256 + 8);
    EXPECT_EQ(seen.client.height(), std::max(80, 3 * seen.lineHeight + 16) + 8);
}

TEST(MessageDialog, FourButtonsRaiseTheHeightToTheColumn)
{
    TDialog dlg;
    dlg.SetDialogButtons(dtYesNoAll);
    Seen seen;
    EXPECT_EQ(Show(dlg, QStringLiteral("Substituir?"), seen, QStringLiteral("YesToAll")), mrYesToAll);
    // Buttons at 8, 40, 72, 104: the next top would be 136.
    EXPECT_EQ(seen.client.height(), 136 + 8 + 8);
    EXPECT_EQ(seen.buttons, (QStringList{"Yes", "No", "NoToAll", "YesToAll"}));
}

TEST(MessageDialog, ButtonSetsHaveTheirDefaultAndEscButtonsAndResults)
{
    struct Case {
        TDialogButtons set;
        QStringList names;
        QString def;
        int escResult;
    };
    const Case cases[] = {
        {dtOK, {"OK"}, "OK", mrOk},
        {dtYesNo, {"Yes", "No"}, "Yes", mrNo},
        {dtYesNoCancel, {"Yes", "No", "Cancel"}, "Yes", mrCancel},
        {dtOKCancel, {"OK", "Cancel"}, "OK", mrCancel},
        {dtAbortRetryIgnore, {"Abort", "Retry", "Ignore"}, "Retry", mrAbort},
        {dtYesNoAll, {"Yes", "No", "NoToAll", "YesToAll"}, "Yes", mrNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.join(',').toStdString());
        TDialog dlg;
        dlg.SetDialogButtons(c.set);
        Seen seen;
        EXPECT_EQ(Show(dlg, QStringLiteral("?"), seen, QStringLiteral("Esc")), c.escResult);
        EXPECT_EQ(seen.buttons, c.names);
        EXPECT_EQ(seen.defaultButton, c.def);
    }
    const std::pair<const char*, int> results[] = {{"Yes", 6}, {"No", 7}, {"Cancel", 2}};
    for (const auto& [name, result] : results) {
        TDialog dlg;
        dlg.SetDialogButtons(dtYesNoCancel);
        Seen seen;
        EXPECT_EQ(Show(dlg, QStringLiteral("?"), seen, QString::fromLatin1(name)), result);
        EXPECT_EQ(seen.captions, (QStringList{"&Sim", QString::fromUtf8("&Não"), "&Cancelar"}));
    }
    TDialog dlg;
    dlg.SetDialogButtons(dtAbortRetryIgnore);
    Seen seen;
    EXPECT_EQ(Show(dlg, QStringLiteral("?"), seen, QStringLiteral("Enter")), mrRetry);
    EXPECT_EQ(seen.captions, (QStringList{"&Abortar", "&Tentar novamente", "&Ignorar"}));
    EXPECT_EQ(Show(dlg, QStringLiteral("?"), seen, QStringLiteral("Ignore")), mrIgnore);
}

TEST(MessageDialog, NamedMessagesFallBackToTheNameItself)
{
    TDialog dlg;
    dlg.Messages = {QStringLiteral("Disk=Insira um disquete na unidade A."), QStringLiteral("Empty=")};
    Seen seen;
    g_seen = &seen;
    dlg.BeforeShow = &Record;
    AnswerNextModal([](QWidget* w) { ClickButton(w, QStringLiteral("OK")); });
    dlg.ShowNamed(QStringLiteral("disk"));
    EXPECT_EQ(seen.text, QStringLiteral("Insira um disquete na unidade A."));
    AnswerNextModal([](QWidget* w) { ClickButton(w, QStringLiteral("OK")); });
    dlg.Inform(QStringLiteral("Empty"));
    EXPECT_EQ(seen.text, QStringLiteral("Empty"));
    EXPECT_EQ(dlg.DialogType, mtInformation);
    AnswerNextModal([](QWidget* w) { ClickButton(w, QStringLiteral("OK")); });
    dlg.Confirm(QStringLiteral("Texto sem nome"));
    EXPECT_EQ(seen.text, QStringLiteral("Texto sem nome"));
    EXPECT_EQ(dlg.DialogType, mtConfirmation);
    AnswerNextModal([](QWidget* w) { ClickButton(w, QStringLiteral("OK")); });
    dlg.Warn(QStringLiteral("x"));
    EXPECT_EQ(dlg.DialogType, mtWarning);
}

TEST(MessageDialog, WarningCheckBoxIsWrittenBackExceptOnCancelOrAbort)
{
    TDialog dlg;
    dlg.SetDialogButtons(dtOKCancel);
    dlg.ShowWarningMessage = true;
    dlg.WarningMessage = QStringLiteral("Não mostrar novamente");
    Seen seen;
    // Cancel leaves EnableWarning as it was, even with the box ticked.
    EXPECT_EQ(Show(dlg, QStringLiteral("Aviso."), seen, QStringLiteral("Cancel"), true), mrCancel);
    EXPECT_TRUE(dlg.EnableWarning);
    ASSERT_TRUE(seen.hasCheck);
    // Two buttons and one line: the box sits with its bottom at 72.
    EXPECT_EQ(seen.check.bottom() + 1, 72);
    EXPECT_EQ(seen.check.left(), 8);
    EXPECT_EQ(seen.client.height(), 88);

    Seen again;
    EXPECT_EQ(Show(dlg, QStringLiteral("Aviso."), again, QStringLiteral("OK"), true), mrOk);
    EXPECT_FALSE(dlg.EnableWarning);
    Seen third;
    // The box now shows ticked; OK without touching it keeps the warning off.
    EXPECT_EQ(Show(dlg, QStringLiteral("Aviso."), third, QStringLiteral("OK")), mrOk);
    EXPECT_FALSE(dlg.EnableWarning);
}

TEST(MessageDialog, CheckBoxBelowATallTextMovesTheHeightDown)
{
    TDialog dlg;
    dlg.ShowWarningMessage = true;
    dlg.WarningMessage = QStringLiteral("Desativar");
    Seen seen;
    const QString text = TextOfWidth(1210, 1390); // seven estimated lines
    Show(dlg, text, seen, QStringLiteral("OK"));
    const int labelBottom = 7 * seen.lineHeight + 8;
    EXPECT_EQ(seen.label.bottom() + 1, labelBottom);
    EXPECT_EQ(seen.check.top(), std::max(48, labelBottom + 8));
    EXPECT_EQ(seen.client.height(), seen.check.bottom() + 1 + 8 + 8);
}

TEST(MessageDialog, NoMessageOrCaptionIsCutShort)
{
    TDialog dlg;
    Seen seen;
    // Narrow: one line, never wrapped, all of it shown.
    Show(dlg, QStringLiteral("Insira um disquete na unidade A."), seen, QStringLiteral("OK"));
    EXPECT_FALSE(seen.wraps);
    EXPECT_GE(seen.label.width(), QFontMetrics(QLabel().font()).horizontalAdvance(seen.text));

    // Long words waste the end of each line: the estimate falls short, and
    // the label grows to what the wrapped text needs.
    QString words;
    while (QFontMetrics(QLabel().font()).horizontalAdvance(words) < 560)
        words += QStringLiteral("Responsabilidades ");
    Seen wide;
    Show(dlg, words.trimmed(), wide, QStringLiteral("OK"));
    EXPECT_TRUE(wide.wraps);
    EXPECT_EQ(wide.label.width(), 200);
    // The case at hand: more lines than the width-based estimate of three.
    EXPECT_GT(wide.neededHeight, 3 * wide.lineHeight);
    EXPECT_GE(wide.label.height(), wide.neededHeight);
    EXPECT_GE(wide.client.height(), wide.label.bottom() + 1 + 16);

    for (TDialogButtons set : {dtYesNoAll, dtAbortRetryIgnore, dtYesNoCancel}) {
        Seen buttons;
        dlg.SetDialogButtons(set);
        Show(dlg, QStringLiteral("?"), buttons, QStringLiteral("Esc"));
        EXPECT_TRUE(buttons.captionsFit) << buttons.captions.join(',').toStdString();
    }
}

// Alt and a button's underlined letter press that button, in every set; a
// button whose letter an earlier one holds shows none, so that no letter
// leads to two buttons.
TEST(MessageDialog, AltAndAButtonsLetterPressesIt)
{
    struct Row {
        TDialogButtons set;
        QStringList captions;
        std::vector<int> results; // top to bottom
    };
    const Row rows[] = {
        {dtOK, {"&OK"}, {mrOk}},
        {dtYesNo, {"&Sim", QString::fromUtf8("&Não")}, {mrYes, mrNo}},
        {dtYesNoCancel, {"&Sim", QString::fromUtf8("&Não"), "&Cancelar"}, {mrYes, mrNo, mrCancel}},
        {dtOKCancel, {"&OK", "&Cancelar"}, {mrOk, mrCancel}},
        {dtAbortRetryIgnore, {"&Abortar", "&Tentar novamente", "&Ignorar"}, {mrAbort, mrRetry, mrIgnore}},
        {dtYesNoAll,
         {"&Sim", QString::fromUtf8("&Não"), QString::fromUtf8("Não para Todos"), "Sim para &Todos"},
         {mrYes, mrNo, mrNoToAll, mrYesToAll}},
    };
    for (const Row& row : rows) {
        for (int b = 0; b < int(row.captions.size()); ++b) {
            const qsizetype amp = row.captions[b].indexOf(QLatin1Char('&'));
            if (amp < 0)
                continue;
            const char letter = row.captions[b].at(amp + 1).toLatin1();
            SCOPED_TRACE(row.captions[b].toStdString());
            for (const bool keepByDefault : {false, true}) {
                TDialog dlg;
                dlg.SetDialogButtons(row.set, keepByDefault);
                Seen seen;
                g_seen = &seen;
                dlg.BeforeShow = &Record;
                AnswerNextModal([letter](QWidget* window) {
                    // A letter reaches the buttons of the active window only.
                    window->activateWindow();
                    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
                    QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
                    QTest::keyClick(focus, letter, Qt::AltModifier);
                    // A button pressed by its letter clicks after a moment; a
                    // letter that pressed nothing leaves the dialog open.
                    QPointer<QWidget> alive(window);
                    if (!QTest::qWaitFor([&] { return !alive || !alive->isVisible(); }, 2000) && alive)
                        static_cast<QDialog*>(window)->done(-1);
                });
                EXPECT_EQ(dlg.Execute(QStringLiteral("?")), row.results[std::size_t(b)]);
                EXPECT_EQ(seen.captions, row.captions);
            }
        }
    }
}
