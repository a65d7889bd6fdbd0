// The password dialog, driven the way a user drives it: keys typed into the
// real edits, buttons clicked, the message dialog answered.
#include "support/Sanitizers.h"
#include "crypto/TFrmPwd.h"
#include "help/HelpService.h"
#include "support/ModalAnswerer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <functional>

using namespace testsupport;
using namespace KeyFilePwd;

// AddressSanitizer intercepts mlock/munlock and does nothing, so what the
// kernel locked cannot be observed in that build.
constexpr bool MlockIsReplacedBySanitizer = testsupport::UnderAddressSanitizer;

namespace {

// Runs the dialog in Mode; `user` acts inside it and must close it. The user
// types at once: the pause that keys left over from before wait for has a
// test of its own.
int RunDialog(TFrmPwd& dialog, TPwdMode mode, std::function<void(TFrmPwd&)> user)
{
    dialog.KeySettleMs = 0;
    AnswerNextModal([&dialog, user](QWidget*) { user(dialog); });
    return dialog.Execute(mode);
}

// Runs the dialog in Mode as the program shows it: keys typed at once count
// as keys left over from before.
int RunDialogAsShown(TFrmPwd& dialog, TPwdMode mode, std::function<void(TFrmPwd&)> user)
{
    AnswerNextModal([&dialog, user](QWidget*) { user(dialog); });
    return dialog.Execute(mode);
}

// Clicks OK and answers the message that it brings up, returning its text
// ("" when none came). The answer is withdrawn once the click has been
// handled, so it can never catch a later dialog.
QString ClickOKExpectingMessage(TFrmPwd& dialog)
{
    auto text = std::make_shared<QString>();
    auto armed = std::make_shared<bool>(true);
    auto* timer = new QTimer(&dialog);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, text, armed, &dialog]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!*armed) {
            timer->stop();
            timer->deleteLater();
        } else if (modal && modal != &dialog && modal->isVisible()) {
            *armed = false;
            *text = DialogText(modal);
            ClickButton(modal, "OK");
        }
    });
    timer->start();
    ClickButton(&dialog, "ButtonOK");
    *armed = false;
    return *text;
}

void Type(TFrmPwd& dialog, const char* edit, const QString& keys)
{
    TypeInto(&dialog, edit, keys);
}

// Types characters that have no key of their own on the test keyboard
// (accented letters): a key press carrying the character, as a keyboard
// layout would send it.
void TypeCharacters(QLineEdit* edit, const QString& characters)
{
    for (const QChar c : characters) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
}

// The next widget that Tab reaches after w.
QWidget* NextTabStop(QWidget* w)
{
    for (QWidget* next = w->nextInFocusChain(); next && next != w; next = next->nextInFocusChain())
        if (next->focusPolicy() & Qt::TabFocus)
            return next;
    return nullptr;
}

QString Text(QLineEdit* edit)
{
    return edit ? edit->text() : QStringLiteral("<none>");
}

std::string Bytes(const char* buffer)
{
    return buffer ? std::string(buffer, PasswordBufferSize) : std::string("<null>");
}

// Locked memory of this process in kB.
long LockedKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmLck:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// How far the message label grew beyond its designed 194 x 77 to hold its
// text in the screen's font: everything below it moves down by as much.
int MessageOverflow(const TFrmPwd& d)
{
    const int needed = d.LabelMsg->heightForWidth(194);
    EXPECT_EQ(d.LabelMsg->geometry(), QRect(48, 8, 194, std::max(77, needed)));
    return std::max(0, needed - 77);
}

