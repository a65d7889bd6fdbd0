#include "crypto/FingerprintStamp.h"

#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <string>
#include <vector>

void StampFingerprints(TUsersData& Registry)
{
    StampFingerprints(Registry, KitLibraries::Program());
}

void StampFingerprints(TUsersData& Registry, KitLibraries& Kit)
{
    for (int32_t n = 1; n <= Registry.Count(); ++n) {
        TRequestFile* storage = Registry.Storage(n);
        if (!storage)
            continue;
        std::vector<std::string> lines;
        storage->GetStrings(lines);
        std::string text;
        for (const std::string& line : lines) {
            text += line;
            text += "\r\n";
        }
        std::string digest;
        HashString(Kit, text, digest);
        storage->WriteString("Fingerprint", "Value", digest);
        storage->UpdateFile();
    }
}
