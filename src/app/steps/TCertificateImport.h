#pragma once
// Importing certificates from an export file into the active entity. The
// file comes from outside: its fingerprint is an unkeyed hash anyone can
// recompute, so every identifier, every key and the whole count are checked
// before anything is copied, and a refused file changes nothing.
#include "app/steps/TStepContext.h"

#include <string>
#include <vector>

class TCertificateImport {
public:
    explicit TCertificateImport(const TStepContext& Context) : C(Context) {}

    // The whole step with the open dialog; returns how many certificates
    // were imported.
    int FileImport();
    // The step after the dialog, for a chosen file.
    int ImportFrom(const std::string& FileName);
    // The checks and the copy for a file already read.
    int ImportFile(const TRequestFile& File);

    // An export file whose every identifier has the certificate identifier's
    // form, each listed once, each with its section.
    static bool IsWellFormed(const TRequestFile& File);
    // Id may come in: a certificate the entity has, offered signed with the
    // very public key stored for it; or one it lacks, offered unsigned.
    // Either way its key file must hold the public key offered with it.
    bool IsImportable(const std::string& Id, const TRequestFile& File) const;

    // Export files are small; anything larger is not one.
    static constexpr long long MaximumFileSize = 8 * 1024 * 1024;

private:
    // The file's KeyFile for Id really is the key with that public key.
    bool KeyFileHolds(const std::string& Id, const TRequestFile& File, const std::string& PublicKeyHex) const;

    const TStepContext& C;
};
