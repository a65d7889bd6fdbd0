// The key library's key-file reader on arbitrary bytes: a damaged key file
// must give a code, never a crash, and what it accepts must write back to the
// very same bytes.
//
// Input: one control byte, then the file image. Control bit 0 recomputes the
// trailing checksum first, so that the fuzzer gets past it into the fields;
// bit 1 also tries to open the private key when the file's key derivation is
// the cheapest one the reader accepts; bit 2 hands the bytes instead to the
// kit's own reader of private keys (strict DER), whose every accepted input
// must write back to the very same bytes.
#include "kit/KeyFile.h"
#include "kit/KeyProtection.h"
#include "kit/KitError.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t control = data[0];
    kit::Bytes image(data + 1, data + size);
    if ((control & 1) && image.size() >= 32) {
        const kit::Sha256Digest sum = kit::Sha256(image.data(), image.size() - 32);
        std::memcpy(image.data() + image.size() - 32, sum.data(), sum.size());
    }

    if (control & 4) {
        const kit::SecureBytes der(image.begin(), image.end());
        if (kit::EvpPkeyPtr key = kit::LoadPrivateKey(der)) {
            if (kit::PrivateKeyDer(key.get()) != der)
                std::abort();
        }
        return 0;
    }

    kit::KeyFile file;
    const std::int32_t code = kit::ParseKeyFile(image.data(), image.size(), file);
    if (code != HL_OK) {
        if (code != HL_E_FILE_FORMAT && code != HL_E_FILE_VERSION)
            std::abort();
        return 0;
    }
    if (kit::SerializeKeyFile(file) != image)
        std::abort();

    if ((control & 2) && file.Kdf.Log2N == 10 && file.Kdf.R <= 8 && file.Kdf.P == 1) {
        try {
            kit::UnlockPrivateKey(file, "FUZZSENHA");
        } catch (const kit::KitError& e) {
            if (e.Code != HL_E_WRONG_PASSWORD && e.Code != HL_E_FILE_FORMAT)
                std::abort();
        }
    }
    return 0;
}
