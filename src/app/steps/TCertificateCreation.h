#pragma once
// Creating a certificate for the active entity (a key pair made by the kit
// under a password the user chooses, kept as hexadecimal text in the
// storage file) and removing one.
#include "app/steps/TStepContext.h"

#include <string>

class TCertificateCreation {
public:
    explicit TCertificateCreation(const TStepContext& Context) : C(Context) {}

    // An entity holds at most 100 certificates: the master and 99 in Keys.
    bool CanCreateCertificate() const;

    // The whole creation; returns the new identifier, or empty when it
    // stopped (the user was told why, or cancelled). Nothing is left behind
    // by a stop: no identifier without its section, no key file.
    std::string FileNew();

    // Removal as the user asks for it: a signed certificate is refused (it
    // leaves with its medium); otherwise RemoveCertificate with the question.
    void FileRemove(const std::string& Id);

    // Takes the certificate out of the storage file (its successor becomes
    // the master when it was the master) and saves; when it was the last one
    // the entity returns to "registered". With Ask, the user confirms first.
    // True when removed.
    bool RemoveCertificate(const std::string& Id, bool Ask);

private:
    const TStepContext& C;
};
