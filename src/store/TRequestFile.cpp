#include "store/TRequestFile.h"

#include "base/BoundedFileReader.h"
#include "base/LetterCase.h"
#include "store/AtomicFileWriter.h"
#include "store/BatchFileWriter.h"
#include "store/StoreErrors.h"
#include "base/Texts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <sys/stat.h>

namespace {

using LetterCase::Fold;
using LetterCase::SameText;

std::string Folded(std::string_view s)
{
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<char>(Fold[static_cast<unsigned char>(s[i])]);
    return out;
}

// Whether Line's key (the text before its first "=") is Ident; lines without
// "=" have no key.
bool KeyIs(std::string_view Line, std::string_view Ident)
{
    if (Line.size() <= Ident.size() || Line[Ident.size()] != '=')
        return false;
    if (std::memchr(Line.data(), '=', Ident.size()))
        return false;
    return SameText(Line.substr(0, Ident.size()), Ident);
}

// Below this many sections a straight scan is faster than keeping an index.
constexpr std::size_t IndexThreshold = 8;

constexpr std::size_t ChunkSize = 64 * 1024;

} // namespace

TRequestFile::TRequestFile(const std::string& FileName) : TCustomRequestFile(FileName)
{
    if (FileName.empty())
        return;
    // Read straight into the arena: the loaded lines point into this buffer.
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    // Taken before the file is opened: see FileIdentity::SettledBefore.
    struct timespec opened {};
    ::clock_gettime(CLOCK_REALTIME, &opened);
    const BoundedFileReader::Result read = BoundedFileReader::Read(FileName, MaxDataFileSize, buffer, used);
    switch (read.Outcome) {
    case BoundedFileReader::Status::Read: break;
    case BoundedFileReader::Status::Missing:
        // A file that is not there is simply an empty one.
        return;
    case BoundedFileReader::Status::TooLarge:
        throw EFOpenError(std::string(Texts::DataFileTooLarge1) + FileName + Texts::DataFileTooLarge2
                          + std::to_string(MaxDataFileSize >> 20) + Texts::DataFileTooLarge3);
    default: throw EFOpenError(FileErrors::CannotOpenFile(FileName));
    }
    const char* text = buffer.get();
    AdoptChunk(std::move(buffer), used);
    StoppedEarly_ = ParseText(std::string_view(text, used));
    Loaded_ = std::string_view(text, used);
    LoadedFrom_ = read.Identity;
    LoadedIntact_ = !StoppedEarly_ && read.Identity.SettledBefore(opened);
    // The only copy of what the reading left out: kept until the first save
    // has set it aside.
    if (StoppedEarly_)
        DamagedOriginal_.assign(text, used);
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

// ---- arena ------------------------------------------------------------------

std::string_view TRequestFile::Keep(std::string_view Bytes)
{
    if (Bytes.empty())
        return {};
    if (Chunks_.empty() || ChunkCapacity_ - ChunkUsed_ < Bytes.size()) {
        // Chunks grow with use, so that the many small files stay small.
        const std::size_t grown = std::min(ChunkSize, std::max<std::size_t>(1024, 2 * ChunkCapacity_));
        const std::size_t size = std::max(grown, Bytes.size());
        Chunks_.emplace_back(new char[size]);
        ChunkCapacity_ = size;
        ChunkUsed_ = 0;
    }
    char* at = Chunks_.back().get() + ChunkUsed_;
    std::memcpy(at, Bytes.data(), Bytes.size());
    ChunkUsed_ += Bytes.size();
    ArenaBytes_ += Bytes.size();
    return std::string_view(at, Bytes.size());
}

void TRequestFile::AdoptChunk(std::unique_ptr<char[]> Chunk, std::size_t Size)
{
    // Put it before the current chunk so that the current one keeps filling.
    if (Chunks_.empty()) {
        Chunks_.push_back(std::move(Chunk));
        ChunkCapacity_ = Size;
        ChunkUsed_ = Size;
    } else {
        Chunks_.insert(Chunks_.end() - 1, std::move(Chunk));
    }
    ArenaBytes_ += Size;
}

void TRequestFile::CompactIfWasteful()
{
    // Rewritten values leave their old bytes behind; copy the live ones out
    // once the dead ones dominate.
    if (ArenaBytes_ <= 2 * LiveBytes_ + 4 * ChunkSize)
        return;
    std::vector<std::unique_ptr<char[]>> old;
    old.swap(Chunks_);
    LoadedIntact_ = false; // the loaded bytes go with the old chunks
    Loaded_ = {};
    Spans_.clear();
    ChunkUsed_ = ChunkCapacity_ = ArenaBytes_ = 0;
    for (auto& section : Sections_)
        section.Name = Keep(section.Name);
    for (auto& line : Lines_)
        line = Keep(line);
    InvalidateIndex();
}

// ---- lookups ----------------------------------------------------------------

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

std::size_t TRequestFile::FindKey(std::size_t S, std::string_view Ident) const
{
    const SectionRef& section = Sections_[S];
    for (std::size_t i = section.First; i < section.First + section.Count; ++i)
        if (KeyIs(Lines_[i], Ident))
            return i;
    return std::string::npos;
}

void TRequestFile::ShiftAfter(std::size_t S, std::ptrdiff_t By)
{
    for (std::size_t i = S + 1; i < Sections_.size(); ++i)
        Sections_[i].First = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(Sections_[i].First) + By);
}

