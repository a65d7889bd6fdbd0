// After a signature, a password change or an update of the user data, no copy
// of the private key may be left anywhere in the process's memory, freed
// blocks included. Every block that OpenSSL frees in
// this test process is kept instead of being given back (a hook installed
// before OpenSSL's first allocation), so that what a block held when it was
// freed stays in place; after the key is closed, every writable mapping of
// the process is searched for the private exponent and a prime, in either
// byte order. The key is made and looked at in a child process, so that this
// process never held it before the signature.
#include "support/Sanitizers.h"
#include "KitLibrary.h"
#include "kit/KeyFile.h"
#include "kit/KeyProtection.h"

#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// The needle is held masked, so that this process holds no copy of it.
constexpr unsigned char kMask = 0xA5;

// How often the unmasked needle occurs in the writable mappings.
int CountInMemory(const std::vector<unsigned char>& masked)
{
    std::ifstream maps("/proc/self/maps");
    const int mem = ::open("/proc/self/mem", O_RDONLY);
    if (mem < 0)
        return -1;
    const std::size_t n = masked.size();
    const unsigned char first = static_cast<unsigned char>(masked[0] ^ kMask);
    std::vector<unsigned char> buffer(1 << 20);
    int hits = 0;
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms;
        fields >> range >> perms;
        if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w' || line.find("[vvar]") != std::string::npos
            || line.find("[vsyscall]") != std::string::npos)
            continue;
        const auto dash = range.find('-');
        const unsigned long start = std::stoul(range.substr(0, dash), nullptr, 16);
        const unsigned long end = std::stoul(range.substr(dash + 1), nullptr, 16);
        // Reserved address space (a sanitizer's shadow) is no heap of ours.
        if (end - start > (1ul << 32))
            continue;
        // Read in overlapping pieces so that no occurrence is cut in two.
        for (unsigned long at = start; at < end;) {
            const std::size_t want = std::min<unsigned long>(buffer.size(), end - at);
            const ssize_t got = ::pread(mem, buffer.data(), want, static_cast<off_t>(at));
            if (got <= 0)
                break;
            const unsigned char* p = buffer.data();
            const unsigned char* stop = buffer.data() + got;
            while (stop - p >= static_cast<std::ptrdiff_t>(n)) {
                p = static_cast<const unsigned char*>(
                    std::memchr(p, first, static_cast<std::size_t>(stop - p) - n + 1));
                if (p == nullptr)
                    break;
                std::size_t i = 1;
                while (i < n && p[i] == static_cast<unsigned char>(masked[i] ^ kMask))
                    ++i;
                if (i == n)
                    ++hits;
                ++p;
            }
            if (static_cast<std::size_t>(got) < want)
                break;
            at += static_cast<unsigned long>(got) > n ? static_cast<unsigned long>(got) - n + 1
                                                      : static_cast<unsigned long>(got);
        }
    }
    ::close(mem);
    return hits;
}

const char* const kPassword = "SENHA1234ABCD";

// Made in a child: a key file at Path and, masked, 32 bytes from the middle of
// the private exponent and of the first prime, big-endian.
bool MakeKeyInChild(kittest::KitLibrary& kit, const fs::path& path, std::vector<unsigned char>& d,
                    std::vector<unsigned char>& p)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
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
        unsigned char bytes[2][128];
        for (int i = 0; i < 2; ++i) {
            BIGNUM* bn = nullptr;
            const int size = i == 0 ? 128 : 64;
            if (EVP_PKEY_get_bn_param(key.get(), i == 0 ? OSSL_PKEY_PARAM_RSA_D : OSSL_PKEY_PARAM_RSA_FACTOR1, &bn) != 1
                || BN_bn2binpad(bn, bytes[i], size) != size)
                ::_exit(3);
            const int from = size / 2 - 16;
            for (int k = 0; k < 32; ++k)
                bytes[i][k] = static_cast<unsigned char>(bytes[i][from + k] ^ kMask);
            if (::write(fds[1], bytes[i], 32) != 32)
                ::_exit(4);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    d.resize(32);
    p.resize(32);
    const bool read = ::read(fds[0], d.data(), 32) == 32 && ::read(fds[0], p.data(), 32) == 32;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<unsigned char> Reversed(std::vector<unsigned char> bytes)
{
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

TEST(KeyMemory, NoCopyOfThePrivateKeyIsLeftAfterAnyStepAndClosing)
{
    if (kUnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator keeps the heap in reserved space that is not searched";
    ASSERT_TRUE(g_hookInstalled) << "OpenSSL allocated before the hook";
    kittest::KitLibrary kit{QUORVEX_APP_DIR HL_KIT_LIBRARY_NAME};
    ASSERT_TRUE(kit.ok()) << kit.error;
    std::string pattern = (fs::temp_directory_path() / "kitmem-XXXXXX").string();
    const fs::path dir = ::mkdtemp(pattern.data());
    const fs::path key = dir / "{KEY}.PRI";

    std::vector<unsigned char> d, p;
    ASSERT_TRUE(MakeKeyInChild(kit, key, d, p));
    // The search itself finds nothing before the key was opened here.
    ASSERT_EQ(0, CountInMemory(d));

    // Each step that opens the private key, the signature first; the search
    // runs once the medium is closed again.
    std::array<unsigned char, HL_DIGEST_SIZE> digest{};
    digest.fill(0x42);
    std::array<unsigned char, HL_SIGNATURE_SIZE> signature{};
    std::array<unsigned char, HL_INFO_SIZE> info{};
    info.fill(0x20);
    struct Step {
        const char* name;
        std::function<int32_t(int32_t)> run;
    };
    const Step steps[] = {
        {"signing",
         [&](int32_t h) {
             const int32_t r = kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, HL_PADDING_PKCS1_V15);
             return r != 0 ? r
                           : kit.sign(h, digest.data(), HL_DIGEST_SIZE, signature.data(), kPassword,
                                      HL_HASH_ALG_SHA256_16);
         }},
        {"changing the password", [&](int32_t h) { return kit.changePassword(h, kPassword, kPassword); }},
        {"updating the user data", [&](int32_t h) { return kit.updateUserData(h, info.data(), kPassword); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        int32_t h = -1;
        ASSERT_EQ(0, kit.on(&h, HL_MODE_KEY_FILE, key.c_str()));
        ASSERT_EQ(0, step.run(h));
        ASSERT_EQ(0, kit.off(h));

        EXPECT_EQ(0, CountInMemory(d)) << "private exponent, big-endian (the DER encoding)";
        EXPECT_EQ(0, CountInMemory(Reversed(d))) << "private exponent, little-endian (a number's words)";
        EXPECT_EQ(0, CountInMemory(p)) << "first prime, big-endian";
        EXPECT_EQ(0, CountInMemory(Reversed(p))) << "first prime, little-endian";
    }
    fs::remove_all(dir);
}

} // namespace
