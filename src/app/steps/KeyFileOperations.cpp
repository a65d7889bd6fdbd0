#include "app/steps/KeyFileOperations.h"

#include "base/BoundedFileReader.h"
#include "base/FileErrors.h"
#include "base/ProgramPaths.h"
#include "base/SafeReplace.h"
#include "crypto/FormatHex.h"
#include "crypto/Wipe.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <memory>

bool IsCertificateIdentifier(const std::string& Id)
{
    if (Id.size() != 38 || Id.front() != '{' || Id.back() != '}')
        return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const char c = Id[i];
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != '-')
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::string ReadKeyFile(const std::string& FileName)
{
    std::string bytes;
    if (!BoundedFileReader::Read(FileName, MaxKeyFileSize, bytes).Ok())
        throw EFOpenError(FileErrors::CannotOpenFile(FileName));
    return bytes;
}

void WipeKeyFile(const std::string& FileName)
{
    struct stat st {};
    if (FileName.empty() || ::lstat(FileName.c_str(), &st) != 0)
        return;
    if (!S_ISREG(st.st_mode)) {
        // Not ours to overwrite: only the name goes.
        ::unlink(FileName.c_str());
        return;
    }
    WipeFile(FileName);
}

std::string ExtractKeyFile(const TRequestFile& Storage, const std::string& Id, const std::string& Dir)
{
    if (!IsCertificateIdentifier(Id))
        return {};
    const std::string path = ProgramPaths::WithSlash(Dir) + Id + ".PRI";
    const std::string bytes = HexToString(StorageFile::Reading(Storage).KeyFile(Id));

    // Whatever stands under the name is replaced, never written through.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        ::unlink(path.c_str());

    SafeReplace::Options options;
    options.NewFileMode = 0600;
    options.WipeOldVersion = true;
    const int error = SafeReplace::ReplaceFile(path, bytes.data(), bytes.size(), options);
    if (error != 0) {
        // A partial file may remain when the replacement failed late.
        try {
            WipeKeyFile(path);
        } catch (...) {
        }
        throw EFCreateError(FileErrors::CannotCreateFile(path) + ": " + std::strerror(error));
    }
    if (::stat(path.c_str(), &st) != 0 || st.st_size <= 0) {
        WipeKeyFile(path);
        return {};
    }
    return path;
}

int RemoveLeftoverKeyFiles(const std::string& Folder)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(Folder.c_str()), ::closedir);
    if (!dir)
        return 0;
    const std::string folder = ProgramPaths::WithSlash(Folder);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() != 42 || name.compare(38, 4, ".PRI") != 0 || !IsCertificateIdentifier(name.substr(0, 38)))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
            || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            continue; // a folder or a special file is not ours
        if (SafeReplace::WipeAndRemove(folder + name) == 0)
            ++removed;
    }
    return removed;
}

std::string PlainFileName(const std::string& Name, const std::string& Fallback)
{
    std::string part = Name;
    const std::size_t cut = part.find_last_of("/\\:");
    if (cut != std::string::npos)
        part = part.substr(cut + 1);
    std::string clean;
    for (const char c : part) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            clean += c;
    }
    if (clean.empty() || clean == "." || clean == "..")
        return Fallback;
    return clean;
}
