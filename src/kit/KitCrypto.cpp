#include "kit/KitCrypto.h"

#include "kit/HlKit.h"
#include "kit/KitError.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>
#include <cstring>

namespace kit {

namespace {

using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BIGNUM, BN_free>>;

void Check(int ok)
{
    if (ok != 1)
        Fail(HL_E_CRYPTO);
}

// True when the key is RSA with the size and exponent that the formats fix
// (a 140-byte public key and 128-byte signatures depend on both).
bool IsOurRsaShape(EVP_PKEY* key)
{
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key) != kRsaBits)
        return false;
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &raw) != 1)
        return false;
    BignumPtr e(raw);
    return BN_is_word(e.get(), kRsaExponent) == 1;
}

} // namespace

bool UseLockedMemory()
{
    if (CRYPTO_secure_malloc_initialized())
        return true;
    // 256 KiB: a few keys' worth of numbers and buffers, far below the usual
    // limit of locked memory per process.
    return CRYPTO_secure_malloc_init(std::size_t(1) << 18, 32) != 0;
}

Sha256Stream::Sha256Stream() : ctx_(EVP_MD_CTX_new())
{
    if (!ctx_)
        Fail(HL_E_NO_MEMORY);
    Check(EVP_DigestInit_ex2(ctx_.get(), EVP_sha256(), nullptr));
}

void Sha256Stream::Update(const void* data, std::size_t size)
{
    if (size > 0)
        Check(EVP_DigestUpdate(ctx_.get(), data, size));
}

Sha256Digest Sha256Stream::Final()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    Check(EVP_DigestFinal_ex(ctx_.get(), digest.data(), &length));
    if (length != digest.size())
        Fail(HL_E_CRYPTO);
    return digest;
}

Sha256Digest Sha256(const void* data, std::size_t size)
{
    Sha256Stream stream;
    stream.Update(data, size);
    return stream.Final();
}

void RandomBytes(void* out, std::size_t size)
{
    if (size > INT_MAX || RAND_bytes(static_cast<unsigned char*>(out), static_cast<int>(size)) != 1)
        Fail(HL_E_CRYPTO);
}

void MixSeed(const void* seed, std::size_t size)
{
    if (size == 0 || size > INT_MAX)
        Fail(HL_E_SEED);
    // The primary generator takes the seed as additional input to a reseed
    // from the system's entropy; the private generator (the one that key
    // generation draws from) is reseeded with it too, so the seed reaches the
    // key at once rather than at the next scheduled reseed.
    RAND_add(seed, static_cast<int>(size), 0.0);
    EVP_RAND_CTX* priv = RAND_get0_private(nullptr);
    if (priv == nullptr || EVP_RAND_reseed(priv, 0, nullptr, 0, static_cast<const unsigned char*>(seed), size) != 1)
        Fail(HL_E_SEED);
}

bool ScryptParamsAcceptable(const ScryptParams& params)
{
    if (params.Log2N < 10 || params.Log2N > 20 || params.R < 1 || params.R > 32 || params.P < 1 || params.P > 16)
        return false;
    const std::uint64_t n = 1ull << params.Log2N;
    // OpenSSL refuses an N of 2^(16 r) or more.
    if (16ull * params.R < 64 && n >= (1ull << (16 * params.R)))
        return false;
    // Memory is about 128 * r * N bytes; keep it under 256 MiB.
    const std::uint64_t memory = 128ull * params.R * n;
    if (memory > (256ull << 20))
        return false;
    // The work grows with N * r * p: a file may ask for at most a few times
    // what the kit writes, so that a tampered file cannot make one password
    // attempt take far longer than a real one.
    return n * params.R * params.P <= kScryptMaxWorkFactor * kScryptWrittenWork;
}

