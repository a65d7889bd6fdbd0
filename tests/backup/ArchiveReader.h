#pragma once
// A reader of the backup archive written from the format description alone,
// sharing no code with TBackupFile: it checks what the component writes.
// Every compressed chunk goes through zlib's own uncompress().
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace archivecheck {

struct Chunk {
    std::int32_t Length = 0; // as stored: > 0 compressed, < 0 raw
    std::size_t Plain = 0;   // bytes after decompression
    std::string Stored;      // the chunk's bytes as they stand in the archive
};

struct Entry {
    std::string Name;
    std::int32_t Stamp = 0;
    std::string Data;
    std::vector<Chunk> Chunks;
    int Segments = 0;
};

struct Archive {
    std::string Title;
    std::int32_t TotalSize = 0;
    std::int32_t FileCount = 0;
    std::vector<Entry> Entries;
    std::vector<std::string> Continuations; // "NEXT:DISK002", ...
    bool Terminated = false;
    // Why it ended early: "" when it ended at its final 0.
    std::string Problem;
};

// An archive may legitimately end early (a stopped backup); that is a
// finding, not an error of the reader.
struct EndsEarly : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EndsEarly("no such volume: " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Cursor {
public:
    explicit Cursor(std::string bytes) : b(std::move(bytes)) {}
    bool AtEnd() const { return pos >= b.size(); }
    std::int32_t Int()
    {
        Need(4);
        std::uint32_t v = 0;
        for (std::size_t i = 4; i-- > 0;)
            v = (v << 8) | static_cast<unsigned char>(b[pos + i]);
        pos += 4;
        return static_cast<std::int32_t>(v);
    }
    std::string Bytes(std::size_t n)
    {
        Need(n);
        std::string s = b.substr(pos, n);
        pos += n;
        return s;
    }

private:
    void Need(std::size_t n) const
    {
        if (b.size() - pos < n)
            throw EndsEarly("archive ends early");
    }
    std::string b;
    std::size_t pos = 0;
};

// One segment: "EC2\0", chunks, 0.
inline void ReadSegment(Cursor& c, Entry& e)
{
    if (c.Bytes(4) != std::string("EC2\0", 4))
        throw std::runtime_error("bad segment signature");
    ++e.Segments;
    for (;;) {
        const std::int32_t n = c.Int();
        if (n == 0)
            return;
        if (n > 0) {
            if (n > 16384)
                throw std::runtime_error("compressed chunk too long");
            const std::string z = c.Bytes(static_cast<std::size_t>(n));
            std::string plain(16384, '\0');
            uLongf got = plain.size();
            const int r = uncompress(reinterpret_cast<Bytef*>(plain.data()), &got,
                                     reinterpret_cast<const Bytef*>(z.data()), static_cast<uLong>(z.size()));
            if (r != Z_OK)
                throw std::runtime_error("chunk does not uncompress: " + std::to_string(r));
            if (got < 1)
                throw std::runtime_error("empty compressed chunk");
            e.Data.append(plain.data(), got);
            e.Chunks.push_back(Chunk{n, got, z});
        } else {
            const std::size_t m = static_cast<std::size_t>(-static_cast<std::int64_t>(n));
            if (m > 16384)
                throw std::runtime_error("raw chunk too long");
            const std::string raw = c.Bytes(m);
            e.Data += raw;
            e.Chunks.push_back(Chunk{n, m, raw});
        }
    }
}

inline std::string NextVolume(const std::string& path, const std::string& digits)
{
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    const std::string stem =
        (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path : path.substr(0, dot);
    return stem + "." + digits;
}

// Reads volume 1 from `first` and every continuation volume from disk.
inline Archive Read(const std::string& firstPath, const std::string* firstBytes = nullptr)
{
    Archive a;
    std::string path = firstPath;
    Cursor c(firstBytes ? *firstBytes : Slurp(path));
    const std::int32_t titleLen = c.Int();
    a.Title = c.Bytes(static_cast<std::size_t>(titleLen));
    a.TotalSize = c.Int();
    a.FileCount = c.Int();
    Entry* current = nullptr;
    try {
        while (true) {
            const std::int32_t len = c.Int();
            if (len == 0) {
                a.Terminated = true;
                if (!c.AtEnd())
                    throw std::runtime_error("bytes after the final 0");
                break;
            }
            if (len < 0)
                throw std::runtime_error("negative name length");
            const std::string name = c.Bytes(static_cast<std::size_t>(len));
            if (name.rfind("NEXT:DISK", 0) == 0) {
                if (name.size() != 12 || !c.AtEnd())
                    throw std::runtime_error("continuation record is not the end of its volume");
                a.Continuations.push_back(name);
                path = NextVolume(path, name.substr(9));
                c = Cursor(Slurp(path));
                if (!current)
                    throw std::runtime_error("continuation with no entry");
                ReadSegment(c, *current);
                continue;
            }
            a.Entries.push_back(Entry{});
            current = &a.Entries.back();
            current->Name = name;
            current->Stamp = c.Int();
            ReadSegment(c, *current);
        }
    } catch (const EndsEarly& e) {
        a.Problem = e.what();
    }
    return a;
}

inline Archive ReadBytes(const std::string& bytes)
{
    return Read("(stream)", &bytes);
}

} // namespace archivecheck