TEST(TFrmPwd, EachModeBuildsItsEditsLabelsAndMessage)
{
    {
        TFrmPwd dialog;
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Senha de Acesso"));
        EXPECT_EQ(dialog.ButtonOK->text(), "&OK");
        EXPECT_EQ(dialog.ButtonCancel->text(), "&Cancelar");
        EXPECT_EQ(dialog.ButtonHelp->text(), "&Ajuda");
        EXPECT_EQ(dialog.Mode, pmAskPassword);
        EXPECT_EQ(dialog.CertificateName, "gerado em primeiro lugar");
        EXPECT_EQ(dialog.PWD, nullptr);
        RunDialog(dialog, pmAskPassword, [](TFrmPwd& d) {
            ASSERT_NE(d.PWD, nullptr);
            EXPECT_EQ(d.NewPWD, nullptr);
            EXPECT_EQ(d.ConfirmPWD, nullptr);
            const int extra = MessageOverflow(d);
            EXPECT_EQ(d.PWD->geometry(), QRect(131, 93 + extra, 115, 21));
            EXPECT_EQ(d.PWD->maxLength(), 16);
            EXPECT_EQ(d.PWD->toolTip(), "Digite aqui sua senha de acesso");
            EXPECT_EQ(d.LabelPWD->text().remove(QLatin1Char('&')), "Senha atual:");
            EXPECT_EQ(d.LabelPWD->pos(), QPoint(48, 93 + extra));
            EXPECT_EQ(d.FormHeight(), 150 + extra);
            EXPECT_EQ(d.LabelMsg->text(),
                      QString::fromUtf8("Por favor, informea senha de acesso ao arquivo onde o certificado "
                                        "eletrônico gerado em primeiro lugar está armazenado. Utilize um "
                                        "mínimo de 8 e um máximo de 16 caracteres."));
            EXPECT_TRUE((d.focusWidget() == d.PWD));
            ClickButton(&d, "ButtonCancel");
        });
    }
    {
        TFrmPwd dialog;
        RunDialog(dialog, pmNewPassword, [](TFrmPwd& d) {
            EXPECT_EQ(d.PWD, nullptr);
            EXPECT_EQ(d.LabelPWD, nullptr);
            ASSERT_NE(d.NewPWD, nullptr);
            ASSERT_NE(d.ConfirmPWD, nullptr);
            const int extra = MessageOverflow(d);
            EXPECT_EQ(d.NewPWD->geometry(), QRect(131, 93 + extra, 115, 21));
            EXPECT_EQ(d.ConfirmPWD->geometry(), QRect(131, 122 + extra, 115, 21));
            EXPECT_EQ(d.LabelNewPWD->pos(), QPoint(48, 93 + extra));
            EXPECT_EQ(d.LabelConfirmPWD->pos(), QPoint(48, 122 + extra));
            EXPECT_EQ(d.LabelNewPWD->text().remove(QLatin1Char('&')), "Nova Senha:");
            EXPECT_EQ(d.LabelConfirmPWD->text().remove(QLatin1Char('&')), QString::fromUtf8("Confirmação:"));
            EXPECT_EQ(d.FormHeight(), 180 + extra);
            EXPECT_EQ(d.LabelMsg->text(),
                      QString::fromUtf8("Por favor, crie uma senha de acesso provisória a este certificado "
                                        "eletrônico. Utilize um mínimo de 8 e um máximo de 16 caracteres."));
            EXPECT_TRUE((d.focusWidget() == d.NewPWD));
            EXPECT_EQ(NextTabStop(d.NewPWD), d.ConfirmPWD);
            ClickButton(&d, "ButtonCancel");
        });
    }
    {
        TFrmPwd dialog;
        RunDialog(dialog, pmChangePassword, [](TFrmPwd& d) {
            ASSERT_TRUE(d.PWD && d.NewPWD && d.ConfirmPWD);
            const int extra = MessageOverflow(d);
            EXPECT_EQ(d.PWD->y(), 93 + extra);
            EXPECT_EQ(d.NewPWD->y(), 122 + extra);
            EXPECT_EQ(d.ConfirmPWD->y(), 152 + extra);
            EXPECT_EQ(d.LabelConfirmPWD->y(), 152 + extra);
            EXPECT_EQ(d.FormHeight(), 210 + extra);
            EXPECT_EQ(d.LabelMsg->text(),
                      QString::fromUtf8("Por favor, crie uma nova senha de acesso ao arquivo onde o certificado "
                                        "eletrônico ficará permanentemente armazenado. Lembre-se que deve ser "
                                        "substancialmente diferente da senha atual."));
            EXPECT_EQ(NextTabStop(d.PWD), d.NewPWD);
            EXPECT_EQ(NextTabStop(d.NewPWD), d.ConfirmPWD);
            // Every edit stays inside the dialog.
            for (QLineEdit* e : {d.PWD, d.NewPWD, d.ConfirmPWD})
                EXPECT_LE(e->geometry().bottom(), d.height());
            ClickButton(&d, "ButtonCancel");
        });
    }
}

