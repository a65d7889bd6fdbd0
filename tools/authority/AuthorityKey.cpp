#include "AuthorityKey.h"

#include "AuthorityError.h"
#include "base/SafeReplace.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int KeyBits = 1024;
constexpr std::size_t SignatureSize = 128;
constexpr std::uintmax_t MaxPemSize = 64 * 1024;

struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

std::string ReadSmallFile(const fs::path& Path)
{
    std::error_code ec;
    if (!fs::is_regular_file(Path, ec) || fs::file_size(Path, ec) > MaxPemSize)
        throw EAuthorityError("cannot read the authority's key " + Path.string()
                              + ": not a regular file of at most 64 KiB");
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        throw EAuthorityError("cannot read the authority's key " + Path.string());
    return text.str();
}

std::string BioText(BIO* Bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(Bio, &data);
    return std::string(data, static_cast<std::size_t>(size));
}

void Save(const fs::path& Path, const std::string& Text, mode_t Mode)
{
    SafeReplace::Options options;
    options.NewFileMode = Mode;
    if (int e = SafeReplace::ReplaceFile(Path.string(), Text.data(), Text.size(), options))
        throw EAuthorityError("cannot write " + Path.string() + ": " + std::strerror(e));
}

std::string PublicPem(EVP_PKEY* Key)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), Key) != 1)
        throw EAuthorityError("cannot encode the authority's public key");
    return BioText(bio.get());
}

bool IsAuthorityShape(EVP_PKEY* Key)
{
    return Key && EVP_PKEY_is_a(Key, "RSA") && EVP_PKEY_get_bits(Key) == KeyBits;
}

} // namespace

AuthorityKey AuthorityKey::LoadOrCreate(const std::string& Folder, bool& Created)
{
    const fs::path privatePath = fs::path(Folder) / PrivateFileName;
    const fs::path publicPath = fs::path(Folder) / PublicFileName;
    Created = false;
    std::error_code ec;
    const bool havePrivate = fs::exists(fs::symlink_status(privatePath, ec));
    if (!havePrivate) {
        if (fs::exists(fs::symlink_status(publicPath, ec)))
            throw EAuthorityError("the authority's folder holds " + publicPath.string()
                                  + " without its private key; refusing to make a new key pair");
        EVP_PKEY* made = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(KeyBits));
        if (!made)
            throw EAuthorityError("cannot make the authority's key pair");
        AuthorityKey key(made);
        BioPtr bio(BIO_new(BIO_s_mem()));
        if (!bio || PEM_write_bio_PrivateKey(bio.get(), made, nullptr, nullptr, 0, nullptr, nullptr) != 1)
            throw EAuthorityError("cannot encode the authority's private key");
        std::string pem = BioText(bio.get());
        Save(privatePath, pem, 0600);
        OPENSSL_cleanse(pem.data(), pem.size());
        Save(publicPath, PublicPem(made), 0644);
        Created = true;
        return key;
    }

    std::string pem = ReadSmallFile(privatePath);
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    EVP_PKEY* loaded = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    OPENSSL_cleanse(pem.data(), pem.size());
    AuthorityKey key(loaded);
    if (!IsAuthorityShape(loaded))
        throw EAuthorityError(privatePath.string() + " is not an RSA-1024 private key");
    // The public half is for whoever checks certificates later; write it
    // again when it went missing.
    if (!fs::exists(publicPath, ec))
        Save(publicPath, PublicPem(loaded), 0644);
    return key;
}

std::string AuthorityKey::Sign(const std::string& Data) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    std::string signature(SignatureSize, '\0');
    size_t length = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, Key_.get()) != 1
        || EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                          reinterpret_cast<const unsigned char*>(Data.data()), Data.size())
               != 1
        || length != SignatureSize)
        throw EAuthorityError("cannot sign with the authority's key");
    return signature;
}

bool AuthorityKey::Verify(const std::string& Data, const std::string& Signature) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, Key_.get()) == 1
           && EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(Signature.data()), Signature.size(),
                               reinterpret_cast<const unsigned char*>(Data.data()), Data.size())
                  == 1;
}
