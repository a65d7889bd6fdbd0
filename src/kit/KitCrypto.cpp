#include "kit/KitCrypto.h"

#include "kit/HlKit.h"
#include "kit/KitError.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>

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
  if (priv == nullptr
      || EVP_RAND_reseed(priv, 0, nullptr, 0, static_cast<const unsigned char*>(seed), size) != 1)
    Fail(HL_E_SEED);
}

bool ScryptParamsAcceptable(const ScryptParams& params)
{
  if (params.log2N < 10 || params.log2N > 20 || params.r < 1 || params.r > 32 || params.p < 1
      || params.p > 16)
    return false;
  // Memory is about 128 * r * N bytes; keep it under 256 MiB.
  const std::uint64_t memory = 128ull * params.r * (1ull << params.log2N);
  return memory <= (256ull << 20);
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
  std::uint64_t n = 1ull << params.log2N;
  std::uint32_t r = params.r;
  std::uint32_t p = params.p;
  // The default ceiling (32 MiB) is below what our accepted parameters may need.
  std::uint64_t maxMemory = (256ull << 20) + (64ull << 20);
  static const char empty[1] = {0};
  OSSL_PARAM list[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                        const_cast<char*>(passwordLength ? password : empty),
                                        passwordLength),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT,
                                        const_cast<std::uint8_t*>(salt), saltLength),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxMemory),
      OSSL_PARAM_construct_end()};
  SecureBytes key(kAesKeySize);
  Check(EVP_KDF_derive(ctx.get(), key.data(), key.size(), list));
  return key;
}

Bytes AesGcmSeal(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad,
                 const SecureBytes& plain, std::uint8_t* tag)
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
    Check(EVP_EncryptUpdate(ctx.get(), cipher.data(), &length, plain.data(),
                            static_cast<int>(plain.size())));
    total = length;
  }
  Check(EVP_EncryptFinal_ex(ctx.get(), cipher.data() + total, &length));
  total += length;
  cipher.resize(static_cast<std::size_t>(total));
  OSSL_PARAM get[] = {
      OSSL_PARAM_construct_octet_string(OSSL_CIPHER_PARAM_AEAD_TAG, tag, kGcmTagSize),
      OSSL_PARAM_construct_end()};
  Check(EVP_CIPHER_CTX_get_params(ctx.get(), get));
  return cipher;
}

bool AesGcmOpen(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad,
                const Bytes& cipher, const std::uint8_t* tag, SecureBytes& plain)
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
    Check(EVP_DecryptUpdate(ctx.get(), out.data(), &length, cipher.data(),
                            static_cast<int>(cipher.size())));
    total = length;
  }
  OSSL_PARAM set[] = {
      OSSL_PARAM_construct_octet_string(OSSL_CIPHER_PARAM_AEAD_TAG,
                                        const_cast<std::uint8_t*>(tag), kGcmTagSize),
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

SecureBytes PrivateKeyDer(EVP_PKEY* key)
{
  const int length = i2d_PrivateKey(key, nullptr);
  if (length <= 0)
    Fail(HL_E_CRYPTO);
  SecureBytes der(static_cast<std::size_t>(length));
  unsigned char* p = der.data();
  if (i2d_PrivateKey(key, &p) != length)
    Fail(HL_E_CRYPTO);
  return der;
}

EvpPkeyPtr LoadPrivateKey(const SecureBytes& der)
{
  if (der.empty() || der.size() > INT_MAX)
    return nullptr;
  const unsigned char* p = der.data();
  EvpPkeyPtr key(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size())));
  if (!key || p != der.data() + der.size() || !IsOurRsaShape(key.get()))
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