TEST(TFrmPwd, AskMessageNamesTheCertificateAsStored)
{
    // Names come from the data files, in Windows-1252.
    TFrmPwd dialog;
    QString message;
    AnswerNextModal([&message](QWidget* d) {
        message = static_cast<TFrmPwd*>(d)->LabelMsg->text();
        ClickButton(d, "ButtonCancel");
    });
    EXPECT_EQ(dialog.ExecuteFor(pmAskPassword, "Certificado Jos\xE9"), 2);
    EXPECT_TRUE(message.contains(QString::fromUtf8("certificado eletrônico Certificado José está armazenado")))
        << message.toStdString();
}

TEST(TFrmPwd, KeyFilterAllowsOnlyDigitsAndCapitalsUpToSixteen)
{
    TFrmPwd dialog;
    RunDialog(dialog, pmAskPassword, [](TFrmPwd& d) {
        Type(d, "PWD", "ab1Z");
        EXPECT_EQ(Text(d.PWD), "AB1Z") << "lower case shown as capitals, digits unchanged";
        TypeCharacters(d.PWD, QString::fromUtf8("éçÃ"));
        Type(d, "PWD", " -!_.");
        EXPECT_EQ(Text(d.PWD), "AB1Z") << "accented letters, blanks and punctuation add nothing";
        QTest::keyClick(d.PWD, Qt::Key_Backspace);
        EXPECT_EQ(Text(d.PWD), "AB1");
        Type(d, "PWD", "cdefghijklmnop");
        EXPECT_EQ(Text(d.PWD).size(), 16);
        Type(d, "PWD", "Q");
        EXPECT_EQ(Text(d.PWD), "AB1CDEFGHIJKLMNO") << "a 17th character is refused";
        EXPECT_EQ(d.PWD->displayText(), QString(16, '*'));
        ClickButton(&d, "ButtonCancel");
    });
}

// The keyboard reports Tab and Shift+Tab with a tab character as their text;
// the key filter must leave them to the dialog's focus movement.
static void PressTab(QLineEdit* edit, bool back)
{
    const Qt::Key key = back ? Qt::Key_Backtab : Qt::Key_Tab;
    const Qt::KeyboardModifiers mods = back ? Qt::ShiftModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, mods, QStringLiteral("\t"));
    QApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, QStringLiteral("\t"));
    QApplication::sendEvent(edit, &release);
}

