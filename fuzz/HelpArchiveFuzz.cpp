// HELP.DAT is outside input: any bytes given as the help archive must open or
// be refused without a crash, and every entry must extract whole, be refused
// above the bound or give nothing, never more than the bound.
#include "zip/ZipReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr std::uint64_t kLimit = 1u << 20;
    ZipReader zip;
    if (!zip.OpenBytes(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    std::string bytes;
    for (const std::string& name : zip.Names()) {
        const ZipReader::TExtract result = zip.Extract(name, bytes, kLimit);
        if (bytes.size() > kLimit || (result != ZipReader::TExtract::Ok && !bytes.empty()))
            std::abort();
    }
    // The contents page and a name that is surely absent, as the viewer asks.
    zip.Extract("index.htm", bytes, kLimit);
    if (zip.Extract("\x01no such entry", bytes, kLimit) != ZipReader::TExtract::Missing || !bytes.empty())
        std::abort();
    return 0;
}
