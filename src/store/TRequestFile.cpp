#include "store/TRequestFile.h"

#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Letter case folding of the program's single-byte character set
// (Windows-1252): ASCII letters, the accented capitals 0xC0-0xDE except the
// multiplication sign, and the four capitals that live in 0x80-0x9F.
constexpr std::array<unsigned char, 256> MakeFoldTable()
{
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] = static_cast<unsigned char>(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7)
            t[c] = static_cast<unsigned char>(c + 32);
    t[0x8A] = 0x9A; // S caron
    t[0x8C] = 0x9C; // OE
    t[0x8E] = 0x9E; // Z caron
    t[0x9F] = 0xFF; // Y diaeresis
    return t;
}

constexpr auto Fold = MakeFoldTable();

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold[static_cast<unsigned char>(a[i])] != Fold[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

std::string Folded(std::string_view s)
{
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<char>(Fold[static_cast<unsigned char>(s[i])]);
    return out;
}

// Whether Line's key (the text before its first "=") is Ident; lines without
// "=" have no key.
bool KeyIs(const std::string& Line, std::string_view Ident)
{
    if (Line.size() <= Ident.size() || Line[Ident.size()] != '=')
        return false;
    if (std::memchr(Line.data(), '=', Ident.size()))
        return false;
    return SameText(std::string_view(Line.data(), Ident.size()), Ident);
}

std::vector<std::string>::iterator FindKey(std::vector<std::string>& Lines, std::string_view Ident)
{
    for (auto it = Lines.begin(); it != Lines.end(); ++it)
        if (KeyIs(*it, Ident))
            return it;
    return Lines.end();
}

// Below this many sections a straight scan is faster than keeping an index.
constexpr std::size_t IndexThreshold = 8;

} // namespace

TRequestFile::TRequestFile(const std::string& FileName) : TCustomRequestFile(FileName)
{
    if (FileName.empty())
        return;
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) {
        // A file that is not there is simply an empty one.
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
            return;
        throw EFOpenError(StoreErrors::CannotOpenFile(FileName));
    }
    if (S_ISDIR(st.st_mode))
        throw EFOpenError(StoreErrors::CannotOpenFile(FileName));
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EFOpenError(StoreErrors::CannotOpenFile(FileName));
    std::string text;
    text.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size())
            text.resize(text.size() < 4096 ? 4096 : text.size() * 2);
        const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            throw EFOpenError(StoreErrors::CannotOpenFile(FileName));
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(used);
    SetText(text);
}

TRequestFile::TRequestFile(FromLinesTag, const std::vector<std::string>* Lines) : TCustomRequestFile("ghobe.ini")
{
    if (Lines)
        SetStrings(*Lines);
}

TRequestFile::~TRequestFile() = default;

std::unique_ptr<TRequestFile> TRequestFile::CreateFromLines(const std::vector<std::string>* Lines)
{
    return std::unique_ptr<TRequestFile>(new TRequestFile(FromLinesTag{}, Lines));
}

std::unique_ptr<TRequestFile> TRequestFile::CreateFromLines(const std::vector<std::string>& Lines)
{
    return CreateFromLines(&Lines);
}

void TRequestFile::InvalidateIndex() const
{
    IndexValid_ = false;
    Index_.clear();
}

std::size_t TRequestFile::FindSection(std::string_view Name) const
{
    if (Sections_.size() < IndexThreshold) {
        for (std::size_t i = 0; i < Sections_.size(); ++i)
            if (SameText(Sections_[i].Name, Name))
                return i;
        return std::string::npos;
    }
    if (!IndexValid_) {
        Index_.clear();
        Index_.reserve(Sections_.size());
        for (std::size_t i = 0; i < Sections_.size(); ++i)
            Index_.emplace(Folded(Sections_[i].Name), i); // the first of a name stays
        IndexValid_ = true;
    }
    const auto it = Index_.find(Folded(Name));
    return it == Index_.end() ? std::string::npos : it->second;
}

std::string TRequestFile::ReadString(const std::string& Section, const std::string& Ident,
                                     const std::string& Default) const
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return Default;
    for (const std::string& line : Sections_[s].Lines)
        if (KeyIs(line, Ident))
            return line.substr(Ident.size() + 1);
    return Default;
}

void TRequestFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    std::size_t s = FindSection(Section);
    if (s == std::string::npos) {
        Sections_.push_back(TRequestSection{Section, {}});
        s = Sections_.size() - 1;
        if (IndexValid_)
            Index_.emplace(Folded(Section), s);
    }
    std::string line;
    line.reserve(Ident.size() + 1 + Value.size());
    line.append(Ident).append(1, '=').append(Value);
    auto& lines = Sections_[s].Lines;
    const auto it = FindKey(lines, Ident);
    if (it != lines.end())
        *it = std::move(line);
    else
        lines.push_back(std::move(line));
}

void TRequestFile::ReadSection(const std::string& Section, std::vector<std::string>& Names) const
{
    Names.clear();
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    for (const std::string& line : Sections_[s].Lines) {
        const auto eq = line.find('=');
        Names.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
    }
}

void TRequestFile::ReadSections(std::vector<std::string>& Names) const
{
    Names.clear();
    for (const auto& section : Sections_)
        Names.push_back(section.Name);
}

void TRequestFile::ReadSectionValues(const std::string& Section, std::vector<std::string>& Lines) const
{
    Lines.clear();
    const std::size_t s = FindSection(Section);
    if (s != std::string::npos)
        Lines = Sections_[s].Lines;
}

void TRequestFile::EraseSection(const std::string& Section)
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    Sections_.erase(Sections_.begin() + static_cast<std::ptrdiff_t>(s));
    InvalidateIndex();
}

void TRequestFile::DeleteKey(const std::string& Section, const std::string& Ident)
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    auto& lines = Sections_[s].Lines;
    const auto it = FindKey(lines, Ident);
    if (it != lines.end())
        lines.erase(it);
}

void TRequestFile::GetStrings(std::vector<std::string>& List) const
{
    std::size_t lines = 0;
    for (const auto& section : Sections_)
        lines += section.Lines.size() + 2;
    List.reserve(List.size() + lines);
    for (const auto& section : Sections_) {
        List.push_back("[" + section.Name + "]");
        List.insert(List.end(), section.Lines.begin(), section.Lines.end());
        List.emplace_back();
    }
}

std::string TRequestFile::Text() const
{
    std::size_t size = 0;
    for (const auto& section : Sections_) {
        size += section.Name.size() + 4 + 2;
        for (const auto& line : section.Lines)
            size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const auto& section : Sections_) {
        text.append(1, '[').append(section.Name).append("]\r\n", 3);
        for (const auto& line : section.Lines)
            text.append(line).append("\r\n", 2);
        text.append("\r\n", 2);
    }
    return text;
}

void TRequestFile::Clear()
{
    Sections_.clear();
    InvalidateIndex();
}

void TRequestFile::ParseLine(std::string_view Line, std::size_t& Current)
{
    if (Line.empty() || Line.front() == ';')
        return;
    if (Line.size() >= 2 && Line.front() == '[' && Line.back() == ']') {
        Sections_.push_back(TRequestSection{std::string(Line.substr(1, Line.size() - 2)), {}});
        Current = Sections_.size() - 1;
        return;
    }
    // Lines above the first header belong to no section and are dropped.
    if (Current != std::string::npos)
        Sections_[Current].Lines.emplace_back(Line);
}

void TRequestFile::SetStrings(const std::vector<std::string>& Lines)
{
    Clear();
    std::size_t current = std::string::npos;
    for (const auto& line : Lines)
        ParseLine(line, current);
}

void TRequestFile::SetText(std::string_view Text)
{
    Clear();
    // A NUL ends the text, as it always has for these files.
    if (const void* nul = std::memchr(Text.data(), '\0', Text.size()))
        Text = Text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - Text.data()));
    std::size_t current = std::string::npos;
    const char* p = Text.data();
    const char* const end = p + Text.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n')
            ++q;
        ParseLine(std::string_view(p, static_cast<std::size_t>(q - p)), current);
        if (q < end && *q == '\r' && q + 1 < end && q[1] == '\n')
            q += 2;
        else if (q < end)
            ++q;
        p = q;
    }
}

void TRequestFile::UpdateFile()
{
    AtomicFileWriter& writer = Writer_ ? *Writer_ : AtomicFileWriter::Default();
    writer.WriteFile(FileName(), Text());
}

void TRequestFile::SetWriter(std::shared_ptr<AtomicFileWriter> Writer)
{
    Writer_ = std::move(Writer);
}
