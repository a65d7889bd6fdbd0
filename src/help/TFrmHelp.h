#pragma once
// The help window: a page area and three flat buttons (contents, back,
// forward). It keeps the list of pages shown, each once, in the order in
// which they were first shown, and the position of the page on screen in it.
// What to show is decided by its THelp; the window only reports clicks.
#include "zip/ZipReader.h"

#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

class HtmlView;
class QFrame;
class QLabel;
class THelp;

class TFrmHelp : public QWidget {
    Q_OBJECT
public:
    // Help: the component that owns the window and answers its buttons.
    explicit TFrmHelp(THelp* Help);
    ~TFrmHelp() override;

    HtmlView* HTMLView = nullptr;
    // Pages shown, no duplicates, in the order first shown.
    QStringList History;
    int HistoryIndex = 0;
    // The page being displayed: an archive entry name.
    QString CurrentPage;

    QFrame* TopicButton = nullptr;
    QFrame* BackButton = nullptr;
    QFrame* ForwardButton = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* BackImage = nullptr;
    QLabel* ForwardImage = nullptr;
    // 0 back enabled, 1 back disabled, 2 forward enabled, 3 forward disabled.
    QList<QPixmap> Images;

    ZipReader ZipFile;
    // Memory that the pictures of one page may take once decoded; a page
    // (or an archive) that asks for more gets the rest without pictures.
    static constexpr qint64 PageImageBudget = 256ll * 1024 * 1024;
    void BeginPage() { pageImageBytes_ = 0; }

    bool BackEnabled() const { return backEnabled_; }
    bool ForwardEnabled() const { return forwardEnabled_; }
    // Back disabled at an index of 0 or less, forward enabled below the last.
    void UpdateButtons();

    void HTMLViewLayoutFinished();
    void HTMLViewHotSpotClick(const QString& Target, bool& Handled);
    bool HTMLViewImageRequest(const QString& Name, QByteArray& Bytes);
    void TopicButtonClick();
    void BackButtonClick();
    void ForwardButtonClick();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    // Escape closes (hides) the window, as it closes a dialog.
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QFrame* MakeButton(const char* ObjectName, const char* Caption, QLabel*& Image, QLabel*& CaptionLabel);
    void SetButtonLook(QFrame* Button, QLabel* Image, QLabel* Caption, bool Enabled, int ImageIndex);

    THelp* help_;
    QLabel* topicCaption_ = nullptr;
    QLabel* backCaption_ = nullptr;
    QLabel* forwardCaption_ = nullptr;
    bool backEnabled_ = false;
    bool forwardEnabled_ = false;
    qint64 pageImageBytes_ = 0;
};
