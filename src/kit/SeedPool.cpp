#include "kit/SeedPool.h"

#include <openssl/crypto.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/random.h>

namespace kit {

void SystemRandom(void* out, std::size_t size)
{
    auto* p = static_cast<std::uint8_t*>(out);
    while (size > 0) {
        const ssize_t n = ::getrandom(p, size, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("system random source failed");
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

SeedPool::SeedPool() : ctx_(EVP_MD_CTX_new())
{
    if (!ctx_ || EVP_DigestInit_ex2(ctx_.get(), EVP_sha512(), nullptr) != 1)
        throw std::runtime_error("digest unavailable");
    std::uint8_t fresh[64];
    SystemRandom(fresh, sizeof fresh);
    Absorb(fresh, sizeof fresh);
    OPENSSL_cleanse(fresh, sizeof fresh);
}

void SeedPool::Absorb(const void* data, std::size_t size)
{
    if (finished_ || EVP_DigestUpdate(ctx_.get(), data, size) != 1)
        throw std::runtime_error("digest failed");
}

void SeedPool::AddMovement(int x, int y, std::uint64_t eventTimestamp)
{
    if (hasLast_ && x == lastX_ && y == lastY_)
        return;
    hasLast_ = true;
    lastX_ = x;
    lastY_ = y;
    // The high-resolution clock at the moment of delivery carries most of the
    // unpredictability; the position and the event's own timestamp add to it.
    const std::uint64_t now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint8_t record[4 + 4 + 8 + 8];
    std::memcpy(record, &x, 4);
    std::memcpy(record + 4, &y, 4);
    std::memcpy(record + 8, &eventTimestamp, 8);
    std::memcpy(record + 16, &now, 8);
    Absorb(record, sizeof record);
    ++movements_;
}

void SeedPool::Finish(std::uint8_t* seed)
{
    std::uint8_t fresh[64];
    SystemRandom(fresh, sizeof fresh);
    Absorb(fresh, sizeof fresh);
    finished_ = true;
    // Two SHA-512 outputs of the pool, told apart by a counter byte.
    std::uint8_t out[kSeedSize];
    for (std::uint8_t i = 0; i < 2; ++i) {
        EvpMdCtxPtr copy(EVP_MD_CTX_new());
        unsigned int length = 0;
        if (!copy || EVP_MD_CTX_copy_ex(copy.get(), ctx_.get()) != 1 || EVP_DigestUpdate(copy.get(), &i, 1) != 1
            || EVP_DigestFinal_ex(copy.get(), out + 64 * i, &length) != 1 || length != 64)
            throw std::runtime_error("digest failed");
    }
    std::uint8_t mask[kSeedSize];
    SystemRandom(mask, sizeof mask);
    for (std::size_t i = 0; i < kSeedSize; ++i)
        seed[i] = out[i] ^ mask[i];
    OPENSSL_cleanse(out, sizeof out);
    OPENSSL_cleanse(mask, sizeof mask);
    OPENSSL_cleanse(fresh, sizeof fresh);
}

} // namespace kit
