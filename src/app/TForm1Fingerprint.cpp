// The shutdown stamp: every storage file gets a fresh [Fingerprint] Value.
#include "app/TForm1.h"

#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <string>
#include <vector>

void TForm1::StampFingerprints()
{
    if (!Registry)
        return;
    for (int32_t n = 1; n <= Registry->Count(); ++n) {
        TRequestFile* storage = Registry->Storage(n);
        if (!storage)
            continue;
        // The digest covers the file as it stands, an earlier stamp included,
        // each line followed by CR LF exactly as it is written to disk.
        std::vector<std::string> lines;
        storage->GetStrings(lines);
        std::string text;
        for (const std::string& line : lines) {
            text += line;
            text += "\r\n";
        }
        storage->WriteString("Fingerprint", "Value", HashString(text));
        storage->UpdateFile();
    }
}
