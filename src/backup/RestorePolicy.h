#pragma once
// Which file an archived name replaces, and whether it is replaced.
//
// The target is the destination folder plus the name's file part (a Windows
// name split at "\" and ":" as well), or, restoring the full path, the
// archived path below the destination without its drive. An existing file
// of any letter case is the one meant (archives hold lower-cased names); a
// data file of the program always gets its upper-case name.
// A name is refused, never written, when it would leave the destination
// ("..", an empty name), holds a control character, or, restoring the full
// path, passes through a folder that is a symbolic link.
#include "backup/BackupTypes.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class RestorePolicy {
public:
    // Destination: the folder restored into (a trailing '/' is added), or
    // empty to restore every file to its archived path.
    RestorePolicy(std::string Destination, bool FullPath);

    const std::string& Destination() const { return destination_; }

    // The target of an archived name; empty when the name is refused.
    std::string TargetFor(const std::string& Name) const;

    // The rule of the restore mode: Current is the target's DOS time stamp,
    // or -1 when it does not exist.
    static bool ShouldRestore(TRestoreMode Mode, std::int32_t Archived, std::int32_t Current);

    // True when Target lies directly in Folder (given with its '/') and is
    // one of the program's own data files (ENTITY.DAT, STORAGE.<n>.DAT).
    static bool IsDataFileIn(const std::string& Folder, const std::string& Target);
    // True when Folder holds the client or reinit, as a portable copy does
    // (its data live beside its program). A restore there takes only the
    // data files: the next start would run whatever else it replaced.
    static bool HoldsProgram(const std::string& Folder);

    // Makes the missing folders of Target. False when its folder is not
    // there afterwards, or a folder below the destination is a link.
    bool MakeFolders(const std::string& Target) const;

    // How many folders were listed to match names by letter case.
    std::size_t FoldersListed() const { return folders_.size(); }
    // The most a restore of the program's data files writes in all: an
    // office's data take a few megabytes, and an archive whose small chunks
    // each inflate to 16384 bytes must not fill the disk.
    static constexpr std::int64_t MaxDataRestoreSize = std::int64_t(1) << 30;

private:
    std::string ResolveComponent(const std::string& Folder, const std::string& Name, bool Last) const;

    std::string destination_;
    bool fullPath_;
    // Per folder, its entries by lower-cased name (listed once: an archive
    // of a million entries must not list the folder a million times).
    mutable std::unordered_map<std::string, std::unordered_map<std::string, std::string>> folders_;
};
