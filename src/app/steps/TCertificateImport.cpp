#include "app/steps/TCertificateImport.h"

#include "app/steps/KeyFileOperations.h"
#include "app/steps/StorageOperations.h"
#include "app/steps/TCertificateExport.h"
#include "base/BoundedFileReader.h"
#include "base/FileErrors.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"

namespace {

constexpr int MaximumCertificates = 100;

// The bytes of a regular file of at most Limit bytes; raises otherwise (a
// pipe or device would block or never end).
std::string ReadExportFile(const std::string& FileName, long long Limit)
{
    std::string bytes;
    if (!BoundedFileReader::Read(FileName, static_cast<std::size_t>(Limit), bytes).Ok())
        throw EFOpenError(FileErrors::CannotOpenFile(FileName));
    return bytes;
}

} // namespace

bool TCertificateImport::IsWellFormed(const TRequestFile& File)
{
    // No export lists more than an entity holds; a longer list would have
    // a key file written, read and wiped for each of its thousands of
    // entries before the import could refuse it.
    const std::vector<std::string> ids = StorageFile::Reading(File).Keys();
    if (ids.size() > static_cast<std::size_t>(MaximumCertificates))
        return false;
    std::vector<std::string> seen;
    for (const std::string& id : ids) {
        if (!IsCertificateIdentifier(id) || IsInList(id, seen) || !File.SectionExists(id))
            return false;
        seen.push_back(id);
    }
    return true;
}

bool TCertificateImport::IsImportable(const std::string& Id, const TRequestFile& File) const
{
    const TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return false;
    const TStoredCertificate offered = StorageFile::Reading(File).Certificate(Id);
    if (offered.KeyFile.empty() || offered.PublicKey.empty())
        return false;
    const StorageFile own = StorageFile::Reading(*storage);
    if (IsInList(Id, own.Certificates())) {
        // Never a different key under an identifier the entity holds: that
        // would replace the only copy of a key.
        const std::string stored = own.PublicKey(Id);
        return offered.Signed && !stored.empty() && offered.PublicKey == stored && KeyFileHolds(Id, File, stored);
    }
    // A new one too: its public key goes into the next request, and a key
    // file that holds another key could never take the certificate issued
    // for it.
    return !offered.Signed && KeyFileHolds(Id, File, offered.PublicKey);
}

bool TCertificateImport::KeyFileHolds(const std::string& Id, const TRequestFile& File,
                                      const std::string& PublicKeyHex) const
{
    std::string path;
    bool same = false;
    try {
        path = ExtractKeyFile(File, Id, C.Paths.DataDir());
        if (!path.empty()) {
            auto media = C.MediaFor(path);
            std::string publicKey;
            media->Open();
            media->GetPublicKey(publicKey);
            media->Close();
            same = StringToHex(publicKey) == PublicKeyHex;
        }
    } catch (...) {
        same = false;
    }
    if (!path.empty())
        C.WipeAndReport(path);
    return same;
}

int TCertificateImport::FileImport()
{
    std::string fileName;
    if (!C.Ask.ChooseOpenFile({Texts::ImportTitle, Texts::ExportFilter, {}, {}}, fileName))
        return 0;
    return ImportFrom(fileName);
}

int TCertificateImport::ImportFrom(const std::string& FileName)
{
    auto file = TRequestFile::CreateFromLines(nullptr);
    try {
        file->SetText(ReadExportFile(FileName, MaximumFileSize));
    } catch (const std::exception&) {
        C.Ask.Show(FormatText(Texts::ImportCannotOpen, {FileName}));
        return 0;
    }
    C.Ask.Repaint();
    return ImportFile(*file);
}

int TCertificateImport::ImportFile(const TRequestFile& File)
{
    TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return 0;
    if (!TCertificateExport::IsExportFile(C.Kit, File) || !IsWellFormed(File)) {
        C.Ask.Show(Texts::ImportInvalid);
        return 0;
    }

    const StorageFile offered = StorageFile::Reading(File);
    StorageFile file(*storage);
    std::vector<std::string> kept;
    for (const std::string& id : offered.Keys())
        if (IsImportable(id, File))
            kept.push_back(id);
    if (kept.empty()) {
        C.Ask.Show(Texts::ImportNothing);
        return 0;
    }

    std::vector<std::string> blocks{file.Info(file.MasterKey())};
    for (const std::string& id : kept)
        blocks.push_back(offered.Info(id));
    if (!SameKeyOwner(blocks)) {
        C.Ask.Show(Texts::ImportInconsistent);
        return 0;
    }

    // The limit for the whole import, before anything is copied.
    const std::vector<std::string> own = file.Certificates();
    std::vector<std::string> keys = file.Keys();
    std::vector<std::string> added;
    for (const std::string& id : kept)
        if (!IsInList(id, own))
            added.push_back(id);
    if (static_cast<int>(keys.size() + added.size()) + 1 > MaximumCertificates) {
        C.Ask.Show(Texts::MaxCertificates);
        return 0;
    }

    const std::string before = storage->Text();
    try {
        for (const std::string& id : kept) {
            TStoredCertificate certificate = offered.Certificate(id);
            // A nameless certificate would get no item and could not be chosen.
            if (certificate.Name.empty())
                certificate.Name = id;
            file.PutCertificate(id, certificate);
        }
        keys.insert(keys.end(), added.begin(), added.end());
        if (!added.empty())
            file.SetKeys(keys);
        C.Commit(file);
    } catch (...) {
        storage->SetText(before);
        throw;
    }

    for (const std::string& id : kept) {
        if (IsInList(id, own))
            C.Ask.CertificateChanged(id);
        else
            C.Ask.CertificateAdded(id, file.Name(id), false);
    }
    return static_cast<int>(kept.size());
}
