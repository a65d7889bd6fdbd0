#include "store/RequestFieldRules.h"

#include "base/FormatText.h"
#include "base/Texts.h"
#include "store/IdRules.h"
#include "store/LetterFolding.h"

#include <algorithm>

namespace {

constexpr char16_t KeyBackspace = 8;
constexpr char16_t KeyDelete = 127;
constexpr std::size_t CpfLength = 11;
// A note lists this many characters of each kind at most; a longer list ends
// in an ellipsis, so that the note stays on its line.
constexpr std::size_t NoteListMax = 6;

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool IsCapital(char16_t c)
{
    return c >= u'A' && c <= u'Z';
}

bool IsSmall(char16_t c)
{
    return c >= u'a' && c <= u'z';
}

char16_t Capital(char16_t c)
{
    return char16_t(c - u'a' + u'A');
}

bool IsEditingKey(char16_t c)
{
    return c == KeyBackspace || c == KeyDelete;
}

char16_t LettersKey(char16_t c)
{
    if (const char16_t plain = FoldPortugueseLetter(c))
        return plain;
    if (IsSmall(c))
        return Capital(c);
    if (IsCapital(c) || IsDigit(c) || c == u' ' || IsEditingKey(c))
        return c;
    return 0;
}

bool HoldsWords(TFieldFilter Filter)
{
    return Filter == TFieldFilter::Letters || Filter == TFieldFilter::Address;
}

void AppendUtf8(std::string& Out, char16_t c)
{
    // Every character a field takes or refuses here is a single UTF-16 unit
    // (the filters see one key at a time); a lone surrogate shows as U+FFFD.
    const char32_t code = (c >= 0xD800 && c <= 0xDFFF) ? char32_t(0xFFFD) : char32_t(c);
    if (code < 0x80) {
        Out += char(code);
    } else if (code < 0x800) {
        Out += char(0xC0 | (code >> 6));
        Out += char(0x80 | (code & 0x3F));
    } else {
        Out += char(0xE0 | (code >> 12));
        Out += char(0x80 | ((code >> 6) & 0x3F));
        Out += char(0x80 | (code & 0x3F));
    }
}

// A refused character as the note names it: the space by its name, any
// other in quotes.
void AppendShown(std::string& Out, char16_t c)
{
    if (c == u' ') {
        Out += Texts::ReqNoteSpace;
        return;
    }
    // Quoted: a lone "-" or "." would read as punctuation of the note.
    Out += "“";
    AppendUtf8(Out, c);
    Out += "”";
}

} // namespace

namespace {

// The first character that will follow the cursor once Rest is typed: the
// first one the filter takes, else the first after the cursor.
char16_t NextTaken(TFieldFilter Filter, std::u16string_view Rest, std::u16string_view After)
{
    for (char16_t c : Rest)
        if (const char16_t taken = FilterFieldKey(Filter, c))
            return taken;
    return After.empty() ? char16_t(0) : After.front();
}

} // namespace

char16_t FilterFieldKey(TFieldFilter Filter, char16_t Key)
{
    switch (Filter) {
    case TFieldFilter::Numeric: return IsDigit(Key) || IsEditingKey(Key) ? Key : char16_t(0);
    case TFieldFilter::CnpjId:
        // A CNPJ may carry plain letters A to Z; accented ones or a space are
        // no part of it.
        if (IsSmall(Key))
            return Capital(Key);
        return IsCapital(Key) || IsDigit(Key) || IsEditingKey(Key) ? Key : char16_t(0);
    case TFieldFilter::Letters: return LettersKey(Key);
    case TFieldFilter::Address: return Key >= 32 && Key <= 64 ? Key : LettersKey(Key);
    }
    return 0;
}

