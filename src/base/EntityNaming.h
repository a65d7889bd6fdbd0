#pragma once
// How entities are named in the data files: the registry section Entity<n>
// and the storage file STORAGE.<n>.DAT of entity number n. Built and parsed
// here only, so that the registry, the entity actions and the backup agree.
#include <cstdint>
#include <string>

namespace EntityNaming {

// "Entity<n>".
std::string SectionName(int32_t Number);
// n of a section named Entity<n> (any letter case, n in decimal without
// leading zeros, at most 2147483647), or 0 for any other name.
int32_t SectionNumber(const std::string& Name);

// "STORAGE.<n>.DAT".
std::string StorageFileName(int32_t Number);
// n of a file part named STORAGE.<n>.DAT (any letter case), or 0.
int32_t StorageFileNumber(const std::string& FilePart);
// True for a file part named STORAGE.<n>.DAT or ENTITY.DAT (any letter case):
// the program's own data files.
bool IsDataFileName(const std::string& FilePart);
inline constexpr const char* RegistryFileName = "ENTITY.DAT";

// The file part of a stored path, which may come from Windows: split at
// "/", "\" and ":".
std::string FilePart(const std::string& Path);

} // namespace EntityNaming
