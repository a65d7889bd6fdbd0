#include "ui/RtfReader.h"

#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Twips (1/20 point) to the document's pixels at 96 dots per inch.
qreal TwipsToPixels(int Twips)
{
    return Twips / 15.0;
}

struct GroupState {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int HalfPoints = 24; // \fs: 12 points
    Qt::Alignment Align = Qt::AlignLeft;
    int SpaceBefore = 0; // twips
    int SpaceAfter = 0;
    int LeftIndent = 0;
    int FirstIndent = 0;
    bool Skip = false;   // inside a destination whose text is not shown
    int UnicodeSkip = 1; // \ucN: fallback characters after each \uN
};

// Destinations whose content is never text of the document.
bool IsSkippedDestination(const QByteArray& Word)
{
    // clang-format off
    static const char* const names[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "themedata",
        "datastore", "latentstyles", "xmlnstbl", "listtable", "listoverridetable", "rsidtbl",
        "generator", "filetbl", "revtbl", "pgdsctbl", "mmathPr", "colorschememapping", "bkmkstart",
        "bkmkend", "annotation", "atnid", "atnauthor", "private", "nonshppict", "shp", "shpinst"};
    // clang-format on
    for (const char* name : names)
        if (Word == name)
            return true;
    return false;
}

class Builder {
public:
    explicit Builder(QTextDocument& Document) : cursor_(&Document)
    {
        stack_.push_back(GroupState());
        decoder_ = QStringDecoder("windows-1252");
    }

    void Parse(const QByteArray& Rtf);

private:
    GroupState& State() { return stack_.back(); }
    void OpenGroup();
    void CloseGroup();
    void ControlWord(const QByteArray& Word, bool HasParam, int Param);
    void AddText(const QString& Text);
    void AddByte(char Byte);
    void FlushText();
    void EndParagraph();
    QTextCharFormat CharFormat() const;
    QTextBlockFormat BlockFormat() const;

    QTextCursor cursor_;
    std::vector<GroupState> stack_;
    int flatDepth_ = 0; // groups opened beyond MaxDepth
    QString pending_;
    QTextCharFormat pendingFormat_;
    QStringDecoder decoder_;
    int fallbackToSkip_ = 0;
    bool ignorableNext_ = false; // after "\*"
    bool groupStart_ = false;    // the first word of a group may name a destination
};

