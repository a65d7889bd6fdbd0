#pragma once
// The certification authority's folder and its one job: answering a request.
//
// The folder holds the authority's key pair (AuthorityKey), "SERIAL" (the
// last serial number issued, decimal) and "keys/<Inscricao>.txt", the public
// keys (hex, one a line) that the authority knows for each inscription: the
// masters that signed its requests and every key it certified. A request must
// be signed by its own first key (the entity's unsigned master) or by a key
// the authority knows for the inscription (a master that was already
// certified is no longer in the request).
#include "AuthorityKey.h"
#include "SignedRequest.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class CertificationAuthority {
public:
    struct Issued {
        std::string Identifier;  // 26 characters
        std::string Certificate; // 192 bytes
    };

    // Opens Folder, creating it (mode 0700) and the key pair when missing.
    // Created tells whether a new key pair was made.
    CertificationAuthority(const std::string& Folder, bool& Created);
    ~CertificationAuthority();
    CertificationAuthority(const CertificationAuthority&) = delete;
    CertificationAuthority& operator=(const CertificationAuthority&) = delete;

    // Reads the request file at RequestPath, checks it and its signature,
    // issues one certificate per position (valid from Now for ValidDays
    // days) and writes the response file at ResponsePath. Raises
    // ERequestRefused for a request it does not answer (nothing is issued
    // then) and EAuthorityError when the folder or a file fails.
    std::vector<Issued> Answer(const std::string& RequestPath, const std::string& ResponsePath, std::time_t Now,
                               unsigned ValidDays);

    // The 192-byte certificate for PublicKey (140 bytes), as issued.
    std::string MakeCertificate(const std::string& PublicKey, const std::string& Identifier, std::uint32_t ValidFrom,
                                std::uint32_t ValidUntil) const;

    // The response text for a checked request and what was issued for it.
    static std::string ResponseText(const SignedRequest& Request, const std::vector<Issued>& Certificates);

    // The identifier of the Serial-th certificate of an entity:
    // Tipo_Inscricao (2) + Inscricao (14, digits or, in a CNPJ, capitals) +
    // serial (8 digits) + Profile (2).
    static std::string MakeIdentifier(const SignedRequest& Request, std::uint32_t Serial);

private:
    std::vector<std::string> KnownKeys(const std::string& Inscricao) const;
    void RememberKeys(const std::string& Inscricao, const std::vector<std::string>& Keys);
    std::uint32_t LastSerial() const;
    void SaveSerial(std::uint32_t Serial);

    std::string Folder_; // with a trailing '/'
    int LockFd_ = -1;
    AuthorityKey Key_;
};

// Reads a whole request or response file, refusing what is not a regular
// file or is larger than MaxSize (raises EAuthorityError).
std::string ReadInputFile(const std::string& Path, std::size_t MaxSize);