SecureBytes DeriveKey(const char* password, std::size_t passwordLength, const std::uint8_t* salt,
                      std::size_t saltLength, const ScryptParams& params)
{
    if (!ScryptParamsAcceptable(params))
        Fail(HL_E_FILE_FORMAT);
    EvpKdfPtr kdf(EVP_KDF_fetch(nullptr, "SCRYPT", nullptr));
    if (!kdf)
        Fail(HL_E_CRYPTO);
    EvpKdfCtxPtr ctx(EVP_KDF_CTX_new(kdf.get()));
    if (!ctx)
        Fail(HL_E_NO_MEMORY);
    std::uint64_t n = 1ull << params.Log2N;
    std::uint32_t r = params.R;
    std::uint32_t p = params.P;
    // The default ceiling (32 MiB) is below what our accepted parameters may need.
    std::uint64_t maxMemory = (256ull << 20) + (64ull << 20);
    static const char empty[1] = {0};
    OSSL_PARAM list[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(passwordLength ? password : empty),
                                          passwordLength),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(salt), saltLength),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxMemory),
        OSSL_PARAM_construct_end()};
    SecureBytes key(kAesKeySize);
    if (EVP_KDF_derive(ctx.get(), key.data(), key.size(), list) != 1) {
        // The parameters come from the file: whatever OpenSSL refuses besides
        // a lack of memory is a damaged file.
        const unsigned long error = ERR_peek_last_error();
        ERR_clear_error();
        Fail(ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE ? HL_E_NO_MEMORY : HL_E_FILE_FORMAT);
    }
    return key;
}

Bytes AesGcmSeal(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad, const SecureBytes& plain,
                 std::uint8_t* tag)
{
    if (key.size() != kAesKeySize || plain.size() > INT_MAX || aad.size() > INT_MAX)
        Fail(HL_E_CRYPTO);
    EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        Fail(HL_E_NO_MEMORY);
    Check(EVP_EncryptInit_ex2(ctx.get(), EVP_aes_256_gcm(), key.data(), nonce, nullptr));
    int length = 0;
    if (!aad.empty())
        Check(EVP_EncryptUpdate(ctx.get(), nullptr, &length, aad.data(), static_cast<int>(aad.size())));
    Bytes cipher(plain.size() + 16);
    int total = 0;
    if (!plain.empty()) {
        Check(EVP_EncryptUpdate(ctx.get(), cipher.data(), &length, plain.data(), static_cast<int>(plain.size())));
        total = length;
    }
    Check(EVP_EncryptFinal_ex(ctx.get(), cipher.data() + total, &length));
    total += length;
    cipher.resize(static_cast<std::size_t>(total));
    OSSL_PARAM get[] = {OSSL_PARAM_construct_octet_string(OSSL_CIPHER_PARAM_AEAD_TAG, tag, kGcmTagSize),
                        OSSL_PARAM_construct_end()};
    Check(EVP_CIPHER_CTX_get_params(ctx.get(), get));
    return cipher;
}

bool AesGcmOpen(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad, const Bytes& cipher,
                const std::uint8_t* tag, SecureBytes& plain)
{
    if (key.size() != kAesKeySize || cipher.size() > INT_MAX || aad.size() > INT_MAX)
        Fail(HL_E_CRYPTO);
    EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        Fail(HL_E_NO_MEMORY);
    Check(EVP_DecryptInit_ex2(ctx.get(), EVP_aes_256_gcm(), key.data(), nonce, nullptr));
    int length = 0;
    if (!aad.empty())
        Check(EVP_DecryptUpdate(ctx.get(), nullptr, &length, aad.data(), static_cast<int>(aad.size())));
    SecureBytes out(cipher.size() + 16);
    int total = 0;
    if (!cipher.empty()) {
        Check(EVP_DecryptUpdate(ctx.get(), out.data(), &length, cipher.data(), static_cast<int>(cipher.size())));
        total = length;
    }
    OSSL_PARAM set[] = {
        OSSL_PARAM_construct_octet_string(OSSL_CIPHER_PARAM_AEAD_TAG, const_cast<std::uint8_t*>(tag), kGcmTagSize),
        OSSL_PARAM_construct_end()};
    Check(EVP_CIPHER_CTX_set_params(ctx.get(), set));
    // The tag is checked here: a mismatch means the key (so the password) is
    // wrong or the protected data were altered. Nothing decrypted is kept.
    if (EVP_DecryptFinal_ex(ctx.get(), out.data() + total, &length) != 1) {
        OPENSSL_cleanse(out.data(), out.size());
        return false;
    }
    total += length;
    out.resize(static_cast<std::size_t>(total));
    plain = std::move(out);
    return true;
}

