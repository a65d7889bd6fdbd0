#include "crypto/TFrmPwd.h"
#include "ui/KeyboardRules.h"

#include "base/FormatText.h"
#include "crypto/Wipe.h"
#include "ui/TDialog.h"
#include "help/HelpService.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cstring>

namespace KeyFilePwd {

std::string RuleMessage;

bool MinimumLengthRule(const std::string& Password)
{
    if (static_cast<int>(Password.size()) >= MinimumPasswordLength)
        return true;
    RuleMessage = FormatText(Texts::PwdMinimumLength, {std::to_string(MinimumPasswordLength)});
    return false;
}

namespace {
// The rule message is cleared when the program ends.
struct ClearRuleMessageAtExit {
    ~ClearRuleMessageAtExit() { RuleMessage.clear(); }
} clearRuleMessageAtExit;
} // namespace

} // namespace KeyFilePwd

using namespace KeyFilePwd;

namespace {

// Overwrites the characters an edit holds in the edit's own buffer, which
// the string its text() returns shares; a copy would leave the typed
// password behind in the block the edit frees. Text held in no block of its
// own (an empty or constant string) holds nothing typed.
void WipeTextInPlace(QLineEdit* Edit)
{
    QString held = Edit->text();
    if (held.isEmpty() || held.data_ptr().d_ptr() == nullptr)
        return;
    ZeroBuffer(const_cast<QChar*>(held.constData()), static_cast<int>(held.size()) * static_cast<int>(sizeof(QChar)));
}

// The edit's text as one byte a character, for the password buffers and the
// rules; the caller wipes the result.
QByteArray Latin1Of(const QLineEdit* Edit)
{
    return Edit->text().toLatin1();
}

// The dialog's caption and frame, which the layout's heights include.
constexpr int NonClientHeight = 30;
constexpr int ClientWidth = 343;
constexpr int EditLeft = 131;
constexpr int EditWidth = 115;
constexpr int EditHeight = 21;
constexpr int LabelLeft = 48;
constexpr int MessageWidth = 194;
constexpr int MessageHeight = 77;

} // namespace

TFrmPwd::TFrmPwd(QWidget* Owner, HelpService* Help) : QDialog(Owner), FHelp(Help)
{
    setObjectName(QStringLiteral("FrmPwd"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, 110);

    LabelMsg = new QLabel(this);
    LabelMsg->setObjectName(QStringLiteral("LabelMsg"));
    LabelMsg->setGeometry(48, 8, MessageWidth, MessageHeight);
    LabelMsg->setWordWrap(true);
    LabelMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));

    ButtonOK = new QPushButton(this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(258, 8, 75, 25);
    ButtonOK->setDefault(true);
    ButtonOK->setAutoDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &TFrmPwd::ButtonOKClick);

    ButtonCancel = new QPushButton(this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setGeometry(258, 40, 75, 25);
    ButtonCancel->setAutoDefault(false);
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(2); });

    ButtonHelp = new QPushButton(this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonHelp->setGeometry(258, 72, 75, 25);
    ButtonHelp->setAutoDefault(false);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFrmPwd::ButtonHelpClick);

    FormCreate();
    KeyboardRules::AddFreeLetters(this);
}

TFrmPwd::~TFrmPwd()
{
    FormDestroy();
}

void TFrmPwd::FormCreate()
{
    setWindowTitle(Tr(Texts::PwdCaption));
    ButtonOK->setText(Tr(Texts::PwdOK));
    ButtonCancel->setText(Tr(Texts::PwdCancel));
    ButtonHelp->setText(Tr(Texts::PwdHelp));
    Mode = pmAskPassword;
    CertificateName = Texts::PwdDefaultCertificateName;

    Rules.clear();
    Rules.push_back(MinimumLengthRule);

    FPasswordLocked = new TLockedBuffer(PasswordBufferSize);
    FNewPasswordLocked = new TLockedBuffer(PasswordBufferSize);
    try {
        PasswordBuffer = static_cast<char*>(FPasswordLocked->Allocate());
        FPasswordLocked->Lock();
        NewPasswordBuffer = static_cast<char*>(FNewPasswordLocked->Allocate());
        FNewPasswordLocked->Lock();
    } catch (const std::exception&) {
        // Without locked memory the dialog still works: the passwords are
        // then read from the edits.
        PasswordBuffer = nullptr;
        NewPasswordBuffer = nullptr;
    }
}

