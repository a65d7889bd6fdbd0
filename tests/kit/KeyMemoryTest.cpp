// After a signature, a password change or an update of the user data, no
// piece of any private number of the key (d, p, q, dp, dq, qinv, in either
// byte order), nor any piece of the decrypted key in its DER forms (the
// RSAPrivateKey and the PKCS#8 structure around it, tags and lengths
// included), may be left anywhere in the process's memory, freed blocks
// included. Each step runs in a fresh process that loads the kit and sets up
// OpenSSL for the first time, as the client does for one signature. Every
// block that OpenSSL frees there is kept instead of being given back (a hook
// installed before OpenSSL's first allocation), so that what a block held
// when it was freed stays in place; every writable mapping is searched after
// opening the key file, after the step and after closing. The key is made and
// looked at in another child, so that no searching process held it before.
#include "support/MemorySearch.h"
#include "support/Sanitizers.h"
#include "KitLibrary.h"
#include "kit/KeyFile.h"
#include "kit/KeyProtection.h"
#include "kit/KitCrypto.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Under the address sanitizer the heap lives in reserved space that the
// search skips, and blocks never given back would be reported as leaks: the
// test does not run there.
constexpr bool kUnderAddressSanitizer = testsupport::UnderAddressSanitizer;

// ---- OpenSSL's allocations, never given back ----------------------------------

struct alignas(16) BlockHeader {
    std::size_t size;
};

void* KeepingMalloc(std::size_t size, const char*, int)
{
    auto* header = static_cast<BlockHeader*>(std::malloc(size + sizeof(BlockHeader)));
    if (header == nullptr)
        return nullptr;
    header->size = size;
    return header + 1;
}

void KeepingFree(void*, const char*, int)
{
    // Kept as it is: its bytes stay where the scan can see them.
}

void* KeepingRealloc(void* old, std::size_t size, const char* file, int line)
{
    if (old == nullptr)
        return KeepingMalloc(size, file, line);
    void* fresh = KeepingMalloc(size, file, line);
    if (fresh != nullptr)
        std::memcpy(fresh, old, std::min(size, (static_cast<BlockHeader*>(old) - 1)->size));
    return fresh;
}

bool g_hookInstalled = false;

__attribute__((constructor(101))) void InstallKeepingHook()
{
    if (!kUnderAddressSanitizer)
        g_hookInstalled = CRYPTO_set_mem_functions(KeepingMalloc, KeepingRealloc, KeepingFree) == 1;
}

// ---- searching the process's memory -------------------------------------------

// A needle of a number is 8 bytes (one word of it), taken at every offset, so
// that any fragment of a number of 8 bytes or more is found; a needle of a
// DER form is 16 bytes, taken at every offset, so that a copy of the encoded
// key is found wherever it was cut.
constexpr unsigned char kMask = testsupport::kMemoryMask;
constexpr std::size_t kPiece = 8;
constexpr std::size_t kDerPiece = 16;

using Needle = testsupport::MemoryNeedle;
using testsupport::FoundInMemory;

const char* const kPassword = "SENHA1234ABCD";

// The six private numbers of an RSAPrivateKey and their sizes in bytes.
struct Component {
    const char* name;
    const char* param;
    int size;
};
const Component kComponents[] = {
    {"d", OSSL_PKEY_PARAM_RSA_D, 128},         {"p", OSSL_PKEY_PARAM_RSA_FACTOR1, 64},
    {"q", OSSL_PKEY_PARAM_RSA_FACTOR2, 64},    {"dp", OSSL_PKEY_PARAM_RSA_EXPONENT1, 64},
    {"dq", OSSL_PKEY_PARAM_RSA_EXPONENT2, 64}, {"qinv", OSSL_PKEY_PARAM_RSA_COEFFICIENT1, 64},
};

// The DER forms of the private key that a decoder, an encoder or a copy may
// leave behind.
const char* const kDerForms[] = {"RSAPrivateKey DER", "PKCS#8 DER"};