QTextCharFormat Builder::CharFormat() const
{
    const GroupState& s = stack_.back();
    QTextCharFormat format;
    format.setFontWeight(s.Bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(s.Italic);
    format.setFontUnderline(s.Underline);
    format.setFontPointSize(s.HalfPoints / 2.0);
    return format;
}

QTextBlockFormat Builder::BlockFormat() const
{
    const GroupState& s = stack_.back();
    QTextBlockFormat format;
    format.setAlignment(s.Align);
    format.setTopMargin(TwipsToPixels(s.SpaceBefore));
    format.setBottomMargin(TwipsToPixels(s.SpaceAfter));
    format.setLeftMargin(TwipsToPixels(s.LeftIndent));
    format.setTextIndent(TwipsToPixels(s.FirstIndent));
    return format;
}

void Builder::FlushText()
{
    if (pending_.isEmpty())
        return;
    cursor_.insertText(pending_, pendingFormat_);
    pending_.clear();
}

void Builder::AddText(const QString& Text)
{
    if (State().Skip || Text.isEmpty())
        return;
    const QTextCharFormat format = CharFormat();
    if (!pending_.isEmpty() && format != pendingFormat_)
        FlushText();
    pendingFormat_ = format;
    pending_ += Text;
}

void Builder::AddByte(char Byte)
{
    if (fallbackToSkip_ > 0) {
        --fallbackToSkip_;
        return;
    }
    AddText(decoder_.decode(QByteArrayView(&Byte, 1)));
}

void Builder::EndParagraph()
{
    if (State().Skip)
        return;
    FlushText();
    cursor_.setBlockFormat(BlockFormat());
    cursor_.insertBlock(BlockFormat(), CharFormat());
}

void Builder::OpenGroup()
{
    if (static_cast<int>(stack_.size()) >= RtfReader::MaxDepth) {
        ++flatDepth_;
        return;
    }
    stack_.push_back(stack_.back());
    groupStart_ = true;
}

void Builder::CloseGroup()
{
    if (flatDepth_ > 0) {
        --flatDepth_;
        return;
    }
    if (stack_.size() > 1)
        stack_.pop_back();
}

void Builder::ControlWord(const QByteArray& Word, bool HasParam, int Param)
{
    const bool first = groupStart_;
    groupStart_ = false;
    const bool ignorable = ignorableNext_;
    ignorableNext_ = false;
    GroupState& s = State();

    // A destination: its whole group is skipped.
    if (IsSkippedDestination(Word) && (first || ignorable)) {
        s.Skip = true;
        return;
    }

    if (Word == "par") {
        EndParagraph();
    } else if (Word == "line") {
        AddText(QString(QChar::LineSeparator));
    } else if (Word == "tab") {
        AddText(QStringLiteral("\t"));
    } else if (Word == "pard") {
        s.Align = Qt::AlignLeft;
        s.SpaceBefore = s.SpaceAfter = s.LeftIndent = s.FirstIndent = 0;
    } else if (Word == "plain") {
        s.Bold = s.Italic = s.Underline = false;
        s.HalfPoints = 24;
    } else if (Word == "b") {
        s.Bold = !HasParam || Param != 0;
    } else if (Word == "i") {
        s.Italic = !HasParam || Param != 0;
    } else if (Word == "ul") {
        s.Underline = !HasParam || Param != 0;
    } else if (Word == "ulnone") {
        s.Underline = false;
    } else if (Word == "fs") {
        // 1 to 1638 points; anything else keeps the size.
        if (HasParam && Param >= 2 && Param <= 3276)
            s.HalfPoints = Param;
    } else if (Word == "ql") {
        s.Align = Qt::AlignLeft;
    } else if (Word == "qr") {
        s.Align = Qt::AlignRight;
    } else if (Word == "qc") {
        s.Align = Qt::AlignHCenter;
    } else if (Word == "qj") {
        s.Align = Qt::AlignJustify;
    } else if (Word == "sb") {
        s.SpaceBefore = std::clamp(Param, 0, 14400);
    } else if (Word == "sa") {
        s.SpaceAfter = std::clamp(Param, 0, 14400);
    } else if (Word == "li") {
        s.LeftIndent = std::clamp(Param, 0, 14400);
    } else if (Word == "fi") {
        s.FirstIndent = std::clamp(Param, -14400, 14400);
    } else if (Word == "uc") {
        s.UnicodeSkip = std::clamp(Param, 0, 10);
    } else if (Word == "u") {
        // A signed 16-bit value; negative ones stand for 65536 + N.
        int code = Param < 0 ? Param + 65536 : Param;
        if (code > 0 && code < 65536 && !QChar::isSurrogate(static_cast<char32_t>(code)))
            AddText(QString(QChar(static_cast<char16_t>(code))));
        fallbackToSkip_ = s.UnicodeSkip;
    } else if (Word == "emdash") {
        AddText(QString(QChar(0x2014)));
    } else if (Word == "endash") {
        AddText(QString(QChar(0x2013)));
    } else if (Word == "bullet") {
        AddText(QString(QChar(0x2022)));
    } else if (Word == "lquote") {
        AddText(QString(QChar(0x2018)));
    } else if (Word == "rquote") {
        AddText(QString(QChar(0x2019)));
    } else if (Word == "ldblquote") {
        AddText(QString(QChar(0x201C)));
    } else if (Word == "rdblquote") {
        AddText(QString(QChar(0x201D)));
    } else if (ignorable && first) {
        // "{\*\unknown ...}": a destination a reader may ignore.
        s.Skip = true;
    }
    // Any other word is ignored.
}

void Builder::Parse(const QByteArray& Rtf)
{
    const char* p = Rtf.constData();
    const char* end = p + Rtf.size();
    while (p < end) {
        const char c = *p++;
        if (c == '{') {
            FlushText();
            OpenGroup();
            continue;
        }
        if (c == '}') {
            FlushText();
            CloseGroup();
            groupStart_ = false;
            continue;
        }
        if (c == '\r' || c == '\n' || c == '\0')
            continue;
        if (c != '\\') {
            groupStart_ = false;
            AddByte(c);
            continue;
        }
        if (p >= end)
            break;
        const char d = *p;
        if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z')) {
            const char* start = p;
            while (p < end && p - start < 32 && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')))
                ++p;
            const QByteArray word(start, static_cast<int>(p - start));
            bool hasParam = false;
            bool negative = false;
            long long value = 0;
            if (p < end && *p == '-' && p + 1 < end && p[1] >= '0' && p[1] <= '9') {
                negative = true;
                ++p;
            }
            while (p < end && *p >= '0' && *p <= '9') {
                hasParam = true;
                if (value < 100000000)
                    value = value * 10 + (*p - '0');
                ++p;
            }
            if (p < end && *p == ' ')
                ++p;
            const int param = static_cast<int>(negative ? -value : value);
            if (word == "bin") {
                // Binary data of the given length follows: never text.
                FlushText();
                const long long skip = hasParam ? std::max(0ll, negative ? 0ll : value) : 0;
                p += std::min<long long>(skip, end - p);
                groupStart_ = false;
                continue;
            }
            if (fallbackToSkip_ > 0 && word != "u") {
                // A control word counts as one fallback character.
                --fallbackToSkip_;
                continue;
            }
            ControlWord(word, hasParam, param);
            continue;
        }
        ++p;
        switch (d) {
        case '\'': {
            auto hex = [](char h) {
                if (h >= '0' && h <= '9')
                    return h - '0';
                if (h >= 'a' && h <= 'f')
                    return h - 'a' + 10;
                if (h >= 'A' && h <= 'F')
                    return h - 'A' + 10;
                return -1;
            };
            groupStart_ = false;
            if (end - p >= 2 && hex(p[0]) >= 0 && hex(p[1]) >= 0) {
                AddByte(static_cast<char>(hex(p[0]) * 16 + hex(p[1])));
                p += 2;
            }
            break;
        }
        case '*': ignorableNext_ = true; break;
        case '\\':
        case '{':
        case '}':
            groupStart_ = false;
            AddByte(d);
            break;
        case '~':
            groupStart_ = false;
            AddText(QString(QChar(0x00A0)));
            break;
        case '_':
            groupStart_ = false;
            AddText(QString(QChar(0x2011)));
            break;
        case '\r':
        case '\n': EndParagraph(); break;
        default:
            // "\-" (optional hyphen) and unknown symbols.
            break;
        }
    }
    FlushText();
    cursor_.setBlockFormat(BlockFormat());
}

} // namespace

void RtfReader::Read(const QByteArray& Rtf, QTextDocument& Document)
{
    Document.clear();
    if (!Rtf.trimmed().startsWith("{\\rtf")) {
        Document.setPlainText(QStringDecoder("windows-1252").decode(Rtf));
        return;
    }
    Builder builder(Document);
    builder.Parse(Rtf);
}