std::vector<TRequestSection> TRequestFile::Sections() const
{
    std::vector<TRequestSection> out;
    out.reserve(Sections_.size());
    for (const auto& section : Sections_) {
        TRequestSection copy{std::string(section.Name), {}};
        copy.Lines.assign(Lines_.begin() + static_cast<std::ptrdiff_t>(section.First),
                          Lines_.begin() + static_cast<std::ptrdiff_t>(section.First + section.Count));
        out.push_back(std::move(copy));
    }
    return out;
}

std::string TRequestFile::ReadString(const std::string& Section, const std::string& Ident,
                                     const std::string& Default) const
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return Default;
    const std::size_t at = FindKey(s, Ident);
    if (at == std::string::npos)
        return Default;
    return std::string(Lines_[at].substr(Ident.size() + 1));
}

void TRequestFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    std::size_t s = FindSection(Section);
    if (s == std::string::npos) {
        const std::string_view name = Keep(Section);
        Sections_.push_back(SectionRef{name, Lines_.size(), 0});
        if (!Spans_.empty())
            Spans_.emplace_back();
        LiveBytes_ += name.size();
        s = Sections_.size() - 1;
        if (IndexValid_)
            Index_.emplace(Folded(Section), s);
    }
    DropSpan(s);
    std::string line;
    line.reserve(Ident.size() + 1 + Value.size());
    line.append(Ident).append(1, '=').append(Value);
    const std::string_view kept = Keep(line);
    LiveBytes_ += kept.size();
    const std::size_t at = FindKey(s, Ident);
    if (at != std::string::npos) {
        // Writing the value a key already has leaves the image as it was.
        Edited_ = Edited_ || Lines_[at] != kept;
        LiveBytes_ -= Lines_[at].size();
        Lines_[at] = kept;
    } else {
        Edited_ = true;
        SectionRef& section = Sections_[s];
        Lines_.insert(Lines_.begin() + static_cast<std::ptrdiff_t>(section.First + section.Count), kept);
        ++section.Count;
        ShiftAfter(s, 1);
    }
    CompactIfWasteful();
}

void TRequestFile::ReadSection(const std::string& Section, std::vector<std::string>& Names) const
{
    Names.clear();
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    const SectionRef& section = Sections_[s];
    for (std::size_t i = section.First; i < section.First + section.Count; ++i) {
        const std::string_view line = Lines_[i];
        const auto eq = line.find('=');
        Names.emplace_back(eq == std::string_view::npos ? std::string_view() : line.substr(0, eq));
    }
}

void TRequestFile::ReadSections(std::vector<std::string>& Names) const
{
    Names.clear();
    Names.reserve(Sections_.size());
    for (const auto& section : Sections_)
        Names.emplace_back(section.Name);
}

void TRequestFile::ReadSectionValues(const std::string& Section, std::vector<std::string>& Lines) const
{
    Lines.clear();
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    const SectionRef& section = Sections_[s];
    Lines.assign(Lines_.begin() + static_cast<std::ptrdiff_t>(section.First),
                 Lines_.begin() + static_cast<std::ptrdiff_t>(section.First + section.Count));
}

