#include "app/steps/DriveOperations.h"

#include "app/steps/KeyFileOperations.h"
#include "base/ProgramPaths.h"
#include "base/SafeReplace.h"
#include "crypto/TRSAMedia.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool IsDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

std::string Upper(std::string Text)
{
    for (char& c : Text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Text;
}

// The name's extension in upper case, with its dot; empty when none.
std::string ExtensionOf(const std::string& Name)
{
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : Upper(Name.substr(dot));
}

std::string StemOf(const std::string& Name)
{
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos ? Name : Name.substr(0, dot);
}

// ".002" to ".999": a further volume of a spanned archive.
bool IsVolumeExtension(const std::string& Extension)
{
    return Extension.size() == 4 && std::isdigit(static_cast<unsigned char>(Extension[1]))
           && std::isdigit(static_cast<unsigned char>(Extension[2]))
           && std::isdigit(static_cast<unsigned char>(Extension[3])) && Extension != ".000" && Extension != ".001";
}

enum class Kind {
    Other,     // not the client's: stays
    Client,    // the client's: goes
    KeyFile,   // an unsigned key file: goes, overwritten first
    SignedKey, // a key file holding a signed certificate: stays
};

// The kind a file's name gives, before its content is looked at. Archives
// lists the upper-case stems of the folder's *.BKP files: a numbered file is
// a volume only beside its archive.
Kind KindByName(const std::string& Name, const std::set<std::string>& Archives)
{
    const std::string extension = ExtensionOf(Name);
    if (extension == ".TXT")
        return IsCertificateIdentifier(StemOf(Name)) ? Kind::Client : Kind::Other;
    if (extension == ".CNS" || extension == ".CRT" || extension == ".BKP")
        return Kind::Client;
    if (extension == ".PRI")
        return Kind::KeyFile;
    if (IsVolumeExtension(extension))
        return Archives.count(Upper(StemOf(Name))) ? Kind::Client : Kind::Other;
    // The drive probe's file, left by a crash.
    if (Name.size() == 41 && Name.compare(38, 3, "~tf") == 0 && IsCertificateIdentifier(Name.substr(0, 38)))
        return Kind::KeyFile;
    // A half-written file of the client's safe replace whose writer is gone.
    pid_t pid = 0;
    if (SafeReplace::IsTemporaryName(Name, pid) && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
        return Kind::KeyFile;
    return Kind::Other;
}

struct Looked {
    Kind What = Kind::Other;
    dev_t Device = 0;
    ino_t Inode = 0;
};

// What the entry Name of the folder open at Dir is: only a regular file can
// be the client's, and a key file's certificate slot is read (a file that
// cannot be read, or is no key file of the kit, is not the client's).
Looked LookAt(int Dir, const std::string& Name, const std::set<std::string>& Archives)
{
    Looked looked;
    struct stat st {};
    if (::fstatat(Dir, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return looked;
    looked.Device = st.st_dev;
    looked.Inode = st.st_ino;
    looked.What = KindByName(Name, Archives);
    if (looked.What != Kind::KeyFile || ExtensionOf(Name) != ".PRI")
        return looked;
    looked.What = Kind::Other;
    const int fd = ::openat(Dir, Name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return looked;
    std::string bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == looked.Device && st.st_ino == looked.Inode
        && st.st_size > 0 && static_cast<std::size_t>(st.st_size) <= MaxKeyFileSize) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    static const char Magic[] = "QVXKEY\r\n";
    if (bytes.size() < 8 || bytes.compare(0, 8, Magic, 8) != 0)
        return looked; // not the kit's key file
    looked.What = KeyFileHoldsCertificate(bytes) ? Kind::SignedKey : Kind::KeyFile;
    return looked;
}

// The upper-case stems of the archives (*.BKP files) in the folder open at Dir.
std::set<std::string> ArchivesIn(DIR* Dir)
{
    std::set<std::string> stems;
    ::rewinddir(Dir);
    while (const dirent* entry = ::readdir(Dir)) {
        const std::string name = entry->d_name;
        if (ExtensionOf(name) == ".BKP")
            stems.insert(Upper(StemOf(name)));
    }
    ::rewinddir(Dir);
    return stems;
}

// A stream over the folder open at Fd, which stays open.
std::unique_ptr<DIR, DirCloser> ListFolder(int Fd)
{
    const int copy = ::openat(Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return nullptr;
    DIR* dir = ::fdopendir(copy);
    if (!dir)
        ::close(copy);
    return std::unique_ptr<DIR, DirCloser>(dir);
}

} // namespace

bool KeyFileHoldsCertificate(const std::string& Bytes)
{
    auto byte = [&](std::size_t At) { return static_cast<unsigned>(static_cast<unsigned char>(Bytes[At])); };
    if (Bytes.size() < 114)
        return false; // too short to hold a slot
    const unsigned version = byte(8) | byte(9) << 8;
    if (version != 1)
        return true; // a layout this client does not know: kept, as if signed
    if ((byte(10) | byte(11) << 8) & 1u)
        return true;
    const std::size_t slot = 254 + (byte(112) | byte(113) << 8);
    for (std::size_t i = slot; i < slot + 192 && i < Bytes.size(); ++i)
        if (Bytes[i] != 0)
            return true;
    return false;
}

bool IsDriveWritable(const std::string& Dir)
{
    try {
        if (Dir.empty())
            return false;
        const std::string probe = ProgramPaths::WithSlash(Dir) + NewGuidText() + "~tf";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

bool DriveHasFiles(const std::string& Dir)
{
    if (Dir.empty())
        return false;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(Dir.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsDotEntry(entry->d_name))
            return true;
    }
    return false;
}

MediumFolder::MediumFolder(const std::string& Dir)
{
    if (Dir.empty())
        return;
    // A link on the way, the configured name included, leads where it leads
    // now; from here on only the folder found is used.
    char resolved[PATH_MAX];
    if (!::realpath(Dir.c_str(), resolved))
        return;
    Fd_ = ::open(resolved, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

MediumFolder::~MediumFolder()
{
    if (Fd_ >= 0)
        ::close(Fd_);
}

MediumSurvey MediumFolder::Survey() const
{
    MediumSurvey survey;
    auto dir = Fd_ >= 0 ? ListFolder(Fd_) : nullptr;
    if (!dir)
        return survey;
    const std::set<std::string> archives = ArchivesIn(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name))
            continue;
        const std::string name = entry->d_name;
        struct stat st {};
        if (::fstatat(Fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            continue;
        switch (LookAt(Fd_, name, archives).What) {
        case Kind::Client:
        case Kind::KeyFile: survey.ToRemove.push_back(name); break;
        case Kind::SignedKey: survey.SignedKeys.push_back(name); break;
        case Kind::Other: survey.Others.push_back(name); break;
        }
    }
    return survey;
}

int MediumFolder::Clear(const std::vector<std::string>& Names) const
{
    auto dir = Fd_ >= 0 ? ListFolder(Fd_) : nullptr;
    if (!dir)
        return 0;
    const std::set<std::string> archives = ArchivesIn(dir.get());
    int removed = 0;
    for (const std::string& name : Names) {
        if (name.empty() || name.find('/') != std::string::npos || IsDotEntry(name.c_str()))
            continue;
        // Looked at again: the user may have changed the medium meanwhile.
        const Looked looked = LookAt(Fd_, name, archives);
        if (looked.What != Kind::Client && looked.What != Kind::KeyFile)
            continue;
        if (looked.What == Kind::KeyFile) {
            const int fd = ::openat(Fd_, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0) {
                struct stat st {};
                // Zeroed only when this name alone holds the bytes.
                if (::fstat(fd, &st) == 0 && st.st_ino == looked.Inode && st.st_dev == looked.Device
                    && st.st_nlink == 1)
                    SafeReplace::OverwriteWithZeros(fd);
                ::close(fd);
            }
        }
        // Still the file looked at, not one put under its name since.
        struct stat now {};
        if (::fstatat(Fd_, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != looked.Inode
            || now.st_dev != looked.Device)
            continue;
        if (::unlinkat(Fd_, name.c_str(), 0) == 0)
            ++removed;
    }
    return removed;
}

int FilesToClear(const std::string& Dir)
{
    return static_cast<int>(MediumFolder(Dir).Survey().ToRemove.size());
}

void ClearDrive(const std::string& Dir)
{
    const MediumFolder medium(Dir);
    medium.Clear(medium.Survey().ToRemove);
}

std::string FileNameOf(const std::string& Path)
{
    const std::size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string FolderNameOf(const std::string& Path)
{
    const std::size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

bool FlushFileAndFolder(const std::string& FileName)
{
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced && SafeReplace::SyncFolder(SafeReplace::FolderOf(FileName)) == 0;
}
