#pragma once
// Sending the certificate request of the active entity: its registration
// data and the public keys of every certificate not yet signed, signed with
// the master certificate's key and written to the removable medium.
#include "app/steps/TStepContext.h"

#include <string>
#include <vector>

class TRequestSending {
public:
    explicit TRequestSending(const TStepContext& Context) : C(Context) {}

    struct Outcome {
        // The request file was written and the storage remembers it.
        bool Sent = false;
        // The path of the request file written.
        std::string FileName;
        // The user wants to print the service agreement now.
        bool ShowAgreement = false;
    };

    // The whole step. [RequestReference] and RequestSent change only once
    // the request file is on the medium, so a send that stops earlier leaves
    // the positions of the last request really sent.
    Outcome RequestSend();

    // The certificates a request covers: MasterKey then Keys, less the
    // signed ones; position NN is the index in this list.
    static std::vector<std::string> UnsignedCertificates(const TRequestFile& Storage);

private:
    const TStepContext& C;
};