void TFrmPwd::FormDestroy()
{
    Rules.clear();
    // Zero whatever was allocated, even when the buffers went unused.
    for (TLockedBuffer* buffer : {FPasswordLocked, FNewPasswordLocked}) {
        if (buffer && buffer->Memory())
            ZeroBuffer(buffer->Memory(), buffer->Size());
    }
    FreeRunTimeControls();
    for (TLockedBuffer** slot : {&FPasswordLocked, &FNewPasswordLocked}) {
        TLockedBuffer* buffer = *slot;
        if (!buffer)
            continue;
        try {
            if (buffer->Locked())
                buffer->Unlock();
        } catch (const std::exception&) {
        }
        try {
            if (buffer->Memory())
                buffer->Release();
        } catch (const std::exception&) {
        }
        delete buffer;
        *slot = nullptr;
    }
    PasswordBuffer = nullptr;
    NewPasswordBuffer = nullptr;
}

void TFrmPwd::FreeRunTimeControls()
{
    // An edit given back with its text (Cancel, a dialog run again) would
    // leave the password typed into it in freed memory.
    for (QLineEdit* edit : {PWD, NewPWD, ConfirmPWD})
        Blank(edit);
    ScrubStack();
    auto free = [](auto*& control) {
        delete control;
        control = nullptr;
    };
    free(PWD);
    free(LabelPWD);
    free(NewPWD);
    free(LabelNewPWD);
    free(ConfirmPWD);
    free(LabelConfirmPWD);
}

QLineEdit* TFrmPwd::MakeEdit(const char* Name, int Top)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setGeometry(EditLeft, Top, EditWidth, EditHeight);
    edit->setMaxLength(MaximumPasswordLength);
    edit->setEchoMode(QLineEdit::Password);
    // "*" as the password character, as the program always showed it.
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    edit->setToolTip(Tr(Texts::PwdEditHint));
    // The edit's text starts with room for the longest password, so that it
    // never moves while keys are typed: each move would leave the part typed
    // so far in the block given back, out of reach of any wiping.
    QString room;
    room.reserve(MaximumPasswordLength + 1);
    edit->setText(room);
    // Nothing reaches a password edit but typed keys: no drops, no input
    // method composition, no context menu, no paste.
    edit->setAcceptDrops(false);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setContextMenuPolicy(Qt::DefaultContextMenu);
    edit->installEventFilter(this);
    edit->show();
    return edit;
}

QLabel* TFrmPwd::MakeLabel(const char* Name, const char* Caption, int Top)
{
    auto* label = new QLabel(Tr(Caption), this);
    label->setObjectName(QString::fromLatin1(Name));
    label->move(LabelLeft, Top);
    label->adjustSize();
    label->show();
    return label;
}

void TFrmPwd::SetHeight(int Height)
{
    FHeight = Height;
    setFixedSize(ClientWidth, Height - NonClientHeight);
}

int TFrmPwd::Execute(TPwdMode NewMode)
{
    Mode = NewMode;
    // A dialog run twice starts from fresh edits.
    FreeRunTimeControls();

    if (Mode == pmAskPassword || Mode == pmChangePassword) {
        PWD = MakeEdit("PWD", 93);
        LabelPWD = MakeLabel("LabelPWD", Texts::PwdCurrentLabel, 93);
        LabelPWD->setBuddy(PWD);
        SetHeight(150);
    }
    if (Mode == pmNewPassword || Mode == pmChangePassword) {
        NewPWD = MakeEdit("NewPWD", 122);
        LabelNewPWD = MakeLabel("LabelNewPWD", Texts::PwdNewLabel, 122);
        LabelNewPWD->setBuddy(NewPWD);
        SetHeight(180);
        ConfirmPWD = MakeEdit("ConfirmPWD", 152);
        LabelConfirmPWD = MakeLabel("LabelConfirmPWD", Texts::PwdConfirmLabel, 152);
        LabelConfirmPWD->setBuddy(ConfirmPWD);
        SetHeight(210);
    }

    switch (Mode) {
    case pmAskPassword: {
        // The certificate's name comes from the data files (Windows-1252);
        // the message around it from the texts table (UTF-8).
        QString message = Tr(FormatText(Texts::PwdAskMessage, {"\x01", std::to_string(MinimumPasswordLength),
                                                               std::to_string(MaximumPasswordLength)})
                                 .c_str());
        message.replace(QChar(1), FromAnsi(CertificateName));
        LabelMsg->setText(message);
    } break;
    case pmNewPassword:
        NewPWD->move(EditLeft, 93);
        LabelNewPWD->move(LabelLeft, 93);
        ConfirmPWD->move(EditLeft, 122);
        LabelConfirmPWD->move(LabelLeft, 122);
        SetHeight(180);
        LabelMsg->setText(Tr(FormatText(Texts::PwdNewMessage,
                                        {std::to_string(MinimumPasswordLength), std::to_string(MaximumPasswordLength)})
                                 .c_str()));
        break;
    case pmChangePassword: LabelMsg->setText(Tr(Texts::PwdChangeMessage)); break;
    }
    FitMessage();
    // The labels of this mode were made just now.
    KeyboardRules::AddFreeLetters(this);

    // Tab order follows the edits from top to bottom.
    QWidget* previous = nullptr;
    for (QWidget* edit :
         {static_cast<QWidget*>(PWD), static_cast<QWidget*>(NewPWD), static_cast<QWidget*>(ConfirmPWD)}) {
        if (!edit)
            continue;
        if (previous)
            setTabOrder(previous, edit);
        previous = edit;
    }
    if (previous) {
        setTabOrder(previous, ButtonOK);
        setTabOrder(ButtonOK, ButtonCancel);
        setTabOrder(ButtonCancel, ButtonHelp);
    }
    if (QWidget* first = PWD ? static_cast<QWidget*>(PWD) : static_cast<QWidget*>(NewPWD))
        first->setFocus();

    if (parentWidget() && parentWidget()->window()) {
        const QRect owner = parentWidget()->window()->geometry();
        move(owner.center() - rect().center());
    }
    FTakingKeys = false;
    FLastLeftOver = 0;
    FPressedHere.clear();
    FShown.start();
    const int result = exec();
    return result == 1 ? 1 : 2;
}

