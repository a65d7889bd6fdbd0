#pragma once
// The one data-file format of the program: ordered sections of key=value
// lines, held whole in memory and rewritten whole by UpdateFile.
//
// On disk: single-byte text, read and written unchanged. Reading splits at
// CR LF, CR or LF and stops at a NUL; empty lines, ";" comments and lines
// before the first "[name]" header are dropped; duplicate sections are kept
// in order. Writing gives "[name]", the lines, one empty line per section,
// CR LF after every line; no sections give a zero-byte file.
#include "base/FileIdentity.h"
#include "base/FileSystem.h"
#include "store/DataTextSplitter.h"
#include "store/TCustomRequestFile.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class AtomicFileWriter;

// One section as loaded or written: its name and its raw lines.
struct TRequestSection {
    std::string Name;
    std::vector<std::string> Lines;
};

class TRequestFile : public TCustomRequestFile {
public:
    // Loads FileName when it names an existing file; a missing file (or an
    // empty name) gives an empty content and creates nothing. A file that
    // exists but cannot be read, or is not a regular file (a folder, a pipe,
    // a device), raises EFOpenError "Cannot open file <name>"; one larger
    // than MaxDataFileSize raises EFOpenError saying so. Opening never
    // blocks.
    explicit TRequestFile(const std::string& FileName);

    // No data file of the program comes near this size (a storage file with
    // a hundred certificates holds about half a megabyte); a larger one is
    // refused unread.
    static constexpr std::size_t MaxDataFileSize = std::size_t(64) << 20;
    ~TRequestFile() override;

    // A file object built from lines instead of a file, named "ghobe.ini";
    // meant to be rendered with GetStrings. A null list gives an empty one.
    static std::unique_ptr<TRequestFile> CreateFromLines(const std::vector<std::string>* Lines);
    static std::unique_ptr<TRequestFile> CreateFromLines(const std::vector<std::string>& Lines);

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) const override;
    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;

    void ReadSection(const std::string& Section, std::vector<std::string>& Names) const override;
    void ReadSections(std::vector<std::string>& Names) const override;
    void ReadSectionValues(const std::string& Section, std::vector<std::string>& Lines) const override;
    void EraseSection(const std::string& Section) override;
    void DeleteKey(const std::string& Section, const std::string& Ident) override;

    // Replaces FileName with the current image without ever leaving a partial
    // file: the image goes to a new file in the same folder, is flushed and
    // renamed over the old one. Raises EFCreateError when the file cannot be
    // created or replaced and EWriteError when writing fails; the previous
    // file and the content in memory are then unchanged.
    // The first save over a file whose reading stopped early first keeps
    // the original aside (see DamagedCopy); when that copy cannot be made,
    // nothing is saved and the failure is raised.
    void UpdateFile() override;
    // Saves each file as UpdateFile does, but together, so that their
    // flushes to the disk overlap (see BatchFileWriter). Every file is
    // tried; one entry per file: null when it was saved, else what
    // UpdateFile would have raised (that file is then as UpdateFile leaves
    // it after a failure). Saved, when given, is called with a file's
    // position as soon as that file is saved, on any thread, while others
    // are still being saved. Disk: where the files without a writer of
    // their own are saved.
    static std::vector<std::exception_ptr> UpdateFiles(const std::vector<TRequestFile*>& Files,
                                                       const std::function<void(std::size_t)>& Saved = {},
                                                       FileSystem& Disk = FileSystem::Real());

    // True when the reading stopped at a NUL before the end of the text, as
    // the format wants: the bytes after it are not in memory, and a save
    // writes the shorter content.
    bool StoppedEarly() const { return StoppedEarly_; }
    // The copy of the original file, loaded with its reading stopped early,
    // that the first save set aside beside it: "<file>.danificado-<date>"
    // (yyyy-mm-dd, then "-2", "-3"... when that name is taken). Empty until
    // such a copy was made.
    const std::string& DamagedCopy() const { return DamagedCopy_; }

    // Whether the file is known to hold exactly Image (the image, as Text
    // gives it) without reading it: nothing was edited since the load, Image
    // is the bytes then read, and the file is still that version (see
    // FileIdentity::SettledBefore).
    bool KnownToHold(std::string_view Image) const;

    // Text typed or pasted by the user, made a value that reads back as it
    // stands: each line break (CR LF, CR or LF) and each NUL becomes one
    // blank. (WriteString itself keeps a value unchanged, line breaks and
    // all, which then reads back cut at the first break.)
    static std::string OneLineValue(std::string_view Text);

    // Appends the written image, one entry per line, without terminators.
    void GetStrings(std::vector<std::string>& List) const;
    // Clears the content and parses Lines by the reading rules.
    void SetStrings(const std::vector<std::string>& Lines);
    // Removes every section.
    void Clear();

    // The image as bytes exactly as UpdateFile writes them (CR LF endings):
    // also the one text that signatures and fingerprints cover.
    std::string Text() const;
    // Clears the content and parses Text as if it had been read from disk.
    void SetText(std::string_view Text);

    // Whether a section of that name (any case) exists, even an empty one.
    bool SectionExists(const std::string& Section) const
    {
        return FindSection(Section) != static_cast<std::size_t>(-1);
    }

    // A copy of the sections in order, duplicates included.
    std::vector<TRequestSection> Sections() const;
    // Number of sections, duplicates included.
    std::size_t SectionCount() const { return Sections_.size(); }

    // Replaces how UpdateFile puts bytes on disk (tests inject failing
    // writers). Null restores the default writer.
    void SetWriter(std::shared_ptr<AtomicFileWriter> Writer);

