#include "help/TFrmHelp.h"

#include "base/Texts.h"
#include "help/THelp.h"
#include "ui/HtmlView.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QBuffer>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int kButtonWidth = 116;
constexpr int kButtonHeight = 30;
constexpr int kPicture = 22;

// An arrow pointing left or right, green when usable, grey when not.
QPixmap Arrow(bool Right, bool Enabled)
{
    QPixmap pixmap(kPicture, kPicture);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = Enabled ? QColor(40, 150, 60) : QColor(185, 185, 185);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(fill);
    QPolygonF arrow{QPointF(2, 11),  QPointF(11, 2),  QPointF(11, 7), QPointF(20, 7),
                    QPointF(20, 15), QPointF(11, 15), QPointF(11, 20)};
    if (Right)
        for (QPointF& point : arrow)
            point.setX(kPicture - point.x());
    p.drawPolygon(arrow);
    return pixmap;
}

// An open book: the contents.
QPixmap Book()
{
    QPixmap pixmap(kPicture, kPicture);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 60, 120), 1));
    p.setBrush(QColor(70, 110, 190));
    p.drawRect(QRectF(1.5, 4.5, 19, 14));
    p.setBrush(QColor(250, 250, 240));
    p.drawRect(QRectF(3.5, 3.5, 7, 13));
    p.drawRect(QRectF(11.5, 3.5, 7, 13));
    p.setPen(QPen(QColor(120, 120, 140), 1));
    for (int y = 6; y <= 14; y += 3) {
        p.drawLine(QPointF(5, y), QPointF(9.5, y));
        p.drawLine(QPointF(13, y), QPointF(17.5, y));
    }
    return pixmap;
}

} // namespace

TFrmHelp::TFrmHelp(THelp* Help) : QWidget(nullptr, Qt::Window), help_(Help)
{
    setObjectName(QStringLiteral("FrmHelp"));
    setWindowTitle(Tr(Texts::HelpCaption));
    // The help window never keeps the program running once the main window
    // has closed, and closing it only hides it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(640, 480);

    Images = {Arrow(false, true), Arrow(false, false), Arrow(true, true), Arrow(true, false)};

    TopicButton = MakeButton("TopicButton", Texts::HelpTopicsButton, Image1, topicCaption_);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(Book());
    BackButton = MakeButton("BackButton", Texts::HelpBackButton, BackImage, backCaption_);
    BackImage->setObjectName(QStringLiteral("BackImage"));
    ForwardButton = MakeButton("ForwardButton", Texts::HelpForwardButton, ForwardImage, forwardCaption_);
    ForwardImage->setObjectName(QStringLiteral("ForwardImage"));

    HTMLView = new HtmlView(this);
    HTMLView->setObjectName(QStringLiteral("HTMLView"));
    HTMLView->setAccessibleName(Tr(Texts::AccHelpPage));
    HTMLView->SetImageProvider(
        [this](const QString& Name, QByteArray& Bytes) { return HTMLViewImageRequest(Name, Bytes); });
    connect(HTMLView, &HtmlView::LayoutFinished, this, &TFrmHelp::HTMLViewLayoutFinished);
    connect(HTMLView, &HtmlView::HotSpotClick, this, &TFrmHelp::HTMLViewHotSpotClick);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(TopicButton);
    buttons->addWidget(BackButton);
    buttons->addWidget(ForwardButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(buttons);
    layout->addWidget(HTMLView, 1);

    SetButtonLook(TopicButton, nullptr, topicCaption_, true, -1);
    // Nothing shown yet: neither back nor forward.
    SetButtonLook(BackButton, BackImage, backCaption_, false, 1);
    SetButtonLook(ForwardButton, ForwardImage, forwardCaption_, false, 3);
}

TFrmHelp::~TFrmHelp() = default;

QFrame* TFrmHelp::MakeButton(const char* ObjectName, const char* Caption, QLabel*& Image, QLabel*& CaptionLabel)
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QString::fromLatin1(ObjectName));
    panel->setFixedSize(kButtonWidth, kButtonHeight);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setCursor(Qt::PointingHandCursor);
    // The caption covers the panel; its leading blanks leave the picture room.
    panel->setAccessibleName(Tr(Caption).trimmed());
    panel->setFocusPolicy(Qt::TabFocus);
    CaptionLabel = new QLabel(Tr(Caption), panel);
    CaptionLabel->setObjectName(QString::fromLatin1(ObjectName) + QStringLiteral("Caption"));
    CaptionLabel->setGeometry(0, 0, kButtonWidth, kButtonHeight);
    CaptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CaptionLabel->setContentsMargins(4, 0, 0, 0);
    Image = new QLabel(panel);
    Image->setGeometry(6, (kButtonHeight - kPicture) / 2, kPicture, kPicture);
    // Presses on the picture and the caption reach the panel.
    CaptionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    Image->setAttribute(Qt::WA_TransparentForMouseEvents);
    panel->installEventFilter(this);
    return panel;
}

