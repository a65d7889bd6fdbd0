#pragma once
// Receiving the certification authority's response: each signed certificate
// goes into the key of the certificate that stood at its position in the last
// request sent, under that certificate's password, and the updated key file
// and info block replace the ones in the storage file.
//
// The response is matched position by position through [RequestReference]
// of the storage file; the public key and info block of a position must be
// the ones the storage holds, and the new identifier must name the entity's
// inscription at its place and be the identifier that the certificate
// carries. Each incorporated certificate is saved at once, so a stop later in
// the same response loses nothing already done.
#include "app/steps/TStepContext.h"

#include <cstddef>
#include <string>

class TRequestFile;

class TRequestReceiving {
public:
    // The response marker of [General] Dir.
    static constexpr const char* ResponseMarker = "xeVmorPad";
    // Largest response file read: a full answer of 100 certificates is far
    // below it.
    static constexpr std::size_t MaxResponseSize = 1024 * 1024;

    struct TOutcome {
        int Incorporated = 0;   // certificates put into their keys and saved
        bool Completed = false; // every position was gone through (the summary was shown)
    };

    explicit TRequestReceiving(const TStepContext& Context) : C(Context) {}

    // The whole step: the medium, the file, then Incorporate.
    TOutcome RequestReceive();

    // Matches a loaded response against the active storage and puts each
    // certificate into its key. Every stop tells the user why (except a
    // cancelled password); the certificates incorporated before a stop stay
    // saved.
    TOutcome Incorporate(const TRequestFile& Response);

    // Reads a response file: a regular file of at most MaxResponseSize
    // bytes, whatever else the name leads to (a folder, a device, a pipe) is
    // refused without being read. False leaves Response empty.
    static bool LoadResponse(const std::string& FileName, TRequestFile& Response);

private:
    // One position; false stops the whole operation.
    bool IncorporateOne(TRequestFile& Storage, const TRequestFile& Response, const std::string& Position,
                        const std::string& Id, int& Incorporated);

    const TStepContext& C;
};