EvpPkeyPtr GenerateRsaKey(const void* seed, std::size_t seedSize)
{
    MixSeed(seed, seedSize);
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    if (!ctx)
        Fail(HL_E_CRYPTO);
    Check(EVP_PKEY_keygen_init(ctx.get()));
    Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), kRsaBits));
    BignumPtr e(BN_new());
    if (!e || BN_set_word(e.get(), kRsaExponent) != 1)
        Fail(HL_E_NO_MEMORY);
    Check(EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()));
    EVP_PKEY* raw = nullptr;
    Check(EVP_PKEY_generate(ctx.get(), &raw));
    EvpPkeyPtr key(raw);
    if (!IsOurRsaShape(key.get()))
        Fail(HL_E_CRYPTO);
    return key;
}

Bytes PublicKeyDer(EVP_PKEY* key)
{
    const int length = i2d_PublicKey(key, nullptr);
    if (length <= 0)
        Fail(HL_E_CRYPTO);
    Bytes der(static_cast<std::size_t>(length));
    unsigned char* p = der.data();
    if (i2d_PublicKey(key, &p) != length)
        Fail(HL_E_CRYPTO);
    return der;
}

namespace {

// The eight numbers of an RSAPrivateKey after its version, in their order.
const char* const kPrivateKeyParams[8] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                          OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                          OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                          OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};

// Room for one number: up to 4096 bits.
constexpr std::size_t kMaxNumberSize = 512;

// Big-endian bytes to the host's order and back (OSSL_PARAM numbers are in
// the host's order).
void ToHostOrder(const std::uint8_t* from, std::size_t size, std::uint8_t* to)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (std::size_t i = 0; i < size; ++i)
        to[i] = from[size - 1 - i];
#else
    std::memcpy(to, from, size);
#endif
}

// DER length octets.
void PutLength(SecureBytes& out, std::size_t length)
{
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t bytes[sizeof(std::size_t)];
    std::size_t n = 0;
    for (std::size_t v = length; v != 0; v >>= 8)
        bytes[n++] = static_cast<std::uint8_t>(v);
    out.push_back(static_cast<std::uint8_t>(0x80 | n));
    while (n > 0)
        out.push_back(bytes[--n]);
}

// A DER INTEGER from a non-negative number in the host's order, Size bytes.
void PutInteger(SecureBytes& out, const std::uint8_t* host, std::size_t size)
{
    // Most significant byte first, without leading zeros.
    std::size_t top = size;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (top > 0 && host[top - 1] == 0)
        --top;
    auto byteAt = [&](std::size_t i) { return host[top - 1 - i]; };
#else
    std::size_t lead = 0;
    while (lead < size && host[lead] == 0)
        ++lead;
    top = size - lead;
    auto byteAt = [&](std::size_t i) { return host[lead + i]; };
#endif
    const bool pad = top == 0 || (byteAt(0) & 0x80) != 0;
    out.push_back(0x02);
    PutLength(out, top + (pad ? 1 : 0));
    if (pad)
        out.push_back(0x00);
    for (std::size_t i = 0; i < top; ++i)
        out.push_back(byteAt(i));
}

// Strict DER reading of what PutInteger and PutLength write.
class DerReader {
public:
    DerReader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    bool Header(std::uint8_t tag, std::size_t& length)
    {
        if (end_ - p_ < 2 || *p_++ != tag)
            return false;
        const std::uint8_t first = *p_++;
        if (first < 0x80) {
            length = first;
        } else {
            const std::size_t n = first & 0x7F;
            if (n == 0 || n > 2 || static_cast<std::size_t>(end_ - p_) < n || *p_ == 0)
                return false;
            length = 0;
            for (std::size_t i = 0; i < n; ++i)
                length = (length << 8) | *p_++;
            if (length < 0x80)
                return false; // not the shortest form
        }
        return length <= static_cast<std::size_t>(end_ - p_);
    }
    // A non-negative INTEGER; its magnitude, most significant byte first.
    bool Integer(const std::uint8_t*& magnitude, std::size_t& size)
    {
        std::size_t length = 0;
        if (!Header(0x02, length) || length == 0)
            return false;
        const std::uint8_t* v = p_;
        p_ += length;
        if (v[0] & 0x80)
            return false; // negative
        if (v[0] == 0 && length > 1) {
            if ((v[1] & 0x80) == 0)
                return false; // a zero that is not needed
            ++v;
            --length;
        }
        magnitude = v;
        size = length;
        return true;
    }
    bool AtEnd() const { return p_ == end_; }
    const std::uint8_t* Position() const { return p_; }
    std::size_t Remaining() const { return static_cast<std::size_t>(end_ - p_); }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

} // namespace

