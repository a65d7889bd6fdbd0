// The help viewer over archives of test pages: the error pages, the history
// and the buttons, links and jumps, pictures from the archive, the window.
#include "help/TFrmHelp.h"
#include "help/THelp.h"
#include "support/ZipMaker.h"
#include "ui/HtmlView.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <memory>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace testsupport;

namespace {

std::string Page(const std::string& Title, const std::string& Body)
{
    return "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=ISO-8859-1\">"
           "<title>"
           + Title + "</title></head><body><p>" + Title + "</p>" + Body + "</body></html>";
}

std::string Png(int Width, int Height)
{
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// A PNG that only declares its size (20000 x 20000): what a hostile archive
// would offer to make the viewer decode gigabytes.
std::string HugePngHeader()
{
    std::string ihdr("IHDR\0\0\x4E\x20\0\0\x4E\x20\x08\x06\0\0\0", 17);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), uInt(ihdr.size()));
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0D", 12);
    png += ihdr;
    for (int shift = 24; shift >= 0; shift -= 8)
        png += char((crc >> shift) & 0xFF);
    return png;
}

std::string LongPage()
{
    std::string body = "<a href=\"#end\">ao fim</a>";
    for (int i = 0; i < 200; ++i)
        body += "<p>linha " + std::to_string(i) + "</p>";
    body += "<p><a name=\"end\"></a>Fim da p\xE1gina</p>";
    return Page("Longa", body);
}

// A help archive of small pages in a temporary folder.
class Archive {
public:
    Archive()
    {
        EXPECT_TRUE(tmp_.isValid());
        EXPECT_TRUE(WriteZip(Path(), {{"index.htm", Page("Indice", "<a href=\"a.htm\">A</a>")},
                                      {"a.htm", Page("Pagina A", "<a href=\"long.htm#end\">fim</a>")},
                                      {"b.htm", Page("Pagina B", "")},
                                      {"c.htm", Page("Pagina C", "")},
                                      {"d.htm", Page("Pagina D", "")},
                                      {"long.htm", LongPage()},
                                      {"pic.htm", Page("Figura", "<img src=\"pic.png\"><img src=\"none.png\">")},
                                      {"pic.png", Png(7, 5)},
                                      {"huge.htm", Page("Grande", "<img src=\"huge.png\"><img src=\"pic.png\">")},
                                      {"huge.png", HugePngHeader()}}));
    }
    std::string Path() const { return tmp_.path().toStdString() + "/HELP.DAT"; }
    std::string Folder() const { return tmp_.path().toStdString() + "/"; }

private:
    QTemporaryDir tmp_;
};

QString Shown(THelp& help)
{
    return help.Form()->HTMLView->toPlainText();
}

void Click(QWidget* panel)
{
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(20, 10));
}

bool Same(const QLabel* label, const QPixmap& pixmap)
{
    return label->pixmap().cacheKey() == pixmap.cacheKey();
}

} // namespace

TEST(HelpErrorPage, IsTheTwelveLinesWithBothTextsEscaped)
{
    const QStringList lines =
        THelp::ErrorPage(QStringLiteral("documento"), QStringLiteral("a<b>&\"%s.htm")).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], QStringLiteral("<html>"));
    EXPECT_EQ(lines[2], QStringLiteral("<meta http-equiv=\"content-type\" content=\"text/html; charset=ISO-8859-1\">"));
    EXPECT_EQ(lines[3], QStringLiteral("<title>Documento n&amp;atilde;o encontrado</title>"));
    EXPECT_EQ(lines[7], QStringLiteral("<b><big>Erro ocorrido no dispositivo de Ajuda HTML:</big></b><br>"));
    EXPECT_EQ(lines[8], QStringLiteral("O documento de ajuda a&lt;b&gt;&amp;&quot;%s.htm n&atilde;o foi localizado. "
                                       "&Eacute; poss&iacute;vel "));
    EXPECT_EQ(lines[9],
              QStringLiteral("que a aplica&ccedil;&atilde;o n&atilde;o esteja funcionando apropriadamente.<br>"));
    EXPECT_EQ(lines[11], QStringLiteral("</html>"));
}