TEST(TFrmPwd, KeysLeftOverFromTheDialogBeforeNeverReachIt)
{
    // The seed dialog asks for keys to be pressed and closes while they
    // still are: the run of presses that goes on as this dialog appears, and
    // a key still held down, never reach it, nor does an Enter among them
    // press OK; once the keyboard has paused, what is typed is taken.
    TFrmPwd dialog;
    ASSERT_EQ(dialog.KeySettleMs, 500);
    auto held = [](QWidget* edit, Qt::Key key, const char* text) {
        QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text), true);
        QApplication::sendEvent(edit, &repeat);
    };
    // Copies: the dialog wipes its text where it keeps it, which a shared
    // string would see.
    std::string inRun, afterHeld, typed, repeated;
    bool openAfterEnter = false;
    const int result = RunDialogAsShown(dialog, pmNewPassword, [&](TFrmPwd& d) {
        // Still pressing keys for the seed, 100 ms apart, for a second.
        for (const char* keys : {"QW", "ER", "TY", "UI", "OP", "AS", "DF", "GH", "JK", "LZ"}) {
            QTest::keyClicks(d.NewPWD, QString::fromLatin1(keys));
            QTest::qWait(100);
        }
        inRun = d.NewPWD->text().toStdString();
        // Should the Enter press OK, the message it brings is answered.
        AnswerNextModal([](QWidget* message) { ClickButton(message, "OK"); }, 1000);
        QTest::keyClick(d.NewPWD, Qt::Key_Return);
        openAfterEnter = d.isVisible() && QApplication::activeModalWidget() == &d;
        // A key held down from the seed keeps repeating past any pause.
        for (int i = 0; i < 8; ++i) {
            held(d.NewPWD, Qt::Key_X, "X");
            QTest::qWait(100);
        }
        afterHeld = d.NewPWD->text().toStdString();
        // The user pauses, then types the password; a key held here repeats.
        QTest::qWait(d.KeySettleMs + 50);
        QTest::keyClicks(d.NewPWD, QStringLiteral("SENHA123"));
        held(d.NewPWD, Qt::Key_3, "3");
        typed = d.NewPWD->text().toStdString();
        held(d.NewPWD, Qt::Key_Z, "Z"); // never pressed here
        repeated = d.NewPWD->text().toStdString();
        ClickButton(&d, "ButtonCancel");
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(openAfterEnter) << "an Enter in the run of seed keys does not press OK";
    EXPECT_EQ(inRun, "");
    EXPECT_EQ(afterHeld, "");
    EXPECT_EQ(typed, "SENHA1233");
    EXPECT_EQ(repeated, "SENHA1233");
}

TEST(TFrmPwd, TabMovesBetweenThePasswordEdits)
{
    TFrmPwd dialog;
    RunDialog(dialog, pmChangePassword, [](TFrmPwd& d) {
        // The dialog's focus child, not hasFocus(): on a busy machine the
        // offscreen window may not be active yet, and focus moves all the same.
        d.activateWindow();
        d.PWD->setFocus();
        PressTab(d.PWD, false);
        EXPECT_EQ(d.focusWidget(), d.NewPWD) << "Tab goes on to the new password";
        PressTab(d.NewPWD, false);
        EXPECT_EQ(d.focusWidget(), d.ConfirmPWD);
        PressTab(d.ConfirmPWD, true);
        EXPECT_EQ(d.focusWidget(), d.NewPWD) << "Shift+Tab goes back";
        EXPECT_EQ(Text(d.PWD), "");
        EXPECT_EQ(Text(d.NewPWD), "");
        ClickButton(&d, "ButtonCancel");
    });
}

TEST(TFrmPwd, NoContextMenuAndNoPaste)
{
    TFrmPwd dialog;
    RunDialog(dialog, pmAskPassword, [](TFrmPwd& d) {
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), d.PWD->mapToGlobal(QPoint(5, 5)));
        EXPECT_TRUE(QApplication::sendEvent(d.PWD, &menu)) << "the request is handled";
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

        QApplication::clipboard()->setText(QStringLiteral("abc-123 xyz"));
        d.PWD->setFocus();
        QTest::keyClick(d.PWD, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(d.PWD, Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(Text(d.PWD), "");
        ClickButton(&d, "ButtonCancel");
    });
}

TEST(TFrmPwd, NewPasswordShorterThanEightIsRefusedAndEditsEmptied)
{
    TFrmPwd dialog;
    QString message;
    const int result = RunDialog(dialog, pmNewPassword, [&message](TFrmPwd& d) {
        Type(d, "NewPWD", "abcdefg");
        Type(d, "ConfirmPWD", "ABCDEFG");
        message = ClickOKExpectingMessage(d);
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
        EXPECT_EQ(Text(d.NewPWD), "");
        EXPECT_EQ(Text(d.ConfirmPWD), "");
        EXPECT_TRUE((d.focusWidget() == d.NewPWD));
        Type(d, "NewPWD", "abcdefgh");
        Type(d, "ConfirmPWD", "ABCDEFGH");
        EXPECT_EQ(ClickOKExpectingMessage(d), "");
    });
    EXPECT_TRUE(message.contains("A senha deve conter pelo menos 8 caracteres!")) << message.toStdString();
    EXPECT_EQ(RuleMessage, "A senha deve conter pelo menos 8 caracteres!");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.NewPWD, nullptr) << "accepted edits are freed";
    EXPECT_EQ(dialog.ConfirmPWD, nullptr);
    std::string password = "unchanged";
    dialog.GetNewPassword(password);
    EXPECT_EQ(password, "ABCDEFGH");
    EXPECT_EQ(Bytes(dialog.NewPasswordBuffer), "ABCDEFGH" + std::string(24, '\0'));
    std::string current = "unchanged";
    dialog.GetPassword(current);
    EXPECT_EQ(current, "unchanged") << "no current password in this mode";
}

