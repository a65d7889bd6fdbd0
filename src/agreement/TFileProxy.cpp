#include "agreement/TFileProxy.h"

#include "agreement/UriToolkit.h"
#include "base/BoundedFileReader.h"
#include "base/SafeReplace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct TFileProxy::Output {
    SafeReplace::Writer Writer;
    bool Failed = false;
};

namespace {

// Reads the regular file at Path whole; false for anything else (a folder,
// a device, a pipe that would block the run, a file too large to hold).
bool ReadWhole(const std::string& Path, std::string& Data)
{
    return BoundedFileReader::Read(Path, static_cast<std::size_t>(TFileProxy::MaxDocumentSize), Data).Ok();
}

} // namespace

TFileProxy::TFileProxy()
{
    AddScheme("file");
}

TFileProxy::~TFileProxy()
{
    for (auto& [handle, output] : outputs_)
        output->Writer.Abort();
}

std::string TFileProxy::PathOfRest(const std::string& Rest)
{
    std::string raw;
    if (const std::size_t at = Rest.find("://"); at != std::string::npos)
        raw = Rest.substr(at + 3);
    else if (Rest.size() > 2)
        raw = Rest.substr(2);
    const std::string path = UriToolkit::PercentDecode(raw);
    // Only absolute paths: a relative one would depend on the working
    // folder, and a NUL would cut the name short.
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return {};
    return path;
}

int TFileProxy::GetAll(const std::string&, const std::string& Rest, const char*& Buffer, int& ByteCount)
{
    Buffer = nullptr;
    ByteCount = 0;
    const std::string path = PathOfRest(Rest);
    if (path.empty())
        return 1;
    auto data = std::make_unique<std::string>();
    if (!ReadWhole(path, *data))
        return 1;
    // The document ends at its first NUL byte, as the processor reads it.
    const std::size_t length = std::strlen(data->c_str());
    Buffer = data->c_str();
    ByteCount = static_cast<int>(length);
    buffers_[Buffer] = std::move(data);
    return 0;
}

int TFileProxy::FreeMemory(const char* Buffer)
{
    return buffers_.erase(Buffer) ? 0 : 1;
}

int TFileProxy::Open(const std::string&, const std::string& Rest, Handle& H)
{
    H = 0;
    const std::string path = PathOfRest(Rest);
    if (path.empty())
        return 1;
    auto output = std::make_unique<Output>();
    SafeReplace::Options options;
    options.NewFileMode = 0644;
    if (output->Writer.Begin(path, options) != 0)
        return 1;
    H = next_++;
    outputs_[H] = std::move(output);
    return 0;
}

int TFileProxy::Put(Handle H, const char* Buffer, int& ByteCount)
{
    auto it = outputs_.find(H);
    if (it == outputs_.end() || ByteCount < 0) {
        ByteCount = 0;
        return 1;
    }
    if (it->second->Writer.Write(Buffer, static_cast<std::size_t>(ByteCount)) != 0) {
        it->second->Failed = true;
        ByteCount = 0;
        return 1;
    }
    return 0;
}

int TFileProxy::Close(Handle H)
{
    auto it = outputs_.find(H);
    if (it == outputs_.end())
        return 1;
    std::unique_ptr<Output> output = std::move(it->second);
    outputs_.erase(it);
    if (output->Failed) {
        output->Writer.Abort();
        return 1;
    }
    return output->Writer.Commit() == 0 ? 0 : 1;
}

bool TFileProxy::HasHandle(Handle H)
{
    return outputs_.count(H) != 0;
}

int TFileProxy::Get(Handle, char*, int& ByteCount)
{
    // Handles are opened for writing only: nothing can be read through one.
    ByteCount = 0;
    return 1;
}