TEST(HelpViewer, WithoutAnArchiveEveryTopicNamesTheArchivePath)
{
    Archive archive;
    // A folder name that would be markup if it were not escaped, and a file
    // that is there but is no archive.
    const std::string odd = archive.Folder() + "<b>x&y/HELP.DAT";
    const std::string junk = archive.Folder() + "junk.DAT";
    WriteWhole(junk, "<html>not a zip</html>");
    for (const std::string& path : {odd, junk}) {
        THelp help;
        EXPECT_TRUE(help.ArchiveMissing());
        help.SetFileName(path);
        EXPECT_TRUE(help.ArchiveMissing());
        for (const char* topic : {"index.htm", "pwd.htm"}) {
            help.SetCurrentTopic(QString::fromLatin1(topic));
            EXPECT_EQ(help.CurrentTopic(), QString::fromLatin1(topic));
            EXPECT_TRUE(Shown(help).contains(QStringLiteral("O arquivo de ajuda ") + QString::fromStdString(path)
                                             + QStringLiteral(" não foi localizado.")))
                << Shown(help).toStdString();
        }
        EXPECT_TRUE(help.Form()->History.isEmpty());
        EXPECT_FALSE(help.Form()->BackEnabled());
        EXPECT_FALSE(help.Form()->ForwardEnabled());
    }
}

TEST(HelpViewer, AMissingTopicNamesTheDocumentAndARealOneIsShown)
{
    Archive archive;
    THelp help;
    help.SetFileName(archive.Path());
    EXPECT_FALSE(help.ArchiveMissing());
    help.SetCurrentTopic(QStringLiteral("a.htm"));
    EXPECT_TRUE(Shown(help).startsWith(QStringLiteral("Pagina A")));
    help.SetCurrentTopic(QStringLiteral("nada<i>.htm"));
    EXPECT_TRUE(Shown(help).contains(QStringLiteral("O documento de ajuda nada<i>.htm não foi localizado.")))
        << Shown(help).toStdString();
    EXPECT_EQ(help.Form()->CurrentPage, QStringLiteral("nada<i>.htm"));
    // DisplayTopic shows without changing the topic asked for.
    help.DisplayTopic(QStringLiteral("b.htm"));
    EXPECT_TRUE(Shown(help).startsWith(QStringLiteral("Pagina B")));
    EXPECT_EQ(help.CurrentTopic(), QStringLiteral("nada<i>.htm"));
}