TEST(TFrmPwd, MismatchedConfirmationIsRefusedBeforeTheLengthRule)
{
    TFrmPwd dialog;
    QString message;
    RunDialog(dialog, pmChangePassword, [&message](TFrmPwd& d) {
        Type(d, "PWD", "velha1");
        Type(d, "NewPWD", "abc");
        Type(d, "ConfirmPWD", "abd");
        message = ClickOKExpectingMessage(d);
        EXPECT_EQ(Text(d.PWD), "VELHA1") << "only the new and confirmation edits are emptied";
        EXPECT_EQ(Text(d.NewPWD), "");
        EXPECT_EQ(Text(d.ConfirmPWD), "");
        EXPECT_TRUE((d.focusWidget() == d.NewPWD));

        // A short new password empties every edit and sends focus to PWD.
        Type(d, "NewPWD", "abc");
        Type(d, "ConfirmPWD", "abc");
        const QString rule = ClickOKExpectingMessage(d);
        EXPECT_TRUE(rule.contains("A senha deve conter pelo menos 8 caracteres!")) << rule.toStdString();
        EXPECT_EQ(Text(d.PWD), "");
        EXPECT_EQ(Text(d.NewPWD), "");
        EXPECT_TRUE((d.focusWidget() == d.PWD));

        Type(d, "PWD", "velha1");
        Type(d, "NewPWD", "nova5678");
        Type(d, "ConfirmPWD", "NOVA5678");
        EXPECT_EQ(ClickOKExpectingMessage(d), "");
    });
    EXPECT_TRUE(message.contains(QString::fromUtf8("A confirmação e a nova senha devem ser idênticas!")))
        << message.toStdString();
    EXPECT_FALSE(message.contains("pelo menos"));
    std::string current, fresh;
    dialog.GetPassword(current);
    dialog.GetNewPassword(fresh);
    EXPECT_EQ(current, "VELHA1") << "the current password never goes through the rules";
    EXPECT_EQ(fresh, "NOVA5678");
    EXPECT_EQ(dialog.PWD, nullptr);
}

TEST(TFrmPwd, AskModeAcceptsAnyLengthAndEnterPressesOK)
{
    for (const char* typed : {"", "abc"}) {
        TFrmPwd dialog;
        const int result = RunDialog(dialog, pmAskPassword, [typed](TFrmPwd& d) {
            Type(d, "PWD", typed);
            QTest::keyClick(d.PWD, Qt::Key_Return);
        });
        EXPECT_EQ(result, 1) << typed;
        std::string password = "x", fresh = "untouched";
        dialog.GetPassword(password);
        dialog.GetNewPassword(fresh);
        EXPECT_EQ(password, QString(typed).toUpper().toStdString());
        EXPECT_EQ(fresh, "untouched");
    }
}

TEST(TFrmPwd, CancelCopiesNothing)
{
    TFrmPwd dialog;
    const int result = RunDialog(dialog, pmChangePassword, [](TFrmPwd& d) {
        Type(d, "PWD", "velha123");
        Type(d, "NewPWD", "nova5678");
        Type(d, "ConfirmPWD", "nova5678");
        ClickButton(&d, "ButtonCancel");
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(Bytes(dialog.PasswordBuffer), std::string(32, '\0'));
    EXPECT_EQ(Bytes(dialog.NewPasswordBuffer), std::string(32, '\0'));
    std::string current = "x", fresh = "y";
    dialog.GetPassword(current);
    dialog.GetNewPassword(fresh);
    EXPECT_EQ(current, "");
    EXPECT_EQ(fresh, "");

    TFrmPwd closed;
    EXPECT_EQ(RunDialog(closed, pmAskPassword, [](TFrmPwd& d) { d.reject(); }), 2) << "closing the window is Cancel";
    QTest::qWait(1); // let the reject's events settle
}

TEST(TFrmPwd, BuffersAreLockedWhileTheDialogLives)
{
    if (MlockIsReplacedBySanitizer)
        GTEST_SKIP() << "AddressSanitizer replaces mlock with a no-op; the plain build checks this";
    const long before = LockedKb();
    ASSERT_GE(before, 0);
    auto* dialog = new TFrmPwd;
    ASSERT_NE(dialog->PasswordBuffer, nullptr);
    ASSERT_NE(dialog->NewPasswordBuffer, nullptr);
    EXPECT_GT(LockedKb(), before) << "both buffers are pinned in memory";
    delete dialog;
    EXPECT_EQ(LockedKb(), before) << "and unpinned when the dialog goes";
}

// In a child process that may not lock memory: the dialog works without its
// buffers and hands the passwords over from the edits. Exits 0 when so.
[[noreturn]] void DialogWithoutLockedMemory()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) == 0) {
        data[CAP_IPC_LOCK / 32].effective &= ~(1u << (CAP_IPC_LOCK % 32));
        syscall(SYS_capset, &header, data);
    }
    rlimit none{0, 0};
    if (setrlimit(RLIMIT_MEMLOCK, &none) != 0)
        _exit(2);
    TFrmPwd dialog;
    if (dialog.PasswordBuffer || dialog.NewPasswordBuffer)
        _exit(3);
    const int result = RunDialog(dialog, pmChangePassword, [](TFrmPwd& d) {
        Type(d, "PWD", "velha1");
        Type(d, "NewPWD", "nova5678");
        Type(d, "ConfirmPWD", "nova5678");
        ClickButton(&d, "ButtonOK");
    });
    std::string current, fresh;
    dialog.GetPassword(current);
    dialog.GetNewPassword(fresh);
    const bool ok =
        result == 1 && current == "VELHA1" && fresh == "NOVA5678" && dialog.PWD && dialog.NewPWD && !dialog.ConfirmPWD;
    _exit(ok ? 0 : 4);
}

