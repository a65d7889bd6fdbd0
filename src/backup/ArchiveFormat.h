#pragma once
// The bytes of the backup archive that every part agrees on: chunk size,
// segment signature, continuation records, the file-ID list's name, and the
// rules for archived names. File format: docs/backup-archive-format.md.
#include <cstdint>
#include <string>

namespace ArchiveFormat {

inline constexpr int ChunkSize = 16384;
// A volume takes no chunk that would start this close to its size limit.
inline constexpr int VolumeReserve = ChunkSize + 100;
inline constexpr char Signature[4] = {'E', 'C', '2', '\0'};
inline constexpr const char* ContinuationPrefix = "NEXT:DISK";
inline constexpr const char* FileListName = "FILE:LIST";
// The continuation record holds three digits.
inline constexpr int MaxVolume = 999;
// Archived names longer than this are not names but damage; no real path
// comes near it, and it keeps a hostile length from allocating gigabytes.
inline constexpr std::int32_t MaxNameLength = 65536;

// "NEXT:DISK002" for volume 2.
std::string ContinuationName(int Volume);
// True when Name is a continuation record (begins with "NEXT:DISK").
bool IsContinuation(const std::string& Name);
// The volume a continuation record names: 2..999, or 0 when its digits are
// not exactly three decimal digits.
int ContinuationVolume(const std::string& Name);

// The zlib level of a compression ordinal (clFastest 1, clNone 0, clDefault
// zlib's default, clMax 9); -2 for an ordinal out of range.
int ZlibLevel(int Ordinal);

// ASCII letter case only: archived names are bytes in the program's
// single-byte character set, whatever the locale.
std::string LowerAscii(std::string Text);
std::string UpperAscii(std::string Text);

// True when Name holds a byte below 32 or DEL: such a name is never a file
// of ours, and shown raw it could drive a terminal.
bool HasControlCharacter(const std::string& Name);
// Name for a terminal or a message: control bytes and bytes that are not
// part of valid UTF-8 are written as \xNN; valid UTF-8 is kept, except the
// C1 controls. (Windows names keep their backslashes as they are.)
std::string PrintableName(const std::string& Name);

} // namespace ArchiveFormat