// Each step: "X" shows page X through CurrentTopic, "<" and ">" click back
// and forward, "@X" follows a link to X, "T" clicks the contents button.
TEST(HelpViewer, HistoryKeepsEachPageOnceAndNeverCutsForwardEntries)
{
    struct Case {
        const char* label;
        std::vector<std::string> steps;
        QStringList history;
        int index;
        const char* shown; // first words of the page on screen
    } cases[] = {
        {"back then a link", {"a", "b", "c", "<", "@d"}, {"a.htm", "b.htm", "c.htm", "d.htm"}, 3, "Pagina D"},
        {"a page shown again", {"a", "b", "a"}, {"a.htm", "b.htm"}, 0, "Pagina A"},
        {"back twice, forward once", {"a", "b", "c", "<", "<", ">"}, {"a.htm", "b.htm", "c.htm"}, 1, "Pagina B"},
        {"disabled buttons do nothing", {"a", "<", "<", ">"}, {"a.htm"}, 0, "Pagina A"},
        {"contents", {"a", "T"}, {"a.htm", "index.htm"}, 1, "Indice"},
        {"forward after contents", {"a", "b", "<", "T", "<", "<", ">"}, {"a.htm", "b.htm", "index.htm"}, 1, "Pagina B"},
    };
    Archive archive;
    for (const Case& c : cases) {
        THelp help;
        help.SetFileName(archive.Path());
        help.SetContents(QStringLiteral("index.htm"));
        TFrmHelp& form = *help.Form();
        for (const std::string& step : c.steps) {
            if (step == "<")
                Click(form.BackButton);
            else if (step == ">")
                Click(form.ForwardButton);
            else if (step == "T")
                Click(form.TopicButton);
            else if (step[0] == '@')
                emit form.HTMLView->anchorClicked(QUrl(QString::fromStdString(step.substr(1) + ".htm")));
            else
                help.SetCurrentTopic(QString::fromStdString(step + ".htm"));
        }
        EXPECT_EQ(form.History, c.history) << c.label;
        EXPECT_EQ(form.HistoryIndex, c.index) << c.label;
        EXPECT_TRUE(Shown(help).startsWith(QLatin1String(c.shown))) << c.label << ": " << Shown(help).toStdString();
        const bool back = c.index > 0;
        const bool forward = c.index < c.history.size() - 1;
        EXPECT_EQ(form.BackEnabled(), back) << c.label;
        EXPECT_EQ(form.ForwardEnabled(), forward) << c.label;
        EXPECT_TRUE(Same(form.BackImage, form.Images[back ? 0 : 1])) << c.label;
        EXPECT_TRUE(Same(form.ForwardImage, form.Images[forward ? 2 : 3])) << c.label;
    }
}

TEST(HelpViewer, AJumpInsideThePageChangesNeitherHistoryNorPage)
{
    Archive archive;
    THelp help;
    help.SetFileName(archive.Path());
    TFrmHelp& form = *help.Form();
    form.resize(400, 300);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    help.SetCurrentTopic(QStringLiteral("a.htm"));
    help.SetCurrentTopic(QStringLiteral("long.htm"));
    QScrollBar* bar = form.HTMLView->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    emit form.HTMLView->anchorClicked(QUrl(QStringLiteral("#end")));
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(form.History, (QStringList{"a.htm", "long.htm"}));
    EXPECT_EQ(form.HistoryIndex, 1);
    EXPECT_EQ(form.CurrentPage, QStringLiteral("long.htm"));
    EXPECT_EQ(help.CurrentTopic(), QStringLiteral("long.htm"));

    // A link to a place in another page shows that page there, and the page
    // (not the place) enters the history.
    help.SetCurrentTopic(QStringLiteral("a.htm"));
    ASSERT_EQ(bar->value(), 0);
    emit form.HTMLView->anchorClicked(QUrl(QStringLiteral("long.htm#end")));
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(form.History, (QStringList{"a.htm", "long.htm"}));
    EXPECT_EQ(form.HistoryIndex, 1);
}

TEST(HelpViewer, PicturesComeFromTheArchive)
{
    Archive archive;
    THelp help;
    help.SetFileName(archive.Path());
    help.SetCurrentTopic(QStringLiteral("pic.htm"));
    QTextDocument* document = help.Form()->HTMLView->document();
    const QVariant picture = document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png")));
    ASSERT_EQ(picture.typeId(), QMetaType::QImage);
    EXPECT_EQ(picture.value<QImage>().size(), QSize(7, 5));
    EXPECT_FALSE(document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("none.png"))).isValid());

    // A picture that would take more memory than a page may have is left
    // out before it is decoded; the page's other pictures still show.
    help.SetCurrentTopic(QStringLiteral("huge.htm"));
    document = help.Form()->HTMLView->document();
    EXPECT_FALSE(document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("huge.png"))).isValid());
    EXPECT_EQ(document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png"))).typeId(),
              QMetaType::QImage);
}

