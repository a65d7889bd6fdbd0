#include "store/TRequestFile.h"

#include "base/BoundedFileReader.h"
#include "base/LetterCase.h"
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "base/Texts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Bit i set where byte i of the 64 at p is CR or LF, sixteen bytes at a time
// where the processor allows; Nul tells whether the 64 bytes hold a NUL, so
// that the text is not read twice to find its end. (Wider vectors were tried:
// the scan hides behind the per-line work, so they gained nothing.)
[[maybe_unused]] inline uint64_t BreakMaskPlain(const char* p, bool& Nul)
{
    uint64_t mask = 0;
    bool nul = false;
    for (int i = 0; i < 64; ++i) {
        mask |= static_cast<uint64_t>(p[i] == '\r' || p[i] == '\n') << i;
        nul |= p[i] == '\0';
    }
    Nul = nul;
    return mask;
}

#ifdef __SSE2__
inline uint64_t BreakMaskSse2(const char* p, bool& Nul)
{
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    // Written out four times: the compiler kept a loop here, with a shift by
    // a variable count, and that loop was a third of the whole load.
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    auto breaks = [&](__m128i v) {
        return static_cast<uint64_t>(
            static_cast<uint16_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)))));
    };
    const __m128i nul = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v0, zero), _mm_cmpeq_epi8(v1, zero)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v2, zero), _mm_cmpeq_epi8(v3, zero)));
    Nul = _mm_movemask_epi8(nul) != 0;
    return breaks(v0) | breaks(v1) << 16 | breaks(v2) << 32 | breaks(v3) << 48;
}
#endif

inline uint64_t BreakMask(const char* p, bool& Nul)
{
#ifdef __SSE2__
    return BreakMaskSse2(p, Nul);
#else
    return BreakMaskPlain(p, Nul);
#endif
}

// Calls Take(first, last) for every run of bytes without CR or LF in
// [Begin, End), in order, up to the first NUL, which ends the text as it
// always has for these files. The text goes 64 bytes at a time through BreakMask;
// a run starts at a non-break after a break (or at the start) and ends at a
// break after a non-break, so the runs of a block come from two bit masks
// without looking at the bytes again. Returns true when a NUL ended the text.
template <class TakeRun>
bool ForEachRun(const char* Begin, const char* End, TakeRun& Take)
{
    const char* lineStart = Begin; // where the open run began, when one is open
    bool inLine = false;           // whether the byte before the block was part of a run
    auto block = [&](const char* p, uint64_t breaks) __attribute__((always_inline))
    {
        const uint64_t before = (breaks << 1) | (inLine ? 0u : 1u); // bit i: byte i-1 is a break
        uint64_t starts = ~breaks & before;
        uint64_t ends = breaks & ~before;
        // Runs alternate with breaks: a run carried in from the previous block
        // ends first, then each start is followed by its end, if any here.
        if (inLine) {
            if (!ends)
                return;
            Take(lineStart, p + __builtin_ctzll(ends));
            ends &= ends - 1;
            inLine = false;
        }
        while (starts) {
            const char* first = p + __builtin_ctzll(starts);
            starts &= starts - 1;
            if (!ends) {
                lineStart = first;
                inLine = true;
                return;
            }
            Take(first, p + __builtin_ctzll(ends));
            ends &= ends - 1;
        }
    };

    const char* p = Begin;
    bool nul = false;
    for (; End - p >= 64; p += 64) {
        const uint64_t breaks = BreakMask(p, nul);
        if (nul)
            break;
        block(p, breaks);
    }
    // The rest (up to a NUL), padded with line ends: the padding closes the
    // last run at the end of the text.
    std::size_t rest = std::min<std::size_t>(static_cast<std::size_t>(End - p), 64);
    bool stopped = false;
    if (rest) { // an empty text may have no address at all
        if (const void* at = std::memchr(p, '\0', rest)) {
            rest = static_cast<std::size_t>(static_cast<const char*>(at) - p);
            stopped = true;
        }
    }
    char tail[64];
    if (rest)
        std::memcpy(tail, p, rest);
    std::memset(tail + rest, '\n', sizeof tail - rest);
    block(p, BreakMask(tail, nul));
    return stopped;
}

