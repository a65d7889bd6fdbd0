// Hex text comes from data, response and export files: any bytes must decode
// without a crash, two digits per byte, and decoding what we encode gives the
// bytes back.
#include "crypto/FormatHex.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string decoded = HexToString(input);
    if (decoded.size() != size / 2)
        std::abort();
    auto stream = HexToStream(input);
    if (stream->str() != decoded || stream->tellg() != 0)
        std::abort();

    // Canonical text (upper-case digits) survives the round trip unchanged.
    const std::string hex = StringToHex(decoded);
    if (HexToString(hex) != decoded)
        std::abort();
    std::string again;
    StreamToHex(*stream, again);
    if (again != hex)
        std::abort();
    return 0;
}
