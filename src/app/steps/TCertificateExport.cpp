#include "app/steps/TCertificateExport.h"

#include "app/steps/StorageOperations.h"
#include "base/FormatText.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"
#include "crypto/TRSAMedia.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

#include <sys/stat.h>

namespace {

constexpr const char* ExportMarker = "ExportRSACertificates";

bool HasExtension(const std::string& FileName)
{
    const std::size_t slash = FileName.find_last_of('/');
    const std::size_t dot = FileName.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

} // namespace

std::string TCertificateExport::Fingerprint(KitLibraries& Kit, const TRequestFile& File)
{
    auto copy = TRequestFile::CreateFromLines(nullptr);
    copy->SetText(File.Text());
    StorageFile(*copy).EraseFingerprint();
    return HashString(Kit, copy->Text());
}

bool TCertificateExport::IsExportFile(KitLibraries& Kit, const TRequestFile& File)
{
    if (File.ReadString("General", "Id", "") != ExportMarker)
        return false;
    return StorageFile::Reading(File).Fingerprint() == Fingerprint(Kit, File);
}

std::string TCertificateExport::ExportText(KitLibraries& Kit, const TRequestFile& Storage,
                                           const std::vector<std::string>& Ids)
{
    auto file = TRequestFile::CreateFromLines(nullptr);
    file->WriteString("General", "Id", ExportMarker);
    StorageFile exported(*file);
    exported.SetKeys(Ids);
    const StorageFile storage = StorageFile::Reading(Storage);
    for (const std::string& id : Ids)
        exported.PutCertificate(id, storage.Certificate(id));
    exported.SetFingerprint(Fingerprint(Kit, *file));
    return file->Text();
}

int TCertificateExport::FileExport()
{
    TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return 0;
    // A name for the entity that is exported ("<inscription>.CRT"), never
    // the name of a file an earlier step wrote.
    std::string proposed;
    if (const TUserData* entity = C.Registry.Entity(C.Registry.ActiveIndex()))
        proposed = entity->Inscricao() + ".CRT";
    std::string fileName;
    if (!C.Ask.ChooseSaveFile({Texts::ExportTitle, Texts::ExportFilter, {}, proposed}, fileName))
        return 0;
    C.Ask.Repaint();
    if (!HasExtension(fileName))
        fileName += ".CRT";

    std::vector<std::string> exported;
    StorageFile file(*storage);
    for (const std::string& id : file.Certificates())
        if (!file.Signed(id))
            exported.push_back(id);
    if (exported.empty()) {
        C.Ask.Show(Texts::AllCertificatesSignedStop);
        return 0;
    }

    // Asked about the name that will really be written.
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) == 0
        && C.Ask.Confirm(FormatText(Texts::ReplaceFileQuestion, {fileName}), TStepButtons::YesNoKeep) != mrYes)
        return 0;

    const std::string text = ExportText(C.Kit, *storage, exported);
    SafeReplace::Options options;
    options.NewFileMode = 0600; // it holds keys
    options.RemoveBits = 077;
    // The question named this file: a link under its name (planted on a
    // medium) is what is replaced, never the file it points at.
    options.ReplaceLink = true;
    if (SafeReplace::ReplaceFile(fileName, text.data(), text.size(), options) != 0) {
        C.Ask.Show(Texts::ExportOverwriteFailed);
        return 0;
    }

    // Sent by hand: the positions of the exported keys, no request file.
    file.MarkRequestSent(exported, {});
    C.Commit(file);

    const int count = static_cast<int>(exported.size());
    C.Ask.Show(FormatText(Texts::ExportDone, {std::to_string(count)}));
    return count;
}