void TFrmPwd::FitMessage()
{
    // The fixed layout was drawn for a smaller font than a Linux desktop
    // uses: a message that needs more lines than its label holds would be
    // cut off. The label then grows, and the edits, their labels and the
    // dialog's bottom move down by as much; a message that fits leaves the
    // layout as designed.
    const int extra = std::max(0, LabelMsg->heightForWidth(MessageWidth) - MessageHeight);
    LabelMsg->resize(MessageWidth, MessageHeight + extra);
    if (extra == 0)
        return;
    for (QWidget* control : {static_cast<QWidget*>(PWD), static_cast<QWidget*>(LabelPWD), static_cast<QWidget*>(NewPWD),
                             static_cast<QWidget*>(LabelNewPWD), static_cast<QWidget*>(ConfirmPWD),
                             static_cast<QWidget*>(LabelConfirmPWD)}) {
        if (control)
            control->move(control->x(), control->y() + extra);
    }
    SetHeight(FHeight + extra);
}

int TFrmPwd::ExecuteFor(TPwdMode NewMode, const std::string& NewCertificateName)
{
    CertificateName = NewCertificateName;
    return Execute(NewMode);
}

void TFrmPwd::Blank(QLineEdit* Edit)
{
    if (!Edit)
        return;
    // Overwrite the text where the edit keeps it before dropping it, so the
    // block it gives back holds NULs rather than the password. Setting the
    // text (rather than clearing it, which is undoable) also drops the undo
    // records of the typed keys.
    WipeTextInPlace(Edit);
    Edit->setText(QString());
}

void TFrmPwd::CopyInto(char* Buffer, QLineEdit* Edit)
{
    QByteArray bytes = Latin1Of(Edit);
    const int length = std::min<int>(static_cast<int>(bytes.size()), PasswordBufferSize - 1);
    ZeroBuffer(Buffer, PasswordBufferSize);
    std::memcpy(Buffer, bytes.constData(), static_cast<std::size_t>(length));
    bytes.fill('\0');
}

void TFrmPwd::ButtonOKClick()
{
    // The checks and copies below leave pieces of the passwords on the
    // stack below this frame; they are overwritten on every way out.
    struct Scrub {
        ~Scrub() { ScrubStack(); }
    } scrub;
    const bool hasNew = Mode == pmNewPassword || Mode == pmChangePassword;

    if (hasNew && NewPWD && ConfirmPWD && ConfirmPWD->text().compare(NewPWD->text(), Qt::CaseInsensitive) != 0) {
        Blank(NewPWD);
        Blank(ConfirmPWD);
        ShowRejection(Tr(Texts::PwdConfirmMismatch));
        NewPWD->setFocus();
        return;
    }

    if (hasNew && NewPWD) {
        QByteArray candidate = Latin1Of(NewPWD);
        std::string text(candidate.constData(), static_cast<std::size_t>(candidate.size()));
        candidate.fill('\0');
        bool accepted = true;
        for (const TRule& rule : Rules) {
            if (!rule(text)) {
                accepted = false;
                break;
            }
        }
        ZeroBuffer(text.data(), static_cast<int>(text.size()));
        if (!accepted) {
            Blank(PWD);
            Blank(NewPWD);
            Blank(ConfirmPWD);
            ShowRejection(QString::fromUtf8(RuleMessage.c_str()));
            if (PWD)
                PWD->setFocus();
            else
                NewPWD->setFocus();
            return;
        }
    }

    if ((Mode == pmAskPassword || Mode == pmChangePassword) && PasswordBuffer && PWD) {
        CopyInto(PasswordBuffer, PWD);
        Blank(PWD);
        delete PWD;
        PWD = nullptr;
    }
    if (hasNew && NewPasswordBuffer && NewPWD) {
        CopyInto(NewPasswordBuffer, NewPWD);
        Blank(NewPWD);
        delete NewPWD;
        NewPWD = nullptr;
    }
    if (ConfirmPWD) {
        Blank(ConfirmPWD);
        delete ConfirmPWD;
        ConfirmPWD = nullptr;
    }
    done(1);
}

