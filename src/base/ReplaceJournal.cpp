#include "base/ReplaceJournal.h"

#include "base/BoundedFileReader.h"
#include "base/SafeReplace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace ReplaceJournal {

namespace {

constexpr char Header[] = "quorvex replace journal 1";
// Far more than any journal holds (a name per line, a restore's few
// thousand files); a larger file is not one of ours.
constexpr std::size_t MostBytes = 64u << 20;

int ErrnoOr(int Fallback)
{
    return errno != 0 ? errno : Fallback;
}

bool Exists(const std::string& Path)
{
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

std::string Encode(const std::string& Text)
{
    static const char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : Text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '%') {
            out += '%';
            out += Digits[byte >> 4];
            out += Digits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& Text, std::string& Out)
{
    Out.clear();
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '%') {
            Out += Text[i];
            continue;
        }
        if (Text.size() - i < 3)
            return false;
        const int high = HexValue(Text[i + 1]), low = HexValue(Text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        Out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// A path as the journal of Folder keeps it: the name alone when it lies in
// Folder, else in full (from the root, whatever the folder the reader
// starts in).
std::string Relative(const std::string& Folder, const std::string& Path)
{
    if (SafeReplace::FolderOf(Path) == Folder)
        return Path.substr(Folder.size());
    if (!Path.empty() && Path[0] == '/')
        return Path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return Path;
    return std::string(cwd) + "/" + Path;
}

std::string Resolved(const std::string& Folder, const std::string& Kept)
{
    if (Kept.empty() || Kept.find('/') != std::string::npos)
        return Kept;
    return Folder + Kept;
}

struct Journal {
    Direction Way = Direction::Forward;
    bool WipeOld = false;
    std::vector<Entry> Entries;
};

// Splits Line at tabs.
std::vector<std::string> Fields(const std::string& Line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = Line.find('\t', start);
        fields.push_back(Line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// False when Text is not a whole journal.
bool Parse(const std::string& Folder, const std::string& Text, Journal& Out)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find('\n', start);
        if (end == std::string::npos)
            return false; // cut short
        lines.push_back(Text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 4 || lines[0] != Header)
        return false;
    if (lines[1] == "forward")
        Out.Way = Direction::Forward;
    else if (lines[1] == "back")
        Out.Way = Direction::Back;
    else
        return false;
    if (lines[2] != "wipe" && lines[2] != "keep")
        return false;
    Out.WipeOld = lines[2] == "wipe";
    const std::size_t count = lines.size() - 4;
    if (lines.back() != "end " + std::to_string(count))
        return false;
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = Fields(lines[i]);
        if (fields.size() != 3)
            return false;
        Entry entry;
        if (!Decode(fields[0], entry.Staged) || !Decode(fields[1], entry.Target) || !Decode(fields[2], entry.Old)
            || entry.Staged.empty() || entry.Target.empty())
            return false;
        entry.Staged = Resolved(Folder, entry.Staged);
        entry.Target = Resolved(Folder, entry.Target);
        entry.Old = Resolved(Folder, entry.Old);
        Out.Entries.push_back(std::move(entry));
    }
    return true;
}

// Flushes the folders of the targets (where the new files and the old
// versions lie too): 0 or the first failure's errno value.
int SyncFolders(const std::vector<Entry>& Entries, FileSystem& Disk)
{
    std::set<std::string> folders;
    for (const Entry& entry : Entries)
        folders.insert(SafeReplace::FolderOf(entry.Target));
    int error = 0;
    for (const std::string& folder : folders)
        if (const int failed = SafeReplace::SyncFolder(folder, Disk); failed && !error)
            error = failed;
    return error;
}

int Forward(const Journal& J, FileSystem& Disk)
{
    // A new file no longer under its temporary name was renamed in already.
    for (const Entry& entry : J.Entries)
        if (Exists(entry.Staged) && Disk.Rename(entry.Staged, entry.Target) != 0)
            return ErrnoOr(EIO);
    if (const int error = SyncFolders(J.Entries, Disk))
        return error;
    // Every new file lasts under its name: the old versions may go.
    for (const Entry& entry : J.Entries) {
        if (entry.Old.empty() || !Exists(entry.Old))
            continue;
        if (J.WipeOld)
            SafeReplace::WipeAndRemove(entry.Old, Disk);
        else
            Disk.Unlink(entry.Old);
    }
    // A removal that does not last leaves a temporary, wiped at the next
    // start.
    SyncFolders(J.Entries, Disk);
    return 0;
}

bool SameFile(const std::string& A, const std::string& B)
{
    struct stat a {
    }, b{};
    return ::lstat(A.c_str(), &a) == 0 && ::lstat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int Back(const Journal& J, FileSystem& Disk)
{
    for (const Entry& entry : J.Entries) {
        if (!entry.Old.empty()) {
            if (!Exists(entry.Old))
                continue; // put back already
            // Still the target itself (its new file never came): the
            // second name only goes.
            if (SameFile(entry.Old, entry.Target)) {
                if (Disk.Unlink(entry.Old) != 0)
                    return ErrnoOr(EIO);
            } else if (Disk.Rename(entry.Old, entry.Target) != 0) {
                return ErrnoOr(EIO);
            }
        } else if (!Exists(entry.Staged) && Exists(entry.Target)) {
            // Nothing stood there: the new file, renamed in, goes.
            if (Disk.Unlink(entry.Target) != 0)
                return ErrnoOr(EIO);
        }
    }
    if (const int error = SyncFolders(J.Entries, Disk))
        return error;
    for (const Entry& entry : J.Entries)
        if (Exists(entry.Staged))
            SafeReplace::WipeAndRemove(entry.Staged, Disk);
    SyncFolders(J.Entries, Disk);
    return 0;
}

} // namespace

std::string PathIn(const std::string& Folder)
{
    return Folder + ".quorvex.journal";
}

int Write(const std::string& Folder, const std::vector<Entry>& Entries, Direction Way, bool WipeOld, FileSystem& Disk)
{
    std::string text = std::string(Header) + "\n" + (Way == Direction::Forward ? "forward\n" : "back\n")
                       + (WipeOld ? "wipe\n" : "keep\n");
    for (const Entry& entry : Entries)
        text += Encode(Relative(Folder, entry.Staged)) + "\t" + Encode(Relative(Folder, entry.Target)) + "\t"
                + (entry.Old.empty() ? std::string() : Encode(Relative(Folder, entry.Old))) + "\n";
    text += "end " + std::to_string(Entries.size()) + "\n";
    SafeReplace::Options options;
    options.NewFileMode = 0600;
    return SafeReplace::ReplaceFile(PathIn(Folder), text.data(), text.size(), options, Disk);
}

int Remove(const std::string& Folder, FileSystem& Disk)
{
    if (Disk.Unlink(PathIn(Folder)) != 0)
        return ErrnoOr(EIO);
    return SafeReplace::SyncFolder(Folder, Disk);
}

int Recover(const std::string& Folder, FileSystem& Disk)
{
    const std::string path = PathIn(Folder);
    if (!Exists(path))
        return 0;
    std::string text;
    const BoundedFileReader::Result read = BoundedFileReader::Read(path, MostBytes, text);
    if (read.Outcome == BoundedFileReader::Status::Missing)
        return 0;
    // Unreadable now is not cut short: it may be read at the next start.
    if (read.Outcome == BoundedFileReader::Status::OpenFailed || read.Outcome == BoundedFileReader::Status::ReadFailed)
        return read.Error != 0 ? read.Error : EIO;
    // Not a file of ours at all (a folder, a device): left alone.
    if (read.Outcome == BoundedFileReader::Status::NotRegular)
        return 0;
    Journal journal;
    if (read.Ok() && Parse(Folder, text, journal)) {
        const int error = journal.Way == Direction::Forward ? Forward(journal, Disk) : Back(journal, Disk);
        if (error)
            return error;
    }
    return Remove(Folder, Disk);
}

} // namespace ReplaceJournal
