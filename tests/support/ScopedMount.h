#pragma once
// A file system mounted for one test, unmounted when it goes out of scope,
// whatever way the test ends: a FAT image made with mkfs.vfat and mounted
// through FUSE (fusefat, as a machine without the kernel's FAT driver reads
// a stick), or a bind mount of a folder. Made() is false when the machine
// cannot mount it; Why() then says why (for GTEST_SKIP), Missing() whether a
// tool the tests need is missing (a setup fault, not a skip).
#include "support/RunTool.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace testsupport {

class ScopedMount {
public:
    enum class Type { FatImage, Bind };

    // FatImage: Source is the image file to make (Megabytes in size), Point
    // the folder to mount it at. Bind: Source is the folder shown at Point.
    ScopedMount(Type Kind, const std::string& Source, const std::string& Point, int Megabytes = 32)
        : Kind_(Kind), Point_(Point)
    {
        std::error_code ec;
        std::filesystem::create_directories(Point, ec);
        if (Kind == Type::Bind) {
            if (::mount(Source.c_str(), Point.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                Why_ = "a bind mount is not allowed here: " + std::string(std::strerror(errno));
                return;
            }
            Made_ = true;
            return;
        }
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0) {
            Why_ = "FUSE is not available here (/dev/fuse: " + std::string(std::strerror(errno)) + ")";
            return;
        }
        ::close(fuse);
        for (const char* tool : {"/usr/bin/fusefat", "/sbin/mkfs.fat", "/usr/bin/fusermount"}) {
            if (::access(tool, X_OK) != 0) {
                Missing_ = true;
                Why_ = std::string(tool) + " is missing: scripts/deps installs it";
                return;
            }
        }
        const std::string make = "truncate -s " + std::to_string(Megabytes) + "M " + Quote(Source)
                                 + " && /sbin/mkfs.fat " + Quote(Source) + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) {
            Why_ = "mkfs.fat could not make " + Source;
            Missing_ = true;
            return;
        }
        // fusefat prints what it found on the image; the test needs none of it.
        const std::string mount = "/usr/bin/fusefat -o rw+ " + Quote(Source) + " " + Quote(Point) + " >/dev/null 2>&1";
        if (std::system(mount.c_str()) != 0) {
            Why_ = "fusefat could not mount " + Source + " (FUSE refused it here)";
            return;
        }
        struct statfs fs {};
        Made_ = ::statfs(Point.c_str(), &fs) == 0 && static_cast<unsigned long>(fs.f_type) == 0x65735546;
        if (!Made_) {
            Unmount();
            Why_ = "fusefat did not mount " + Point;
        }
    }
    ~ScopedMount()
    {
        if (Made_)
            Unmount();
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool Made() const { return Made_; }
    bool Missing() const { return Missing_; }
    const std::string& Why() const { return Why_; }

private:
    void Unmount()
    {
        if (Kind_ == Type::Bind) {
            if (::umount2(Point_.c_str(), 0) != 0)
                ::umount2(Point_.c_str(), MNT_DETACH);
            return;
        }
        const std::string u = "/usr/bin/fusermount -u " + Quote(Point_) + " >/dev/null 2>&1";
        if (std::system(u.c_str()) != 0) {
            const std::string lazy = "/usr/bin/fusermount -u -z " + Quote(Point_) + " >/dev/null 2>&1";
            [[maybe_unused]] const int ignored = std::system(lazy.c_str());
        }
    }

    Type Kind_;
    std::string Point_;
    bool Made_ = false;
    bool Missing_ = false;
    std::string Why_;
};

} // namespace testsupport
