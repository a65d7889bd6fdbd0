#include "ui/HtmlView.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>

HtmlView::HtmlView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        bool handled = false;
        // The target is the href exactly as written (an action name, a page).
        const QString target = url.toString(QUrl::None);
        emit HotSpotClick(target, handled);
        // A jump to a place inside the page, unless the owner took it.
        if (!handled && target.startsWith(QLatin1Char('#')))
            scrollToAnchor(target.mid(1));
    });
}

void HtmlView::LoadFromString(const std::string& Html)
{
    const QByteArray bytes(Html.data(), qsizetype(Html.size()));
    // The charset named in the document's meta tag decides; the program's
    // own documents declare ISO-8859-1.
    QString charset = QStringLiteral("ISO-8859-1");
    static const QRegularExpression meta(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_\\-]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = meta.match(QString::fromLatin1(bytes.left(2048)));
    if (match.hasMatch())
        charset = match.captured(1);
    QStringDecoder decoder(charset.toLatin1().constData());
    QString text = decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
    LoadFromString(text);
}

void HtmlView::LoadFromString(const QString& Html)
{
    setHtml(Html);
    // setHtml lays the document out synchronously.
    emit LayoutFinished();
}

QVariant HtmlView::loadResource(int type, const QUrl& name)
{
    if (type == QTextDocument::ImageResource && imageProvider_) {
        QByteArray bytes;
        if (imageProvider_(name.toString(QUrl::None), bytes)) {
            QImage image;
            if (image.loadFromData(bytes))
                return image;
        }
        return {};
    }
    if (type == QTextDocument::ImageResource)
        return {};
    // Style sheets and other documents are never fetched from elsewhere.
    return {};
}