// About how many lines and how many section headers [Begin, End) holds (a
// little more, to spare a late regrowth), judged by the first kilobytes;
// never more than one of each per sixteen bytes, so that a text whose start
// misleads cannot claim much memory.
struct LineEstimate {
    std::size_t Lines;
    std::size_t Headers;
};

LineEstimate EstimateLines(const char* Begin, const char* End)
{
    constexpr std::size_t Sample = 4096;
    const std::size_t size = static_cast<std::size_t>(End - Begin);
    const std::size_t most = size / 16 + 16;
    if (size <= Sample)
        return {most, 0}; // a few sections: growing costs nothing worth a guess
    std::size_t starts = 0;
    std::size_t headers = 0;
    uint64_t breakBefore = 1;
    bool nul; // the estimate may count past a NUL
    for (const char* p = Begin; p < Begin + Sample; p += 64) {
        const uint64_t breaks = BreakMask(p, nul);
        uint64_t first = ~breaks & (breaks << 1 | breakBefore);
        starts += static_cast<std::size_t>(__builtin_popcountll(first));
        for (; first; first &= first - 1)
            headers += p[__builtin_ctzll(first)] == '[';
        breakBefore = breaks >> 63;
    }
    const auto scale = [&](std::size_t n) {
        return std::min(n * (size / Sample) + n * (size % Sample) / Sample + n / 8 + 16, most);
    };
    return {scale(starts), scale(headers)};
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
        LiveBytes_ += name.size();
        s = Sections_.size() - 1;
        if (IndexValid_)
            Index_.emplace(Folded(Section), s);
    }
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

std::size_t TRequestFile::ImageSize() const
{
    std::size_t size = 0;
    for (const auto& section : Sections_)
        size += section.Name.size() + 6;
    for (const auto& line : Lines_)
        size += line.size() + 2;
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
    for (const auto& section : Sections_) {
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
    // Empty lines are dropped, so a CR LF pair may be taken as two breaks
    // around an empty line: the lines kept are exactly the runs of bytes
    // without CR or LF before the first NUL.
    const char* const begin = Text.data();
    const char* const end = begin + Text.size();
    // Regrowing the line list midway costs more than the rest of the load,
    // and a fixed guess either falls short on files of short lines or wastes
    // memory on files of long ones: the first few kilobytes tell.
    const LineEstimate estimate = EstimateLines(begin, end);
    Lines_.reserve(Lines_.size() + estimate.Lines);
    Sections_.reserve(Sections_.size() + estimate.Headers);

    // Lines above the first header of this text belong to no section and are
    // dropped. Sections are parsed in order, so the open one is the last.
    bool open = false;
    std::size_t live = 0;
    // Inlined by force: as a call, saving and restoring registers for every
    // line cost as much as the work on the line.
    auto take = [&](const char* first, const char* last) __attribute__((always_inline))
    {
        const std::size_t size = static_cast<std::size_t>(last - first);
        const char c = *first;
        if (c == '[' && last[-1] == ']' && size >= 2) {
            if (open)
                Sections_.back().Count = Lines_.size() - Sections_.back().First;
            Sections_.push_back(SectionRef{std::string_view(first + 1, size - 2), Lines_.size(), 0});
            live += size - 2;
            open = true;
        } else if (c != ';' && open) {
            Lines_.emplace_back(first, size);
            live += size;
        }
    };

    const bool stopped = ForEachRun(begin, end, take);
    // A guess far above the outcome gives its memory back.
    if (Lines_.capacity() > 2 * Lines_.size() + 256)
        Lines_.shrink_to_fit();
    if (Sections_.capacity() > 2 * Sections_.size() + 256)
        Sections_.shrink_to_fit();

    if (open)
        Sections_.back().Count = Lines_.size() - Sections_.back().First;
    LiveBytes_ += live;
    Current_ = std::string::npos;
    return stopped;
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

bool TRequestFile::KnownToHoldImage() const
{
    if (Edited_ || !LoadedIntact_)
        return false;
    struct stat now {};
    return ::stat(FileName().c_str(), &now) == 0 && FileIdentity::Of(now).Matches(LoadedFrom_) && Text() == Loaded_;
}

void TRequestFile::SetWriter(std::shared_ptr<AtomicFileWriter> Writer)
{
    Writer_ = std::move(Writer);
}