void TRequestFile::EraseSection(const std::string& Section)
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    const SectionRef section = Sections_[s];
    Edited_ = true;
    LiveBytes_ -= section.Name.size();
    for (std::size_t i = section.First; i < section.First + section.Count; ++i)
        LiveBytes_ -= Lines_[i].size();
    Lines_.erase(Lines_.begin() + static_cast<std::ptrdiff_t>(section.First),
                 Lines_.begin() + static_cast<std::ptrdiff_t>(section.First + section.Count));
    ShiftAfter(s, -static_cast<std::ptrdiff_t>(section.Count));
    Sections_.erase(Sections_.begin() + static_cast<std::ptrdiff_t>(s));
    if (!Spans_.empty())
        Spans_.erase(Spans_.begin() + static_cast<std::ptrdiff_t>(s));
    InvalidateIndex();
    CompactIfWasteful();
}

void TRequestFile::DeleteKey(const std::string& Section, const std::string& Ident)
{
    const std::size_t s = FindSection(Section);
    if (s == std::string::npos)
        return;
    const std::size_t at = FindKey(s, Ident);
    if (at == std::string::npos)
        return;
    Edited_ = true;
    LiveBytes_ -= Lines_[at].size();
    Lines_.erase(Lines_.begin() + static_cast<std::ptrdiff_t>(at));
    --Sections_[s].Count;
    ShiftAfter(s, -1);
    DropSpan(s);
    CompactIfWasteful();
}

// ---- rendering --------------------------------------------------------------

namespace {

// Room for the image a save writes, kept from save to save on the thread:
// a save then neither asks for fresh memory nor zero-fills bytes it is about
// to overwrite. Taken while in use, so that a save made from within another
// (a writer that saves a second file) gets room of its own; room grown for
// an unusually large file is let go afterwards.
class ImageBuffer {
public:
    explicit ImageBuffer(std::size_t Size) : Bytes_(std::move(Spare)), Capacity_(SpareCapacity), Size_(Size)
    {
        SpareCapacity = 0;
        if (!Bytes_ || Capacity_ < Size) {
            Bytes_.reset(new char[std::max<std::size_t>(Size, 1)]);
            Capacity_ = Size;
        }
    }
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer()
    {
        if (Capacity_ <= KeptAtMost && Capacity_ >= SpareCapacity) {
            Spare = std::move(Bytes_);
            SpareCapacity = Capacity_;
        }
    }

    char* Data() { return Bytes_.get(); }
    std::string_view View() const { return {Bytes_.get(), Size_}; }

private:
    static constexpr std::size_t KeptAtMost = 4u << 20;
    static thread_local std::unique_ptr<char[]> Spare;
    static thread_local std::size_t SpareCapacity;

    std::unique_ptr<char[]> Bytes_;
    std::size_t Capacity_;
    std::size_t Size_;
};

thread_local std::unique_ptr<char[]> ImageBuffer::Spare;
thread_local std::size_t ImageBuffer::SpareCapacity = 0;

} // namespace

std::string TRequestFile::OneLineValue(std::string_view Text)
{
    std::string line;
    line.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
            continue;
        line += c == '\r' || c == '\n' || c == '\0' ? ' ' : c;
    }
    return line;
}

void TRequestFile::GetStrings(std::vector<std::string>& List) const
{
    List.reserve(List.size() + Lines_.size() + 2 * Sections_.size());
    for (const auto& section : Sections_) {
        std::string header;
        header.reserve(section.Name.size() + 2);
        header.append(1, '[').append(section.Name).append(1, ']');
        List.push_back(std::move(header));
        for (std::size_t i = section.First; i < section.First + section.Count; ++i)
            List.emplace_back(Lines_[i]);
        List.emplace_back();
    }
}

std::string_view TRequestFile::VerbatimSpan(const SectionRef& Section) const
{
    // Every byte looked at is first proved to lie within Loaded_; the views
    // are compared by address, so a match means the very bytes are there.
    const char* const first = Loaded_.data();
    const char* const last = first + Loaded_.size();
    const std::less<const char*> before;
    const char* const name = Section.Name.data();
    if (Loaded_.empty() || !name || !before(first, name) || before(last, name) || name[-1] != '[')
        return {};
    // Whether the bytes from At (within Loaded_) are Bytes.
    auto holds = [last](const char* At, std::string_view Bytes) {
        return static_cast<std::size_t>(last - At) >= Bytes.size() && std::memcmp(At, Bytes.data(), Bytes.size()) == 0;
    };
    if (static_cast<std::size_t>(last - name) < Section.Name.size() || !holds(name + Section.Name.size(), "]\r\n"))
        return {};
    const char* at = name + Section.Name.size() + 3;
    for (std::size_t i = Section.First; i < Section.First + Section.Count; ++i) {
        const std::string_view line = Lines_[i];
        if (line.data() != at || static_cast<std::size_t>(last - at) < line.size() || !holds(at + line.size(), "\r\n"))
            return {};
        at += line.size() + 2;
    }
    if (!holds(at, "\r\n"))
        return {};
    return std::string_view(name - 1, static_cast<std::size_t>(at + 2 - (name - 1)));
}