private:
    struct FromLinesTag {};
    TRequestFile(FromLinesTag, const std::vector<std::string>* Lines);

    // A section: its name and the range of its lines in Lines_.
    using SectionRef = DataTextSection;

    // Index of the first section named Name (any case), or npos.
    std::size_t FindSection(std::string_view Name) const;
    // Position in Lines_ of the first line of section S with key Ident, or npos.
    std::size_t FindKey(std::size_t S, std::string_view Ident) const;
    void InvalidateIndex() const;
    // Classifies one raw line; Owned says whether its bytes already live in
    // the arena.
    void ParseLine(std::string_view Line, bool Owned);
    // Returns true when a NUL ended the text before its end.
    bool ParseText(std::string_view Text);
    void KeepDamagedOriginal(AtomicFileWriter& Writer);
    void ShiftAfter(std::size_t S, std::ptrdiff_t By);
    // The run of Loaded_ that is exactly Section's image, or empty.
    std::string_view VerbatimSpan(const SectionRef& Section) const;
    // Spans_, first filled in if it is not yet one per section.
    const std::vector<std::string_view>& Spans() const;
    // An edit of section S: its image is no longer the loaded bytes.
    void DropSpan(std::size_t S);
    // The image's size, and the image itself written to Out (that many bytes).
    std::size_t ImageSize() const;
    void RenderInto(char* Out) const;

    // The arena holds the bytes behind every name and line: the text as
    // loaded plus whatever was written since. Views into it stay valid until
    // Clear or Compact.
    std::string_view Keep(std::string_view Bytes);
    void AdoptChunk(std::unique_ptr<char[]> Chunk, std::size_t Size);
    void CompactIfWasteful();

    std::vector<SectionRef> Sections_;
    std::vector<std::string_view> Lines_;
    std::vector<std::unique_ptr<char[]>> Chunks_;
    std::size_t ChunkUsed_ = 0;
    std::size_t ChunkCapacity_ = 0;
    std::size_t ArenaBytes_ = 0;
    std::size_t LiveBytes_ = 0;
    std::size_t Current_ = static_cast<std::size_t>(-1);

    std::shared_ptr<AtomicFileWriter> Writer_;

    bool StoppedEarly_ = false;
    // Whether an edit since the last load or save changed the image: its
    // save then differs from the file for sure, and the file need not be
    // read back to find out.
    bool Edited_ = false;
    // The bytes loaded (or given to SetText), as the arena still holds
    // them, and the file's identity when it was opened: while nothing was
    // edited, a save whose image is those bytes, over a file still of that
    // identity, need not read the file again to know that it holds them.
    std::string_view Loaded_;
    FileIdentity LoadedFrom_;
    bool LoadedIntact_ = false;
    // The bytes of a file whose reading stopped early, as they were on disk,
    // until the first save has set them aside.
    std::string DamagedOriginal_;
    std::string DamagedCopy_;

    // Case-folded section name -> first section of that name. Rebuilt lazily
    // after removals; order and duplicates live in Sections_ only.
    mutable std::unordered_map<std::string, std::size_t> Index_;
    mutable bool IndexValid_ = false;
    // Per section, the run of Loaded_ that is exactly its image, if any: a
    // large file's save copies those runs whole instead of walking its many
    // short lines. Found by the first render (loads stay as fast), then kept
    // while the section is untouched. Either empty or one per section.
    mutable std::vector<std::string_view> Spans_;
};