// Writes Bytes masked, after their length.
bool SendMasked(int fd, std::vector<unsigned char> bytes)
{
    const auto size = static_cast<std::uint32_t>(bytes.size());
    for (auto& b : bytes)
        b = static_cast<unsigned char>(b ^ kMask);
    return ::write(fd, &size, sizeof size) == sizeof size
           && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool ReceiveMasked(int fd, std::vector<unsigned char>& masked)
{
    std::uint32_t size = 0;
    if (::read(fd, &size, sizeof size) != sizeof size || size > 4096)
        return false;
    masked.assign(size, 0);
    std::size_t got = 0;
    for (ssize_t n; got < size && (n = ::read(fd, masked.data() + got, size - got)) > 0;)
        got += static_cast<std::size_t>(n);
    return got == size;
}

// Made in a child, so that this process never loads the kit nor sets up
// OpenSSL: a key file at Path and, masked, every private number of it,
// big-endian, and the key in each of its DER forms.
bool MakeKeyInChild(const fs::path& path, std::vector<std::vector<unsigned char>>& numbers,
                    std::vector<std::vector<unsigned char>>& ders)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        kittest::KitLibrary kit{QUORVEX_APP_DIR HL_KIT_LIBRARY_NAME};
        if (!kit.ok())
            ::_exit(1);
        std::array<unsigned char, HL_INFO_SIZE> info{};
        std::array<unsigned char, HL_SEED_SIZE> seed{};
        seed.fill(0x33);
        std::array<unsigned char, HL_GENERATE_OUT_SIZE> out{};
        int32_t h = -1;
        if (kit.on(&h, HL_MODE_KEY_FILE, path.c_str()) != 0 || kit.format(h) != 0
            || kit.generate(h, info.data(), "x", 1, kPassword, kPassword, seed.data(), out.data()) != 0
            || kit.off(h) != 0)
            ::_exit(1);
        std::ifstream in(path, std::ios::binary);
        const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        kit::KeyFile file;
        if (kit::ParseKeyFile(reinterpret_cast<const std::uint8_t*>(image.data()), image.size(), file) != HL_OK)
            ::_exit(2);
        kit::EvpPkeyPtr key = kit::UnlockPrivateKey(file, kPassword);
        for (const Component& c : kComponents) {
            BIGNUM* bn = nullptr;
            unsigned char bytes[128];
            if (EVP_PKEY_get_bn_param(key.get(), c.param, &bn) != 1 || BN_bn2binpad(bn, bytes, c.size) != c.size)
                ::_exit(3);
            BN_clear_free(bn);
            for (int k = 0; k < c.size; ++k)
                bytes[k] = static_cast<unsigned char>(bytes[k] ^ kMask);
            if (::write(fds[1], bytes, static_cast<std::size_t>(c.size)) != c.size)
                ::_exit(4);
        }
        // As OpenSSL encodes them, independently of the kit's own encoder.
        unsigned char* der = nullptr;
        const int derSize = i2d_PrivateKey(key.get(), &der);
        if (derSize <= 0 || !SendMasked(fds[1], std::vector<unsigned char>(der, der + derSize)))
            ::_exit(5);
        PKCS8_PRIV_KEY_INFO* info8 = EVP_PKEY2PKCS8(key.get());
        unsigned char* pkcs8 = nullptr;
        const int pkcs8Size = info8 == nullptr ? -1 : i2d_PKCS8_PRIV_KEY_INFO(info8, &pkcs8);
        if (pkcs8Size <= 0 || !SendMasked(fds[1], std::vector<unsigned char>(pkcs8, pkcs8 + pkcs8Size)))
            ::_exit(6);
        ::_exit(0);
    }
    ::close(fds[1]);
    bool read = true;
    numbers.clear();
    for (const Component& c : kComponents) {
        std::vector<unsigned char> masked(static_cast<std::size_t>(c.size));
        read = read && ::read(fds[0], masked.data(), masked.size()) == c.size;
        numbers.push_back(std::move(masked));
    }
    ders.clear();
    for (std::size_t i = 0; i < std::size(kDerForms); ++i) {
        std::vector<unsigned char> masked;
        read = read && ReceiveMasked(fds[0], masked);
        ders.push_back(std::move(masked));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Every 8-byte piece of every number, in both byte orders: the DER and
// OpenSSL's parameters hold them big-endian, a BIGNUM's words little-endian;
// and every 16-byte piece of each DER form (these arrive masked).
std::vector<Needle> Needles(const std::vector<std::vector<unsigned char>>& numbers,
                            const std::vector<std::vector<unsigned char>>& ders)
{
    std::vector<Needle> needles;
    for (std::size_t c = 0; c < numbers.size(); ++c) {
        for (const bool little : {false, true}) {
            std::vector<unsigned char> bytes = numbers[c];
            if (little)
                std::reverse(bytes.begin(), bytes.end());
            for (std::size_t at = 0; at + kPiece <= bytes.size(); at += 1) {
                Needle n;
                n.name = std::string(kComponents[c].name) + (little ? ", little-endian" : ", big-endian");
                n.masked.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(at + kPiece));
                needles.push_back(std::move(n));
            }
        }
    }
    // The modulus and the public exponent come first in both forms, and the
    // public key holds them too: only the pieces that reach into d (the
    // first private number) on are the private key's.
    std::vector<unsigned char> d = numbers.empty() ? std::vector<unsigned char>{} : numbers[0];
    d.erase(d.begin(), std::find_if(d.begin(), d.end(), [](unsigned char b) { return b != kMask; }));
    for (std::size_t f = 0; f < ders.size(); ++f) {
        const auto dAt = std::search(ders[f].begin(), ders[f].end(), d.begin(), d.end());
        if (d.empty() || dAt == ders[f].end())
            return {}; // no key to look for: the sanity checks fail
        const auto privateFrom = static_cast<std::size_t>(dAt - ders[f].begin());
        for (std::size_t at = privateFrom + 1 > kDerPiece ? privateFrom + 1 - kDerPiece : 0;
             at + kDerPiece <= ders[f].size(); ++at) {
            Needle n;
            n.name = kDerForms[f];
            n.masked.assign(ders[f].begin() + static_cast<std::ptrdiff_t>(at),
                            ders[f].begin() + static_cast<std::ptrdiff_t>(at + kDerPiece));
            needles.push_back(std::move(n));
        }
    }
    return needles;
}