void TFrmPwd::ButtonHelpClick()
{
    if (FHelp)
        FHelp->ShowTopic(QStringLiteral("pwd.htm"));
}

void TFrmPwd::ShowRejection(const QString& Text)
{
    TDialog dialog(this);
    dialog.SetDialogButtons(dtOK);
    dialog.DialogType = mtWarning;
    dialog.Execute(Text);
}

void TFrmPwd::GetPassword(std::string& Password) const
{
    if (Mode == pmNewPassword)
        return;
    if (PasswordBuffer)
        Password.assign(PasswordBuffer, strnlen(PasswordBuffer, PasswordBufferSize));
    else if (PWD)
        AssignWiping(Password, PWD);
}

void TFrmPwd::GetNewPassword(std::string& Password) const
{
    if (Mode == pmAskPassword)
        return;
    if (NewPasswordBuffer)
        Password.assign(NewPasswordBuffer, strnlen(NewPasswordBuffer, PasswordBufferSize));
    else if (NewPWD)
        AssignWiping(Password, NewPWD);
}

void TFrmPwd::AssignWiping(std::string& Password, const QLineEdit* Edit)
{
    QByteArray bytes = Latin1Of(Edit);
    // Room first: a string that grows while copying leaves a part behind.
    ZeroBuffer(Password.data(), static_cast<int>(Password.size()));
    Password.clear();
    Password.reserve(PasswordBufferSize);
    Password.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    bytes.fill('\0');
}

bool TFrmPwd::LeftOverKey(const QKeyEvent* Key)
{
    const qint64 now = FShown.isValid() ? FShown.elapsed() : 0;
    // A key held down repeats for as long as it is held: only a key first
    // pressed here may repeat here.
    if (Key->isAutoRepeat() && FPressedHere.count(Key->key()) == 0) {
        FLastLeftOver = now;
        return true;
    }
    if (!FTakingKeys) {
        // Presses that follow each other closely since the dialog was shown
        // are the run of keys that began before it: each one keeps the
        // dialog waiting for a pause.
        if (now - FLastLeftOver < KeySettleMs) {
            FLastLeftOver = now;
            return true;
        }
        FTakingKeys = true;
    }
    FPressedHere.insert(Key->key());
    return false;
}

bool TFrmPwd::PasswordKeyPress(QLineEdit* Edit, QKeyEvent* Key)
{
    if (LeftOverKey(Key))
        return true;
    // Pasting would bring in characters that were never filtered.
    if (Key->matches(QKeySequence::Paste) || Key->matches(QKeySequence::Cut) || Key->matches(QKeySequence::Copy))
        return true;
    // Tab and Shift+Tab carry a tab character as their text; they move the
    // focus between the edits and must not be taken for a typed character.
    if (Key->key() == Qt::Key_Tab || Key->key() == Qt::Key_Backtab)
        return false;
    const QString text = Key->text();
    if (text.isEmpty())
        return false; // navigation and modifier keys: no character typed
    if (text.size() != 1)
        return true;
    const QChar c = text.at(0);
    const char16_t code = c.unicode();
    if ((code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'Z') || code == 8 || code == 127)
        return false;
    // Enter and Escape belong to the dialog (OK and Cancel), not to the edit.
    if (code == u'\r' || code == u'\n' || code == 27)
        return false;
    if (code >= u'a' && code <= u'z') {
        QKeyEvent upper(QEvent::KeyPress, Key->key(), Key->modifiers() & ~Qt::ShiftModifier,
                        QString(QChar(code - u'a' + u'A')), Key->isAutoRepeat(), static_cast<ushort>(Key->count()));
        QCoreApplication::sendEvent(Edit, &upper);
        return true;
    }
    return true;
}

bool TFrmPwd::ContextPopup(QEvent* Event)
{
    Event->accept();
    return true;
}

bool TFrmPwd::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* edit = qobject_cast<QLineEdit*>(Watched);
    if (edit && (edit == PWD || edit == NewPWD || edit == ConfirmPWD)) {
        switch (Event->type()) {
        case QEvent::KeyPress: return PasswordKeyPress(edit, static_cast<QKeyEvent*>(Event));
        case QEvent::ContextMenu: return ContextPopup(Event);
        case QEvent::MouseButtonRelease:
            // A middle click pastes the selection on X11.
            if (static_cast<QMouseEvent*>(Event)->button() == Qt::MiddleButton)
                return true;
            break;
        default: break;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
