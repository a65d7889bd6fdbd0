#pragma once
// Builds archives byte by byte, including ones the component would never
// write (damage, names from another system, hostile volume sets).
#include <zlib.h>

#include <cstdint>
#include <string>

namespace {

// Little builder for archives the component would never write (damage,
// names from another system).
struct Builder {
    std::string b;
    Builder& Int(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            b += static_cast<char>((u >> (8 * i)) & 0xFF);
        return *this;
    }
    Builder& Str(const std::string& s) { return Int(static_cast<std::int32_t>(s.size())).Raw(s); }
    Builder& Raw(const std::string& s)
    {
        b += s;
        return *this;
    }
    Builder& Header(std::int32_t total = 100, std::int32_t files = 1) { return Str("").Int(total).Int(files); }
    Builder& Entry(const std::string& name, std::int32_t stamp = 0x5A210000)
    {
        return Str(name).Int(stamp).Raw(std::string("EC2\0", 4));
    }
    Builder& RawChunk(const std::string& data) { return Int(-static_cast<std::int32_t>(data.size())).Raw(data); }
    Builder& ZChunk(const std::string& data)
    {
        std::string out(compressBound(data.size()), '\0');
        uLongf n = out.size();
        compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()), data.size());
        out.resize(n);
        return Int(static_cast<std::int32_t>(n)).Raw(out);
    }
};

} // namespace
