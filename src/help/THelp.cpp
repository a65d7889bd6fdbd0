#include "help/THelp.h"

#include "base/FormatText.h"
#include "base/Texts.h"
#include "help/TFrmHelp.h"
#include "ui/HtmlView.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>

THelp::THelp(QObject* parent) : QObject(parent), form_(std::make_unique<TFrmHelp>(this)) {}

THelp::~THelp() = default;

void THelp::SetFileName(const std::string& Path)
{
    fileName_ = Path;
    // An archive that is there but cannot be read is as useless as none: the
    // error page then names its path, which is what the user must look at.
    archiveMissing_ = !form_->ZipFile.Open(Path);
}

void THelp::SetCurrentTopic(const QString& Name)
{
    currentTopic_ = Name;
    DisplayTopic(Name);
}

int THelp::Width() const
{
    return form_->width();
}
void THelp::SetWidth(int Value)
{
    form_->resize(Value, form_->height());
}
int THelp::Height() const
{
    return form_->height();
}
void THelp::SetHeight(int Value)
{
    form_->resize(form_->width(), Value);
}
bool THelp::Visible() const
{
    return form_->isVisible();
}
void THelp::SetVisible(bool Value)
{
    form_->setVisible(Value);
}

void THelp::SetTopMost(bool Value)
{
    topMost_ = Value;
    const bool shown = form_->isVisible();
    form_->setWindowFlag(Qt::WindowStaysOnTopHint, Value);
    // Changing a window's flags hides it.
    if (shown)
        form_->show();
}

QPoint THelp::BesidePlace(const QRect& Anchor, const QSize& Size, const QRect& Screen)
{
    const int top = std::clamp(Anchor.top(), Screen.top(), std::max(Screen.top(), Screen.bottom() + 1 - Size.height()));
    // Right of the window when it fits, else left of it, else against the
    // screen's right edge (covering as little of the window as it can).
    if (Anchor.right() + 1 + Size.width() <= Screen.right() + 1)
        return {Anchor.right() + 1, top};
    if (Anchor.left() - Size.width() >= Screen.left())
        return {Anchor.left() - Size.width(), top};
    return {std::max(Screen.left(), Screen.right() + 1 - Size.width()), top};
}

void THelp::Show()
{
    if (!placed_) {
        // The first time, beside the window that asked, not over it.
        if (QWidget* asker = QApplication::activeWindow(); asker && asker != form_.get()) {
            const QWidget* window = asker->window();
            if (const QScreen* screen = window->screen())
                form_->move(
                    BesidePlace(window->frameGeometry(), form_->frameGeometry().size(), screen->availableGeometry()));
            placed_ = true;
        }
    }
    form_->show();
    // Help asked for from a modal dialog must take input while the dialog
    // is open: a window that belongs to the dialog is not blocked by it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != form_.get()) {
        if (QWindow* own = form_->windowHandle(); own && modal->windowHandle())
            own->setTransientParent(modal->windowHandle());
    }
    form_->raise();
    form_->activateWindow();
}

QString THelp::ErrorPage(const QString& Kind, const QString& Name)
{
    // The texts are escaped first, and a "%s" inside the first stays text.
    return QString::fromStdString(
        FormatText(Texts::HelpErrorPage, {Kind.toHtmlEscaped().toStdString(), Name.toHtmlEscaped().toStdString()}));
}

void THelp::DisplayTopic(const QString& Name)
{
    TFrmHelp& form = *form_;
    if (archiveMissing_) {
        form.HTMLView->LoadFromString(ErrorPage(Tr(Texts::HelpErrorArchive), QString::fromStdString(fileName_)));
        form.UpdateButtons();
        return;
    }
    // "page#place": the page is the entry, the place a jump inside it.
    const qsizetype hash = Name.indexOf(QLatin1Char('#'));
    const QString page = hash < 0 ? Name : Name.left(hash);
    const QString place = hash < 0 ? QString() : Name.mid(hash + 1);

    form.CurrentPage = page;
    form.BeginPage();
    std::string bytes;
    form.ZipFile.Extract(page.toStdString(), bytes);
    if (bytes.empty()) {
        form.HTMLView->LoadFromString(ErrorPage(Tr(Texts::HelpErrorDocument), page));
    } else {
        form.HTMLView->LoadFromString(bytes);
        if (!place.isEmpty())
            form.HTMLView->scrollToAnchor(place);
    }
    form.UpdateButtons();
}