TEST(TFrmPwdDeathTest, WithoutLockedMemoryThePasswordsComeFromTheEdits)
{
    if (MlockIsReplacedBySanitizer)
        GTEST_SKIP() << "AddressSanitizer replaces mlock with a no-op; the plain build checks this";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DialogWithoutLockedMemory(), ::testing::ExitedWithCode(0), "");
}

TEST(TFrmPwd, HelpShowsTheTopicOfThisDialog)
{
    struct : HelpService {
        QString topic;
        void ShowTopic(const QString& Topic) override { topic = Topic; }
        void ShowContents() override { topic = QStringLiteral("contents"); }
    } help;
    TFrmPwd dialog(nullptr, &help);
    RunDialog(dialog, pmAskPassword, [](TFrmPwd& d) {
        ClickButton(&d, "ButtonHelp");
        ClickButton(&d, "ButtonCancel");
    });
    EXPECT_EQ(help.topic, "pwd.htm");
}

// Each mode on the screen, as the steps show it (the ask mode with a stored
// certificate name): the message fits its label, every caption is whole,
// nothing lies outside the dialog or under another control. With
// QUORVEX_SCREENSHOT_DIR set (scripts/screenshot-dialogs runs this under a
// virtual X screen) a PNG of each mode is saved there.
TEST(PasswordDialogScreens, EachModeShowsItsTextsWhole)
{
    const struct {
        TPwdMode Mode;
        const char* File;
    } modes[] = {
        {pmAskPassword, "pwd-1-ask.png"}, {pmNewPassword, "pwd-2-new.png"}, {pmChangePassword, "pwd-3-change.png"}};
    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    for (const auto& m : modes) {
        SCOPED_TRACE(m.File);
        QWidget owner;
        owner.setGeometry(40, 40, 520, 420);
        owner.show();
        TFrmPwd dialog(&owner);
        AnswerNextModal([&](QWidget* modal) {
            TFrmPwd& d = *static_cast<TFrmPwd*>(modal);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
            for (QLineEdit* edit : {d.PWD, d.NewPWD})
                if (edit)
                    QTest::keyClicks(edit, QStringLiteral("SENHA123"));
            const QRect client = d.rect();
            const QList<QWidget*> controls = d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* w : controls) {
                if (!w->isVisible())
                    continue;
                const std::string name = w->objectName().toStdString();
                EXPECT_TRUE(client.contains(w->geometry())) << name;
                if (auto* label = qobject_cast<QLabel*>(w)) {
                    if (label->wordWrap()) {
                        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
                    } else if (label->pixmap().isNull()) {
                        EXPECT_GE(label->width(), label->sizeHint().width()) << name;
                    }
                }
                if (auto* button = qobject_cast<QPushButton*>(w)) {
                    const int text = button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&')));
                    EXPECT_LE(text + 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin), button->width())
                        << name;
                }
                for (QWidget* other : controls) {
                    if (other != w && other->isVisible()) {
                        EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                            << name << " / " << other->objectName().toStdString();
                    }
                }
            }
            if (!outDir.isEmpty()) {
                QTest::qWait(100);
                const QRect area = d.frameGeometry();
                const QPixmap shot = d.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
                EXPECT_FALSE(shot.isNull());
                EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + QLatin1Char('/') + QLatin1String(m.File)));
            }
            ClickButton(&d, "ButtonCancel");
        });
        // A name as the data files hold it (Windows-1252).
        EXPECT_EQ(dialog.ExecuteFor(m.Mode, "Certificado Principal n\xBA 1"), 2);
    }
}

TEST(TFrmPwd, MinimumLengthRule)
{
    RuleMessage.clear();
    EXPECT_TRUE(MinimumLengthRule("12345678"));
    EXPECT_TRUE(RuleMessage.empty());
    EXPECT_FALSE(MinimumLengthRule("1234567"));
    EXPECT_EQ(RuleMessage, "A senha deve conter pelo menos 8 caracteres!");
    EXPECT_FALSE(MinimumLengthRule(""));
}

} // namespace
