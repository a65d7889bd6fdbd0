// The HTML display: decoding by the declared charset, named entities, link
// clicks reported with their target, images asked of the owner.
#include "ui/HtmlView.h"

#include <QBuffer>
#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// Centre of the first anchor in the view's document, in viewport pixels.
QPoint AnchorPoint(HtmlView& view, const QString& href)
{
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isAnchor() && fragment.charFormat().anchorHref() == href) {
                QTextCursor cursor(view.document());
                cursor.setPosition(fragment.position() + fragment.length() / 2);
                return view.cursorRect(cursor).center();
            }
        }
    }
    return {-1, -1};
}

} // namespace

TEST(HtmlView, DecodesTheDeclaredCharsetAndNamedEntities)
{
    HtmlView view;
    view.LoadFromString(std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                    "charset=iso-8859-1\"></head><body>Sua pr&oacute;xima tarefa: "
                                    "Requisi\xE7\xE3o</body></html>"));
    EXPECT_EQ(view.toPlainText().trimmed(), QString::fromUtf8("Sua próxima tarefa: Requisição"));
    view.LoadFromString(std::string("<html><head><meta charset=\"utf-8\"></head><body>Requisi\xC3\xA7\xC3\xA3o"
                                    "</body></html>"));
    EXPECT_EQ(view.toPlainText().trimmed(), QString::fromUtf8("Requisição"));
    // No declaration: single-byte text.
    view.LoadFromString(std::string("<p>S\xE3o</p>"));
    EXPECT_EQ(view.toPlainText().trimmed(), QString::fromUtf8("São"));
}

TEST(HtmlView, ClickingALinkReportsItsTargetAndFollowsNothing)
{
    HtmlView view;
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    int layouts = 0;
    QObject::connect(&view, &HtmlView::LayoutFinished, [&] { ++layouts; });
    view.LoadFromString(QStringLiteral("<p>Clique em <a href=\"RequestAdd\">Nova Entidade</a> agora.</p>"));
    EXPECT_EQ(layouts, 1);
    QStringList targets;
    QObject::connect(&view, &HtmlView::HotSpotClick, [&](const QString& target, bool& handled) {
        targets << target;
        handled = true;
    });
    const QPoint at = AnchorPoint(view, QStringLiteral("RequestAdd"));
    ASSERT_GE(at.x(), 0);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(targets, QStringList{QStringLiteral("RequestAdd")});
    // The view stays on its document: links are the owner's business.
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("Nova Entidade")));
    EXPECT_FALSE(view.isBackwardAvailable());
}

TEST(HtmlView, ImagesComeFromTheProviderOrNowhere)
{
    QImage red(4, 3, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "PNG");

    HtmlView view;
    QStringList asked;
    view.SetImageProvider([&](const QString& name, QByteArray& bytes) {
        asked << name;
        if (name == QLatin1String("bad.png")) {
            bytes = QByteArray("\x89PNG not really", 16);
            return true;
        }
        if (name != QLatin1String("logo.png"))
            return false;
        bytes = png;
        return true;
    });
    view.LoadFromString(QStringLiteral("<img src=\"logo.png\"><img src=\"missing.gif\"><img src=\"bad.png\">"));
    const QVariant logo = view.document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("logo.png")));
    ASSERT_TRUE(logo.canConvert<QImage>());
    EXPECT_EQ(logo.value<QImage>().size(), QSize(4, 3));
    EXPECT_TRUE(asked.contains(QStringLiteral("logo.png")));
    EXPECT_FALSE(view.document()
                     ->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("missing.gif")))
                     .canConvert<QImage>());
    EXPECT_TRUE(asked.contains(QStringLiteral("missing.gif")));
    // Bytes that are no image give no image.
    EXPECT_FALSE(
        view.document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("bad.png"))).canConvert<QImage>());
}
