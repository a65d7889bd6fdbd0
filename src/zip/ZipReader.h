#pragma once
// Reads a ZIP archive: its list of entries and any entry's bytes, into memory
// only. The archive is outside input: a damaged, truncated or hostile archive
// gives an error result, never a crash, and no entry is inflated beyond the
// bound its caller sets. Nothing is ever written to disk.
#include <cstdint>
#include <string>
#include <vector>

struct zip;

class ZipReader {
public:
    // Above this an entry is refused: the help pages and their pictures are
    // a few kilobytes each.
    static constexpr std::uint64_t DefaultEntryLimit = 8u * 1024u * 1024u;

    enum class TExtract {
        Ok,       // Bytes hold the entry (possibly empty)
        Missing,  // no archive open, or no entry of that name
        TooLarge, // the entry is bigger than the bound
        Damaged,  // the entry could not be read whole (bad data, checksum, encryption)
    };

    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the regular file at Path and reads its directory; false (and no
    // archive open) when it is missing, not a regular file or not a ZIP
    // archive. Any archive open before is closed first.
    bool Open(const std::string& Path);
    // The same over bytes held in memory.
    bool OpenBytes(std::string Bytes);
    void Close();
    bool IsOpen() const { return archive_ != nullptr; }

    // The names of the entries, in the archive's order.
    const std::vector<std::string>& Names() const { return names_; }

    // Extracts the entry Name into Bytes (emptied first). A name is matched
    // exactly, else without regard to case.
    TExtract Extract(const std::string& Name, std::string& Bytes, std::uint64_t Limit = DefaultEntryLimit) const;
    // The entry's bytes; empty when it is missing, too large or damaged.
    std::string ExtractToString(const std::string& Name, std::uint64_t Limit = DefaultEntryLimit) const;

private:
    bool Adopt(zip* Archive);

    zip* archive_ = nullptr;
    std::string buffer_; // the archive's bytes when opened from memory
    std::vector<std::string> names_;
};
