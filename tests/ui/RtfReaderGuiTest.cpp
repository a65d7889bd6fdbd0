// The rich-text reader behind the agreement view.
#include "ui/RtfReader.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

namespace {

QString Text(const QByteArray& Rtf)
{
    QTextDocument doc;
    RtfReader::Read(Rtf, doc);
    // Raw text keeps no-break spaces and line separators; blocks end in "\n".
    return doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// The format of the character at the first occurrence of Needle.
QTextCharFormat FormatAt(const QTextDocument& Doc, const QString& Needle)
{
    const auto at = static_cast<int>(Doc.toPlainText().indexOf(Needle));
    EXPECT_GE(at, 0) << Needle.toStdString();
    QTextCursor c(const_cast<QTextDocument*>(&Doc));
    c.setPosition(at + 1);
    return c.charFormat();
}

TEST(RtfReader, ReadsTextEscapesAndParagraphs)
{
    const struct {
        const char* Rtf;
        const char* Text; // UTF-8
    } cases[] = {
        {R"({\rtf1\ansi Hello\par World})", "Hello\nWorld"},
        {R"({\rtf1 Conv\'eanio de Presta\'e7\'e3o \'80\'97})", "Convênio de Prestação €—"},
        {R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1;}{\info{\title T}}Body})", "Body"},
        {R"({\rtf1 a\~b\-c\_d\\\{\}})", "a\u00A0bc\u2011d\\{}"},
        {R"({\rtf1\uc1 x\u8364?y\u-3913?z})", "x€y\uF0B7z"},
        {R"({\rtf1 A{\*\unknowndest hidden}B{\unknownword C}D})", "ABCD"},
        {R"({\rtf1 one\line two\tab three})", "one\u2028two\tthree"},
        {R"({\rtf1 a\bin4 {}}}b})", "ab"},
        {R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})", "—–•‘’“”"},
        // Broken input still gives what it can.
        {R"({\rtf1 unterminated {\b group)", "unterminated group"},
        {R"({\rtf1 extra}}} closing})", "extra closing"},
        {R"({\rtf1 bad\'zz escape\'4)", "badzz escape4"},
        {R"({\rtf1 \bin99999999 gone)", ""},
        {"plain text, not RTF \xe9", "plain text, not RTF é"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rtf);
        EXPECT_EQ(Text(c.Rtf).toStdString(), c.Text);
    }
}

TEST(RtfReader, KeepsCharacterAndParagraphFormats)
{
    QTextDocument doc;
    RtfReader::Read(
        R"({\rtf1\pard\qc\fs32{\b Title}\par\pard\qj\fs20 Plain \i ital\i0  \ul under\ulnone  \b0 x\par\pard\qr Right\par})",
        doc);
    EXPECT_TRUE(FormatAt(doc, "Title").fontWeight() == QFont::Bold);
    EXPECT_EQ(FormatAt(doc, "Title").fontPointSize(), 16.0);
    EXPECT_FALSE(FormatAt(doc, "Plain").fontWeight() == QFont::Bold);
    EXPECT_EQ(FormatAt(doc, "Plain").fontPointSize(), 10.0);
    EXPECT_TRUE(FormatAt(doc, "ital").fontItalic());
    EXPECT_TRUE(FormatAt(doc, "under").fontUnderline());
    EXPECT_FALSE(FormatAt(doc, "x").fontUnderline());
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment(), Qt::AlignJustify);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().alignment(), Qt::AlignRight);
}

TEST(RtfReader, HostileNestingAndSizesStayBounded)
{
    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(100000, '{');
    deep += "\\b deep";
    deep += QByteArray(100000, '}');
    deep += " after \\fs999999999 big \\fs-4 neg}";
    QTextDocument doc;
    RtfReader::Read(deep, doc);
    EXPECT_EQ(doc.toPlainText(), "deep after big neg");
    EXPECT_EQ(FormatAt(doc, "big").fontPointSize(), 12.0);
}

TEST(RtfReader, ReadsTheShippedAgreementCompletely)
{
    QFile file(QStringLiteral(QUORVEX_APP_DIR "ConvEmpr.rtf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QTextDocument doc;
    RtfReader::Read(file.readAll(), doc);
    const QString text = doc.toPlainText();
    for (const char* part :
         {"CONVÊNIO DE PRESTAÇÃO DE SERVIÇOS", "ORVANTA", "Vinculum", "CLÁUSULA PRIMEIRA — DO OBJETO",
          "CLÁUSULA DÉCIMA — DO FORO", "Termo de Adesão", "duas vias"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;
    // Nothing of the header tables or of the control words shows.
    for (const char* absent : {"Arial", "\\", "{", "}", "Times New Roman", "fs20"})
        EXPECT_FALSE(text.contains(QString::fromUtf8(absent))) << absent;
    EXPECT_EQ(doc.firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_TRUE(FormatAt(doc, "CONVÊNIO").fontWeight() == QFont::Bold);
    EXPECT_GT(doc.blockCount(), 30);
}

} // namespace