// OpenSSL's own encoder and decoder of private keys copy the DER bytes into
// buffers that they free without wiping (a complete copy of the key was left
// in freed memory after every signature). Both ends are therefore done here:
// the numbers travel between the key and cleansing buffers as parameters, and
// the DER around them is written and read by hand.
SecureBytes PrivateKeyDer(EVP_PKEY* key)
{
    SecureBytes numbers(8 * kMaxNumberSize);
    OSSL_PARAM params[9];
    for (std::size_t i = 0; i < 8; ++i)
        params[i] = OSSL_PARAM_construct_BN(kPrivateKeyParams[i], numbers.data() + i * kMaxNumberSize, kMaxNumberSize);
    params[8] = OSSL_PARAM_construct_end();
    if (key == nullptr || EVP_PKEY_get_params(key, params) != 1)
        Fail(HL_E_CRYPTO);
    SecureBytes body;
    body.reserve(8 * (kMaxNumberSize + 4) + 3);
    const std::uint8_t version = 0;
    PutInteger(body, &version, 1);
    for (std::size_t i = 0; i < 8; ++i) {
        if (!OSSL_PARAM_modified(&params[i]) || params[i].return_size > kMaxNumberSize)
            Fail(HL_E_CRYPTO);
        PutInteger(body, numbers.data() + i * kMaxNumberSize, params[i].return_size);
    }
    SecureBytes der;
    der.reserve(body.size() + 4);
    der.push_back(0x30);
    PutLength(der, body.size());
    der.insert(der.end(), body.begin(), body.end());
    return der;
}

EvpPkeyPtr LoadPrivateKey(const SecureBytes& der)
{
    if (der.empty() || der.size() > INT_MAX)
        return nullptr;
    DerReader outer(der.data(), der.size());
    std::size_t length = 0;
    // One SEQUENCE and nothing after it.
    if (!outer.Header(0x30, length) || outer.Remaining() != length)
        return nullptr;
    DerReader r(outer.Position(), length);
    const std::uint8_t* version = nullptr;
    std::size_t versionSize = 0;
    // Version 0: two primes, no others.
    if (!r.Integer(version, versionSize) || versionSize != 1 || version[0] != 0)
        return nullptr;
    SecureBytes numbers(8 * kMaxNumberSize);
    OSSL_PARAM params[9];
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint8_t* magnitude = nullptr;
        std::size_t size = 0;
        if (!r.Integer(magnitude, size) || size > kMaxNumberSize)
            return nullptr;
        std::uint8_t* host = numbers.data() + i * kMaxNumberSize;
        ToHostOrder(magnitude, size, host);
        params[i] = OSSL_PARAM_construct_BN(kPrivateKeyParams[i], host, size);
    }
    params[8] = OSSL_PARAM_construct_end();
    if (!r.AtEnd())
        return nullptr;
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1
        || EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_KEYPAIR, params) != 1)
        return nullptr;
    EvpPkeyPtr key(raw);
    if (!IsOurRsaShape(key.get()))
        return nullptr;
    return key;
}

EvpPkeyPtr LoadPublicKey(const std::uint8_t* der, std::size_t size)
{
    if (der == nullptr || size == 0 || size > INT_MAX)
        return nullptr;
    const unsigned char* p = der;
    EvpPkeyPtr key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(size)));
    if (!key || p != der + size || !IsOurRsaShape(key.get()))
        return nullptr;
    return key;
}

Bytes SignDigest(EVP_PKEY* key, const std::uint8_t* digest, std::size_t size)
{
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!ctx)
        Fail(HL_E_CRYPTO);
    Check(EVP_PKEY_sign_init(ctx.get()));
    Check(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING));
    std::size_t length = 0;
    Check(EVP_PKEY_sign(ctx.get(), nullptr, &length, digest, size));
    Bytes signature(length);
    Check(EVP_PKEY_sign(ctx.get(), signature.data(), &length, digest, size));
    signature.resize(length);
    if (signature.size() != HL_SIGNATURE_SIZE)
        Fail(HL_E_CRYPTO);
    return signature;
}

} // namespace kit