const std::vector<std::string_view>& TRequestFile::Spans() const
{
    if (Spans_.size() != Sections_.size()) {
        Spans_.resize(Sections_.size());
        for (std::size_t i = 0; i < Sections_.size(); ++i)
            Spans_[i] = VerbatimSpan(Sections_[i]);
    }
    return Spans_;
}

void TRequestFile::DropSpan(std::size_t S)
{
    if (S < Spans_.size())
        Spans_[S] = {};
}

std::size_t TRequestFile::ImageSize() const
{
    const std::vector<std::string_view>& spans = Spans();
    std::size_t size = 0;
    for (std::size_t s = 0; s < Sections_.size(); ++s) {
        if (!spans[s].empty()) {
            size += spans[s].size();
            continue;
        }
        const SectionRef& section = Sections_[s];
        size += section.Name.size() + 6;
        for (std::size_t i = section.First; i < section.First + section.Count; ++i)
            size += Lines_[i].size() + 2;
    }
    return size;
}

void TRequestFile::RenderInto(char* Out) const
{
    char* out = Out;
    // Line ends are stored byte by byte, and short pieces (most lines of the
    // registry) copied inline as two overlapping fixed-size moves: a library
    // call per piece cost as much as the copying itself.
    auto put = [&out](std::string_view bytes) {
        const char* from = bytes.data();
        const std::size_t n = bytes.size();
        if (n >= 16 && n <= 32) {
            std::memcpy(out, from, 16);
            std::memcpy(out + n - 16, from + n - 16, 16);
        } else if (n >= 8 && n < 16) {
            std::memcpy(out, from, 8);
            std::memcpy(out + n - 8, from + n - 8, 8);
        } else if (n > 0) {
            std::memcpy(out, from, n);
        }
        out += n;
    };
    auto end = [&out] {
        out[0] = '\r';
        out[1] = '\n';
        out += 2;
    };
    // Spans that follow each other in the loaded text are copied as one.
    const std::vector<std::string_view>& spans = Spans();
    const char* run = nullptr;
    std::size_t runSize = 0;
    auto flush = [&] {
        if (runSize)
            std::memcpy(out, run, runSize);
        out += runSize;
        runSize = 0;
    };
    for (std::size_t s = 0; s < Sections_.size(); ++s) {
        if (!spans[s].empty()) {
            if (runSize && spans[s].data() == run + runSize) {
                runSize += spans[s].size();
            } else {
                flush();
                run = spans[s].data();
                runSize = spans[s].size();
            }
            continue;
        }
        flush();
        const SectionRef& section = Sections_[s];
        *out++ = '[';
        put(section.Name);
        *out++ = ']';
        end();
        for (std::size_t i = section.First; i < section.First + section.Count; ++i) {
            put(Lines_[i]);
            end();
        }
        end();
    }
    flush();
}

std::string TRequestFile::Text() const
{
    std::string text(ImageSize(), '\0');
    RenderInto(text.data());
    return text;
}

// ---- parsing ----------------------------------------------------------------

void TRequestFile::Clear()
{
    Sections_.clear();
    Lines_.clear();
    Chunks_.clear();
    ChunkUsed_ = ChunkCapacity_ = ArenaBytes_ = LiveBytes_ = 0;
    Current_ = std::string::npos;
    // What the file holds now is not known: the next save compares.
    Edited_ = false;
    LoadedIntact_ = false;
    Loaded_ = {};
    Spans_.clear();
    InvalidateIndex();
}

void TRequestFile::ParseLine(std::string_view Line, bool Owned)
{
    if (Line.empty() || Line.front() == ';')
        return;
    if (Line.size() >= 2 && Line.front() == '[' && Line.back() == ']') {
        std::string_view name = Line.substr(1, Line.size() - 2);
        if (!Owned)
            name = Keep(name);
        Sections_.push_back(SectionRef{name, Lines_.size(), 0});
        LiveBytes_ += name.size();
        Current_ = Sections_.size() - 1;
        return;
    }
    // Lines above the first header belong to no section and are dropped.
    // Sections are parsed in order, so the open one is always the last.
    if (Current_ == std::string::npos)
        return;
    Lines_.push_back(Owned ? Line : Keep(Line));
    LiveBytes_ += Line.size();
    ++Sections_[Current_].Count;
}

