#pragma once
// Renders HTML for the next-task panel and the help window. Links are never
// followed by the view itself: each click is offered to the owner with the
// link's target as text, and images are asked of the owner by name.
#include <QTextBrowser>

#include <functional>
#include <string>

class HtmlView : public QTextBrowser {
    Q_OBJECT
public:
    explicit HtmlView(QWidget* parent = nullptr);

    // Shows a document given as text. Bytes are decoded by the charset that
    // the document declares (ISO-8859-1 when it declares none); named
    // character entities are resolved by the renderer.
    void LoadFromString(const std::string& Html);
    void LoadFromString(const QString& Html);

    // Answers image requests: given the name as written in the document,
    // fills the bytes and returns true, or returns false for "none".
    using ImageProvider = std::function<bool(const QString& Name, QByteArray& Bytes)>;
    void SetImageProvider(ImageProvider Provider) { imageProvider_ = std::move(Provider); }

signals:
    // A link was clicked. A slot that acts on it sets Handled; the view then
    // does nothing more. Unhandled, a target "#place" scrolls this page to
    // the place; any other is left alone (the view keeps no history).
    void HotSpotClick(const QString& Target, bool& Handled);
    // The document has been laid out and shown.
    void LayoutFinished();

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    ImageProvider imageProvider_;
};