// One step that opens the private key, in a fresh process: the kit is loaded
// there and OpenSSL set up for the first time. The memory is searched after
// opening the key file, after the step and after closing; each search
// reports what it found as one line (empty when nothing).
std::vector<std::string> RunInFreshProcess(const fs::path& key, const std::vector<Needle>& needles,
                                           const std::function<int32_t(kittest::KitLibrary&, int32_t)>& step)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {"(no pipe)"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        auto report = [&](const std::set<std::string>& found) {
            std::string text;
            for (const std::string& name : found)
                text += (text.empty() ? "" : "; ") + name;
            text += '\n';
            if (::write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
                ::_exit(5);
        };
        kittest::KitLibrary kit{QUORVEX_APP_DIR HL_KIT_LIBRARY_NAME};
        int32_t h = -1;
        if (!kit.ok() || kit.on(&h, HL_MODE_KEY_FILE, key.c_str()) != 0)
            ::_exit(1);
        report(FoundInMemory(needles));
        if (step(kit, h) != 0)
            ::_exit(2);
        report(FoundInMemory(needles));
        if (kit.off(h) != 0)
            ::_exit(3);
        report(FoundInMemory(needles));
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string all;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
        all.append(chunk, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::vector<std::string> lines;
    std::istringstream in(all);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        lines.push_back("(the step failed: " + std::to_string(status) + ")");
    return lines;
}

TEST(KeyMemory, NoPrivateNumberIsLeftAfterAnyStepInAFreshProcess)
{
    if (kUnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator keeps the heap in reserved space that is not searched";
    ASSERT_TRUE(g_hookInstalled) << "OpenSSL allocated before the hook";
    std::string pattern = (fs::temp_directory_path() / "kitmem-XXXXXX").string();
    const fs::path dir = ::mkdtemp(pattern.data());
    const fs::path key = dir / "{KEY}.PRI";

    std::vector<std::vector<unsigned char>> numbers, ders;
    ASSERT_TRUE(MakeKeyInChild(key, numbers, ders));
    const std::vector<Needle> needles = Needles(numbers, ders);
    // The search finds nothing in a process that never held the key, and
    // finds the key in one that holds it.
    ASSERT_EQ(FoundInMemory(needles), std::set<std::string>{});
    kit::EvpPkeyPtr held;
    kit::SecureBytes heldDer;
    const std::vector<std::string> holding = RunInFreshProcess(key, needles, [&](kittest::KitLibrary&, int32_t) {
        std::ifstream in(key, std::ios::binary);
        const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        kit::KeyFile file;
        if (kit::ParseKeyFile(reinterpret_cast<const std::uint8_t*>(image.data()), image.size(), file) != HL_OK)
            return -1;
        held = kit::UnlockPrivateKey(file, kPassword);
        heldDer = kit::PrivateKeyDer(held.get());
        return 0;
    });
    ASSERT_EQ(holding.size(), 3u);
    EXPECT_EQ(holding[0], "");
    EXPECT_NE(holding[1].find("d, little-endian"), std::string::npos) << holding[1];
    EXPECT_NE(holding[1].find("RSAPrivateKey DER"), std::string::npos) << holding[1];

    std::array<unsigned char, HL_DIGEST_SIZE> digest{};
    digest.fill(0x42);
    std::array<unsigned char, HL_INFO_SIZE> info{};
    info.fill(0x20);
    struct Step {
        const char* name;
        std::function<int32_t(kittest::KitLibrary&, int32_t)> run;
    };
    const Step steps[] = {
        {"signing",
         [&](kittest::KitLibrary& kit, int32_t h) {
             std::array<unsigned char, HL_SIGNATURE_SIZE> signature{};
             const int32_t r = kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, HL_PADDING_PKCS1_V15);
             return r != 0 ? r
                           : kit.sign(h, digest.data(), HL_DIGEST_SIZE, signature.data(), kPassword,
                                      HL_HASH_ALG_SHA256_16);
         }},
        {"changing the password",
         [&](kittest::KitLibrary& kit, int32_t h) { return kit.changePassword(h, kPassword, kPassword); }},
        {"updating the user data",
         [&](kittest::KitLibrary& kit, int32_t h) { return kit.updateUserData(h, info.data(), kPassword); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::vector<std::string> found = RunInFreshProcess(key, needles, step.run);
        EXPECT_EQ(found, (std::vector<std::string>{"", "", ""})) << "after opening, after the step, after closing";
    }
    fs::remove_all(dir);
}
} // namespace