bool TRequestFile::ParseText(std::string_view Text)
{
    const DataTextSplitter::Result split = DataTextSplitter::Split(Text, Lines_, Sections_);
    LiveBytes_ += split.Bytes;
    Current_ = std::string::npos;
    return split.StoppedEarly;
}

void TRequestFile::SetStrings(const std::vector<std::string>& Lines)
{
    Clear();
    Current_ = std::string::npos;
    for (const auto& line : Lines)
        ParseLine(line, false);
    Current_ = std::string::npos;
}

void TRequestFile::SetText(std::string_view Text)
{
    Clear();
    const std::string_view kept = Keep(Text);
    StoppedEarly_ = ParseText(kept);
    Loaded_ = kept;
}

void TRequestFile::KeepDamagedOriginal(AtomicFileWriter& Writer)
{
    char date[16] = "";
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (::localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    const std::string stem = FileName() + ".danificado-" + date;
    // An earlier copy of the same day is never replaced: it may be the
    // fuller one.
    std::string copy = stem;
    struct stat st {};
    for (int n = 2; ::lstat(copy.c_str(), &st) == 0; ++n)
        copy = stem + "-" + std::to_string(n);
    Writer.WriteFile(copy, DamagedOriginal_);
    DamagedCopy_ = copy;
    DamagedOriginal_.clear();
    DamagedOriginal_.shrink_to_fit();
}

void TRequestFile::UpdateFile()
{
    AtomicFileWriter& writer = Writer_ ? *Writer_ : AtomicFileWriter::Default();
    if (!DamagedOriginal_.empty())
        KeepDamagedOriginal(writer);
    ImageBuffer image(ImageSize());
    RenderInto(image.Data());
    const std::string_view text = image.View();
    if (Edited_) {
        writer.WriteChangedFile(FileName(), text);
        Edited_ = false;
        LoadedIntact_ = false; // the file holds the new image now
    } else if (!Writer_ && LoadedIntact_ && text == Loaded_) {
        writer.WriteFileUnlessUnchanged(FileName(), text, LoadedFrom_);
    } else {
        writer.WriteFile(FileName(), text);
    }
}

std::vector<std::exception_ptr> TRequestFile::UpdateFiles(const std::vector<TRequestFile*>& Files,
                                                          const std::function<void(std::size_t)>& Saved,
                                                          FileSystem& Disk)
{
    std::vector<std::exception_ptr> failures(Files.size());
    std::vector<std::size_t> together;
    BatchFileWriter batch(Disk);
    for (std::size_t i = 0; i < Files.size(); ++i) {
        TRequestFile& file = *Files[i];
        try {
            // A writer of its own (a test's, a tool's in memory) sees the
            // save as always; a file not edited is mostly left in place
            // without a write.
            if (file.Writer_ || !file.Edited_) {
                file.UpdateFile();
                if (Saved)
                    Saved(i);
                continue;
            }
            if (!file.DamagedOriginal_.empty()) {
                AtomicFileWriter writer(Disk);
                file.KeepDamagedOriginal(writer);
            }
            std::function<void()> saved;
            if (Saved)
                saved = [&Saved, i] { Saved(i); };
            batch.Add(
                file.FileName(), [&file] { return file.Text(); }, true, std::move(saved));
            together.push_back(i);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    }
    const std::vector<std::exception_ptr> saved = batch.Run();
    for (std::size_t k = 0; k < together.size(); ++k) {
        TRequestFile& file = *Files[together[k]];
        if (saved[k]) {
            failures[together[k]] = saved[k];
        } else {
            file.Edited_ = false;
            file.LoadedIntact_ = false; // the file holds the new image now
        }
    }
    return failures;
}

bool TRequestFile::KnownToHold(std::string_view Image) const
{
    if (Edited_ || !LoadedIntact_ || Image != Loaded_)
        return false;
    struct stat now {};
    return ::stat(FileName().c_str(), &now) == 0 && FileIdentity::Of(now).Matches(LoadedFrom_);
}

void TRequestFile::SetWriter(std::shared_ptr<AtomicFileWriter> Writer)
{
    Writer_ = std::move(Writer);
}
