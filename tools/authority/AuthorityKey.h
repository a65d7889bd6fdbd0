#pragma once
// The authority's own key pair: RSA 1024, exponent 65537, kept as PEM in the
// authority's folder ("authority.key", mode 0600, and "authority.pub"). Made
// on first use; an existing key is never replaced, since every certificate
// issued so far is checked against it.
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>

class AuthorityKey {
public:
    static constexpr const char* PrivateFileName = "authority.key";
    static constexpr const char* PublicFileName = "authority.pub";

    // Loads the key pair from Folder (with a trailing '/'), or makes and
    // saves one when the folder holds neither file. Raises EAuthorityError
    // for a damaged or unreadable key, or a public file without its private
    // half.
    static AuthorityKey LoadOrCreate(const std::string& Folder, bool& Created);

    // RSA PKCS#1 v1.5 with SHA-256 over Data: 128 bytes.
    std::string Sign(const std::string& Data) const;

    // Whether Signature is this key's signature over Data (same scheme).
    bool Verify(const std::string& Data, const std::string& Signature) const;

private:
    struct PkeyFree {
        void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    };
    explicit AuthorityKey(EVP_PKEY* Key) : Key_(Key) {}
    std::unique_ptr<EVP_PKEY, PkeyFree> Key_;
};
