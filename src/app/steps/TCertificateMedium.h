#pragma once
// Writing a signed certificate to its own removable medium under a new
// password. The medium becomes the only copy of the key: the certificate
// leaves the storage file only once the written file has been flushed and
// read back with the stored public key.
#include "app/steps/TStepContext.h"

#include <string>

class TCertificateMedium {
public:
    explicit TCertificateMedium(const TStepContext& Context) : C(Context) {}

    // The whole step for certificate Id; true when the medium was written,
    // confirmed, and the certificate removed from the storage.
    bool FileDisk(const std::string& Id);

    // The chosen name with ".PRI" appended unless it already ends so (any
    // letter case).
    static std::string WithKeyExtension(const std::string& FileName);
    // Whether the key file at FileName holds the key whose public key the
    // storage keeps as PublicKeyHex.
    bool ReadBack(const std::string& FileName, const std::string& PublicKeyHex) const;

private:
    const TStepContext& C;
};