TEST(HelpWindow, ButtonsCaptionsAndClosing)
{
    Archive archive;
    THelp help;
    help.SetFileName(archive.Path());
    TFrmHelp& form = *help.Form();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Ajuda"));
    const QString blanks(13, QLatin1Char(' '));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("TopicButtonCaption"))->text(),
              blanks + QStringLiteral("Tópicos"));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("BackButtonCaption"))->text(), blanks + QStringLiteral("Voltar"));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("ForwardButtonCaption"))->text(),
              blanks + QStringLiteral("Avançar"));
    // Nothing shown yet: back and forward both off, in the shadow colour.
    EXPECT_FALSE(form.BackEnabled());
    EXPECT_FALSE(form.ForwardEnabled());
    EXPECT_TRUE(Same(form.BackImage, form.Images[1]));
    EXPECT_TRUE(Same(form.ForwardImage, form.Images[3]));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("BackButtonCaption"))->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Dark));

    // A press lowers the panel's bevel, the release takes it away.
    QTest::mousePress(form.TopicButton, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.TopicButton->frameShape(), QFrame::Panel);
    EXPECT_EQ(form.TopicButton->frameShadow(), QFrame::Sunken);
    QTest::mouseRelease(form.TopicButton, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.TopicButton->frameShape(), QFrame::NoFrame);

    help.SetWidth(500);
    help.SetHeight(350);
    EXPECT_EQ(help.Width(), 500);
    EXPECT_EQ(help.Height(), 350);
    help.SetTopMost(true);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);

    help.SetCurrentTopic(QStringLiteral("a.htm"));
    help.SetCurrentTopic(QStringLiteral("b.htm"));
    help.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(help.Visible());
    // Closing only hides: the window keeps its history, and never holds the
    // program open once the main window has gone.
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(help.Visible());
    EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
    help.Show();
    EXPECT_EQ(form.History, (QStringList{"a.htm", "b.htm"}));
    help.SetVisible(false);
    EXPECT_FALSE(help.Visible());
}

// Whether the help window was closed or already open (from the main
// window) when the dialog opened.
TEST(HelpWindow, HelpOpenedFromAModalDialogTakesClicks)
{
    for (const bool openBefore : {false, true}) {
        SCOPED_TRACE(openBefore ? "open before the dialog" : "closed before the dialog");
        Archive archive;
        THelp help;
        help.SetFileName(archive.Path());
        help.SetContents(QStringLiteral("index.htm"));
        if (openBefore) {
            help.SetCurrentTopic(QStringLiteral("b.htm"));
            help.Show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(help.Form()));
        }
        auto dialog = std::make_unique<QDialog>();
        bool clicked = false;
        QTimer::singleShot(0, dialog.get(), [&] {
            help.SetCurrentTopic(QStringLiteral("a.htm"));
            help.Show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(help.Form()));
            // Through the window system, where a window blocked by a modal
            // dialog loses its clicks.
            TFrmHelp* form = help.Form();
            const QPoint at = form->TopicButton->mapTo(form, QPoint(20, 10));
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at);
            clicked = help.CurrentTopic() == QStringLiteral("index.htm");
            dialog->reject();
        });
        dialog->exec();
        EXPECT_TRUE(clicked);
        // The dialog goes (as the password dialog does after each use); the help
        // window stays open and takes clicks as an ordinary window again.
        dialog.reset();
        QTest::qWait(20);
        TFrmHelp* form = help.Form();
        ASSERT_TRUE(help.Visible());
        EXPECT_EQ(form->windowHandle()->transientParent(), nullptr);
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, form->BackButton->mapTo(form, QPoint(20, 10)));
        EXPECT_EQ(form->CurrentPage, QStringLiteral("a.htm"));
        help.SetVisible(false);
    }
}