void TFrmHelp::SetButtonLook(QFrame* Button, QLabel* Image, QLabel* Caption, bool Enabled, int ImageIndex)
{
    if (Image && ImageIndex >= 0 && ImageIndex < Images.size())
        Image->setPixmap(Images.at(ImageIndex));
    QPalette palette = Caption->palette();
    const QPalette& app = QApplication::palette();
    palette.setColor(QPalette::WindowText, Enabled ? app.color(QPalette::ButtonText) : app.color(QPalette::Dark));
    Caption->setPalette(palette);
    Button->setProperty("buttonEnabled", Enabled);
}

void TFrmHelp::UpdateButtons()
{
    backEnabled_ = HistoryIndex > 0;
    forwardEnabled_ = HistoryIndex < History.size() - 1;
    SetButtonLook(BackButton, BackImage, backCaption_, backEnabled_, backEnabled_ ? 0 : 1);
    SetButtonLook(ForwardButton, ForwardImage, forwardCaption_, forwardEnabled_, forwardEnabled_ ? 2 : 3);
}

void TFrmHelp::HTMLViewLayoutFinished()
{
    // A page shown again keeps its first place; later pages stay reachable.
    if (!CurrentPage.isEmpty()) {
        const int at = int(History.indexOf(CurrentPage));
        if (at < 0) {
            History.append(CurrentPage);
            HistoryIndex = int(History.size()) - 1;
        } else {
            HistoryIndex = at;
        }
    }
    UpdateButtons();
}

void TFrmHelp::HTMLViewHotSpotClick(const QString& Target, bool& Handled)
{
    // A jump inside the page is the view's own business.
    if (Target.startsWith(QLatin1Char('#')))
        return;
    help_->DisplayTopic(Target);
    Handled = true;
}

bool TFrmHelp::HTMLViewImageRequest(const QString& Name, QByteArray& Bytes)
{
    std::string bytes;
    if (ZipFile.Extract(Name.toStdString(), bytes) != ZipReader::TExtract::Ok || bytes.empty())
        return false;
    QByteArray picture(bytes.data(), qsizetype(bytes.size()));
    // The size the picture declares decides before anything is decoded.
    QBuffer buffer(&picture);
    buffer.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&buffer).size();
    const qint64 decoded = size.isValid() ? qint64(size.width()) * size.height() * 4 : -1;
    if (decoded < 0 || pageImageBytes_ + decoded > PageImageBudget)
        return false;
    pageImageBytes_ += decoded;
    Bytes = std::move(picture);
    return true;
}

void TFrmHelp::TopicButtonClick()
{
    if (!help_->Contents().isEmpty())
        help_->SetCurrentTopic(help_->Contents());
}

void TFrmHelp::BackButtonClick()
{
    if (HistoryIndex > 0 && HistoryIndex - 1 < History.size())
        help_->SetCurrentTopic(History.at(HistoryIndex - 1));
}

void TFrmHelp::ForwardButtonClick()
{
    if (HistoryIndex >= 0 && HistoryIndex < History.size() - 1)
        help_->SetCurrentTopic(History.at(HistoryIndex + 1));
}

bool TFrmHelp::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* panel = qobject_cast<QFrame*>(Watched);
    if (!panel || (panel != TopicButton && panel != BackButton && panel != ForwardButton))
        return QWidget::eventFilter(Watched, Event);
    if (Event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        return true;
    }
    // The keyboard reaches the panels with Tab; Space or Enter presses one.
    const bool keyed = Event->type() == QEvent::KeyPress
                       && (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Space
                           || static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Return
                           || static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Enter);
    const bool released =
        Event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton;
    if (keyed || released) {
        panel->setFrameShape(QFrame::NoFrame);
        const bool inside = keyed || panel->rect().contains(static_cast<QMouseEvent*>(Event)->position().toPoint());
        if (inside) {
            if (panel == TopicButton)
                TopicButtonClick();
            else if (panel == BackButton && backEnabled_)
                BackButtonClick();
            else if (panel == ForwardButton && forwardEnabled_)
                ForwardButtonClick();
        }
        return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TFrmHelp::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(Event);
}
