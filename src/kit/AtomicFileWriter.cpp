#include "kit/AtomicFileWriter.h"

#include "kit/HlKit.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kit {

namespace {

std::string FolderOf(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
  if (path.empty())
    return false;
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkstemp creates the file readable by its owner only, which suits a key file.
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok)
    ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(name.data());
    return false;
  }
  // The rename is durable only once the folder itself is on disk; the content
  // is already safe, so a folder that cannot be flushed does not undo it.
  const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::int32_t ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out,
                           bool& missing)
{
  missing = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    missing = (errno == ENOENT);
    return HL_E_FILE_OPEN;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return HL_E_FILE_READ;
  }
  if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > maxSize) {
    ::close(fd);
    return HL_E_FILE_FORMAT;
  }
  std::string content;
  content.resize(maxSize + 1);
  std::size_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, content.data() + total, content.size() - total);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ::close(fd);
      return HL_E_FILE_READ;
    }
    if (n == 0)
      break;
    total += static_cast<std::size_t>(n);
    if (total > maxSize) {
      // Grew while we read it: not a file we can trust.
      ::close(fd);
      return HL_E_FILE_FORMAT;
    }
  }
  ::close(fd);
  content.resize(total);
  out = std::move(content);
  return HL_OK;
}

} // namespace kit