TFieldInput FilterFieldInput(TFieldFilter Filter, std::u16string_view Before, std::u16string_view Typed,
                             std::u16string_view After, std::size_t MaxLength)
{
    TFieldInput out;
    const std::size_t kept = Before.size() + After.size();
    const std::size_t room = MaxLength == 0 ? std::u16string::npos : (MaxLength > kept ? MaxLength - kept : 0);
    for (std::size_t i = 0; i < Typed.size(); ++i) {
        const char16_t typed = Typed[i];
        const char16_t taken = FilterFieldKey(Filter, typed);
        if (taken == 0) {
            out.Dropped += typed;
            continue;
        }
        if (taken == u' ' && HoldsWords(Filter)) {
            const char16_t left = !out.Inserted.empty() ? out.Inserted.back() : (Before.empty() ? 0 : Before.back());
            if (left == 0 || left == u' ' || NextTaken(Filter, Typed.substr(i + 1), After) == u' ')
                continue;
        }
        if (out.Inserted.size() >= room) {
            ++out.Cut;
            continue;
        }
        if (taken != typed && !(IsSmall(typed) && taken == Capital(typed)))
            out.Changed.emplace_back(typed, taken);
        out.Inserted += taken;
    }
    return out;
}

std::u16string TidySpaces(std::u16string_view Text)
{
    std::u16string out;
    for (char16_t c : Text) {
        if (c == u' ' && (out.empty() || out.back() == u' '))
            continue;
        out += c;
    }
    if (!out.empty() && out.back() == u' ')
        out.pop_back();
    return out;
}

void TFieldNote::Record(const TFieldInput& Input)
{
    for (const auto& change : Input.Changed)
        if (std::find(Changed_.begin(), Changed_.end(), change) == Changed_.end())
            Changed_.push_back(change);
    for (char16_t c : Input.Dropped)
        if (c >= 32 && Dropped_.find(c) == std::u16string::npos)
            Dropped_ += c;
    if (Input.Cut > 0)
        Full_ = true;
}

void TFieldNote::Clear()
{
    Changed_.clear();
    Dropped_.clear();
    Full_ = false;
}

std::string TFieldNote::Text(std::size_t Length) const
{
    std::vector<std::string> parts;
    if (!Changed_.empty()) {
        std::string list;
        for (std::size_t i = 0; i < Changed_.size() && i <= NoteListMax; ++i) {
            if (i > 0)
                list += ' ';
            if (i == NoteListMax) {
                list += "…";
                break;
            }
            AppendUtf8(list, Changed_[i].first);
            list += "→";
            AppendUtf8(list, Changed_[i].second);
        }
        parts.push_back(FormatText(Texts::ReqNoteChanged, {list}));
    }
    if (!Dropped_.empty()) {
        std::string list;
        for (std::size_t i = 0; i < Dropped_.size() && i <= NoteListMax; ++i) {
            if (i > 0)
                list += ' ';
            if (i == NoteListMax) {
                list += "…";
                break;
            }
            AppendShown(list, Dropped_[i]);
        }
        parts.push_back(FormatText(Texts::ReqNoteDropped, {list}));
    }
    if (MaxLength_ > 0) {
        std::string length = FormatText(Texts::ReqNoteLength, {std::to_string(Length), std::to_string(MaxLength_)});
        if (Full_ && Length >= MaxLength_)
            length += std::string(", ") + Texts::ReqNoteFull;
        parts.push_back(length);
    }
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty())
            text += " · ";
        text += part;
    }
    return text;
}

TRespProblem CheckResponsible(const std::string& Name, const std::string& Cpf,
                              const std::vector<std::string>& ListedCpfs)
{
    if (Name.find_first_not_of(' ') == std::string::npos)
        return TRespProblem::NoName;
    if (Cpf.empty())
        return TRespProblem::NoCpf;
    const std::string cpf = PadLeftZeros(Cpf, CpfLength);
    if (!IsValidCPF(cpf))
        return TRespProblem::BadCpf;
    if (std::find(ListedCpfs.begin(), ListedCpfs.end(), cpf) != ListedCpfs.end())
        return TRespProblem::Listed;
    return TRespProblem::None;
}

std::string RespProblemText(TRespProblem Problem, const std::string& Cpf)
{
    switch (Problem) {
    case TRespProblem::None: return {};
    case TRespProblem::NoName: return Texts::ReqRespNoName;
    case TRespProblem::NoCpf: return Texts::ReqRespNoCpf;
    case TRespProblem::BadCpf: return FormatText(Texts::ReqRespBadCpf, {Cpf});
    case TRespProblem::Listed: return Texts::ReqRespExists;
    }
    return {};
}
