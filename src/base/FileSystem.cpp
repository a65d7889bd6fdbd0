#include "base/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

FileSystem::~FileSystem() = default;

int FileSystem::Open(const std::string& Path, int Flags, mode_t Mode)
{
    return ::open(Path.c_str(), Flags, Mode);
}

ssize_t FileSystem::Write(int Fd, const void* Data, std::size_t Size)
{
    return ::write(Fd, Data, Size);
}

ssize_t FileSystem::WriteAt(int Fd, const void* Data, std::size_t Size, off_t Offset)
{
    return ::pwrite(Fd, Data, Size, Offset);
}

int FileSystem::Sync(int Fd)
{
    return ::fsync(Fd);
}

int FileSystem::Close(int Fd)
{
    return ::close(Fd);
}

int FileSystem::Rename(const std::string& From, const std::string& To)
{
    return ::rename(From.c_str(), To.c_str());
}

int FileSystem::RenameNoReplace(const std::string& From, const std::string& To)
{
    return ::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE);
}

int FileSystem::Link(const std::string& From, const std::string& To)
{
    return ::link(From.c_str(), To.c_str());
}

int FileSystem::Unlink(const std::string& Path)
{
    return ::unlink(Path.c_str());
}

FileSystem& FileSystem::Real()
{
    // Holds no state: shared by every thread. Never destroyed: a save may
    // run while static objects are torn down.
    static auto* disk = new FileSystem;
    return *disk;
}
