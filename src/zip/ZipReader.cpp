#include "zip/ZipReader.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ZipReader::~ZipReader()
{
    Close();
}

void ZipReader::Close()
{
    if (archive_)
        zip_discard(archive_); // read-only: nothing to write back
    archive_ = nullptr;
    names_.clear();
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool ZipReader::Open(const std::string& Path)
{
    Close();
    // Only a regular file: a pipe or a device named HELP.DAT would block or
    // never end. O_NONBLOCK keeps the open itself from waiting on a FIFO.
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    int error = 0;
    zip* archive = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (!archive) {
        ::close(fd);
        return false;
    }
    // zip_fdopen has taken its own descriptor and closed ours.
    return Adopt(archive);
}

bool ZipReader::OpenBytes(std::string Bytes)
{
    Close();
    buffer_ = std::move(Bytes);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(buffer_.data(), buffer_.size(), 0, &error);
    zip* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive && source)
        zip_source_free(source);
    zip_error_fini(&error);
    if (!archive) {
        buffer_.clear();
        return false;
    }
    return Adopt(archive);
}

bool ZipReader::Adopt(zip* Archive)
{
    archive_ = Archive;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, zip_uint64_t(i), 0);
        names_.emplace_back(name ? name : "");
    }
    return true;
}

ZipReader::TExtract ZipReader::Extract(const std::string& Name, std::string& Bytes, std::uint64_t Limit) const
{
    Bytes.clear();
    if (!archive_ || Name.empty() || Name.find('\0') != std::string::npos)
        return TExtract::Missing;
    zip_int64_t index = zip_name_locate(archive_, Name.c_str(), 0);
    if (index < 0)
        index = zip_name_locate(archive_, Name.c_str(), ZIP_FL_NOCASE);
    if (index < 0)
        return TExtract::Missing;

    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_, zip_uint64_t(index), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && st.size > Limit)
        return TExtract::TooLarge;

    zip_file_t* file = zip_fopen_index(archive_, zip_uint64_t(index), 0);
    if (!file)
        return TExtract::Damaged;
    // The declared size may lie: read in chunks and stop one past the bound.
    TExtract result = TExtract::Ok;
    char chunk[65536];
    for (;;) {
        const zip_int64_t got = zip_fread(file, chunk, sizeof chunk);
        if (got < 0) {
            result = TExtract::Damaged;
            break;
        }
        if (got == 0)
            break;
        if (Bytes.size() + std::uint64_t(got) > Limit) {
            result = TExtract::TooLarge;
            break;
        }
        Bytes.append(chunk, std::size_t(got));
    }
    zip_fclose(file);
    if (result != TExtract::Ok) {
        Bytes.clear();
        Bytes.shrink_to_fit();
    }
    return result;
}

std::string ZipReader::ExtractToString(const std::string& Name, std::uint64_t Limit) const
{
    std::string bytes;
    Extract(Name, bytes, Limit);
    return bytes;
}
