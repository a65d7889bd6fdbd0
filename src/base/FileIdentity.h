#pragma once
// What tells one version of a file from another without reading it: the
// file's device and inode, its size, and when its content and its inode
// last changed. Two equal identities taken at two moments mean nobody wrote
// the file in between (a write moves the change time on).
#include <sys/stat.h>
#include <sys/types.h>

struct FileIdentity {
    bool Known = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    struct timespec Modified {};
    struct timespec Changed {};

    static FileIdentity Of(const struct stat& St)
    {
        return FileIdentity{true, St.st_dev, St.st_ino, St.st_size, St.st_mtim, St.st_ctim};
    }

    // Whether any later write is bound to change the identity: the file's
    // last change lies well before Moment (taken before the identity was).
    // File systems stamp writes with a clock that may tick only every few
    // milliseconds, so two writes close together can share a time; a file
    // written just before it was read could be written again unseen.
    bool SettledBefore(const struct timespec& Moment) const
    {
        constexpr long long Margin = 50'000'000; // nanoseconds: several ticks of the coarsest clock
        const auto nanos = [](const struct timespec& t) {
            return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
        };
        const long long limit = nanos(Moment) - Margin;
        return Known && nanos(Modified) < limit && nanos(Changed) < limit;
    }

    // An unknown identity matches nothing, itself included.
    bool Matches(const FileIdentity& Other) const
    {
        return Known && Other.Known && Device == Other.Device && Inode == Other.Inode && Size == Other.Size
               && Modified.tv_sec == Other.Modified.tv_sec && Modified.tv_nsec == Other.Modified.tv_nsec
               && Changed.tv_sec == Other.Changed.tv_sec && Changed.tv_nsec == Other.Changed.tv_nsec;
    }
};