// The first showing puts the window beside the one that asked for help:
// right of it, else left of it, else against the screen's right edge.
TEST(HelpWindow, OpensBesideTheWindowThatAsked)
{
    const QRect screen(0, 0, 1000, 700);
    const QSize size(400, 300);
    EXPECT_EQ(THelp::BesidePlace(QRect(10, 20, 500, 400), size, screen), QPoint(510, 20));
    EXPECT_EQ(THelp::BesidePlace(QRect(450, 20, 500, 400), size, screen), QPoint(50, 20));
    EXPECT_EQ(THelp::BesidePlace(QRect(100, 500, 800, 150), size, screen), QPoint(600, 400));

    Archive archive;
    THelp help;
    help.SetFileName(archive.Path());
    help.SetWidth(300);
    help.SetHeight(200);
    QWidget main;
    main.setGeometry(0, 0, 300, 200);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QApplication::setActiveWindow(&main);
    help.SetCurrentTopic(QStringLiteral("a.htm"));
    help.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help.Form()));
    const QRect shown = help.Form()->frameGeometry();
    EXPECT_FALSE(shown.intersects(main.frameGeometry()))
        << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
    // Moved by the user, it stays where it was put.
    help.Form()->move(5, 5);
    help.Show();
    EXPECT_EQ(help.Form()->pos(), QPoint(5, 5));

    // The buttons are reached with Tab and pressed with Space or Enter.
    help.SetContents(QStringLiteral("index.htm"));
    help.Form()->TopicButton->setFocus();
    QTest::keyClick(help.Form()->TopicButton, Qt::Key_Space);
    EXPECT_EQ(help.CurrentTopic(), QStringLiteral("index.htm"));
    EXPECT_EQ(help.Form()->TopicButton->focusPolicy(), Qt::TabFocus);
    QTest::keyClick(help.Form()->BackButton, Qt::Key_Return);
    EXPECT_EQ(help.Form()->CurrentPage, QStringLiteral("a.htm"));
    // Escape closes it, from the page as from a button.
    help.Form()->HTMLView->setFocus();
    QTest::keyClick(help.Form()->HTMLView, Qt::Key_Escape);
    EXPECT_FALSE(help.Visible());
    help.Show();
    QTest::keyClick(help.Form()->TopicButton, Qt::Key_Escape);
    EXPECT_FALSE(help.Visible());
}

// The pages as built, in the window: the contents and "how to" show their
// text and their pictures. With QUORVEX_SCREENSHOT_DIR set (scripts/
// screenshot-help runs this under a virtual X screen) a PNG of each is saved.
TEST(HelpScreens, TheBuiltPagesShowWithTheirPictures)
{
    THelp help;
    help.SetFileName(QUORVEX_APP_DIR "HELP.DAT");
    help.SetContents(QStringLiteral("index.htm"));
    ASSERT_FALSE(help.ArchiveMissing());
    help.SetWidth(720);
    help.SetHeight(560);
    help.Form()->move(0, 0);
    help.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help.Form()));

    struct Screen {
        const char* topic;
        const char* heading;
        const char* picture;
        const char* file;
    } screens[] = {
        {"index.htm", "Cliente de Certificação Quorvex", "main.png", "help-1-index.png"},
        {"how.htm", "Como fazer para...", "main-received.png", "help-2-how.png"},
        {"backup.htm", "Cópia de segurança", nullptr, "help-3-backup.png"},
        {"media.htm", "Mídia Removível", nullptr, "help-4-media.png"},
    };
    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    for (const Screen& s : screens) {
        help.SetCurrentTopic(QString::fromLatin1(s.topic));
        EXPECT_EQ(help.Form()->BackEnabled(), std::string(s.topic) != "index.htm");
        const QString text = help.Form()->HTMLView->toPlainText();
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(s.heading))) << text.left(80).toStdString();
        if (s.picture) {
            const QVariant picture = help.Form()->HTMLView->document()->resource(QTextDocument::ImageResource,
                                                                                 QUrl(QString::fromLatin1(s.picture)));
            EXPECT_EQ(picture.typeId(), QMetaType::QImage) << s.picture;
        }
        QTest::qWait(50);
        if (!outDir.isEmpty()) {
            QWidget* form = help.Form();
            const QRect area = form->frameGeometry();
            const QPixmap shot = form->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            ASSERT_FALSE(shot.isNull());
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + QLatin1Char('/') + QLatin1String(s.file)));
        }
    }
    help.SetVisible(false);
}
