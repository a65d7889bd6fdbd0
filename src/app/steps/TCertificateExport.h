#pragma once
// Exporting the active entity's unsigned certificates, keys included, to a
// fingerprinted export file (*.CRT), and the rules by which such a file is
// recognised.
#include "app/steps/TStepContext.h"

#include <string>
#include <vector>

class TCertificateExport {
public:
    explicit TCertificateExport(const TStepContext& Context) : C(Context) {}

    // The whole step; returns how many certificates were exported (0 when
    // it stopped). The file is written first, through the one safe-replace
    // path; only then do [RequestReference] and RequestSent change and the
    // storage get saved. A failed write changes nothing.
    int FileExport();

    // The export file's text for these certificates of Storage, fingerprint
    // (from Kit) included.
    static std::string ExportText(KitLibraries& Kit, const TRequestFile& Storage, const std::vector<std::string>& Ids);
    // The fingerprint of a file object's text without its [Fingerprint]
    // section (the object itself is left as it was).
    static std::string Fingerprint(KitLibraries& Kit, const TRequestFile& File);
    // The file's [General] Id is the export marker and its fingerprint
    // matches its text.
    static bool IsExportFile(KitLibraries& Kit, const TRequestFile& File);

private:
    const TStepContext& C;
};
