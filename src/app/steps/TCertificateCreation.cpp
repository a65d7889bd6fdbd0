#include "app/steps/TCertificateCreation.h"

#include "app/steps/KeyFileOperations.h"
#include "app/steps/StorageOperations.h"
#include "base/FileErrors.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

namespace {

constexpr int MaximumCertificates = 100;

// The key file's name without folder and extension: the GUID in braces.
std::string IdentifierOf(const std::string& KeyFile)
{
    std::string name = KeyFile.substr(KeyFile.find_last_of('/') + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

bool TCertificateCreation::CanCreateCertificate() const
{
    const TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return false;
    return static_cast<int>(StorageFile::Reading(*storage).Keys().size()) + 1 < MaximumCertificates;
}

std::string TCertificateCreation::FileNew()
{
    TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return {};
    if (!CanCreateCertificate()) {
        C.Ask.Show(Texts::MaxCertificates);
        return {};
    }

    const std::string keyFile = C.Paths.DataDir() + NewGuidText() + ".PRI";
    auto media = C.MediaFor(keyFile);

    std::string seed;
    try {
        C.Ask.GatherSeed(*media, seed);
    } catch (const std::exception& e) {
        media.reset();
        C.Ask.Show(std::string(Texts::KeyGenerationError) + e.what());
        return {};
    }
    const bool cancelled = seed.size() < 10 || seed.find_first_not_of('\0') >= 10;
    ZeroBuffer(seed.data(), static_cast<int>(seed.size()));
    if (cancelled) {
        C.Ask.Show(Texts::KeyGenerationCancelled);
        return {};
    }

    auto password = C.Ask.AskPassword(KeyFilePwd::pmNewPassword, {});
    if (!password || password->Result() != mrOk)
        return {};

    C.Ask.Repaint();
    TBusyScope busy(C.Ask);
    TUserData* entity = C.Registry.Entity(C.Registry.ActiveIndex());
    entity->ReadStorageRecord(*storage);

    try {
        std::string newPassword;
        password->GetNewPassword(newPassword);
        try {
            media->GenerateFor(newPassword, *entity);
        } catch (...) {
            ZeroBuffer(newPassword.data(), static_cast<int>(newPassword.size()));
            throw;
        }
        ZeroBuffer(newPassword.data(), static_cast<int>(newPassword.size()));
    } catch (const std::exception& e) {
        password.reset();
        media.reset();
        // Formatting may have made the file before generation failed.
        C.WipeAndReport(keyFile);
        C.Ask.Show(std::string(Texts::KeyGenerationError) + e.what());
        return {};
    }
    password.reset();

    const std::string id = IdentifierOf(keyFile);
    // What the storage held before: a failure below returns to it exactly.
    const std::string before = storage->Text();
    try {
        StorageFile file(*storage);
        file.AddCertificate(id);
        std::string publicKey;
        std::string info;
        media->Open();
        media->GetPublicKey(publicKey);
        media->GetUserInfo(info);
        media->Close();
        file.PutNewKey(id, StringToHex(publicKey), StringToHex(info), StringToHex(ReadKeyFile(keyFile)), id);
        C.Commit(file);
    } catch (const std::exception& e) {
        // Back to where the storage stood: no identifier without its
        // section, no section without its identifier, no key file.
        storage->SetText(before);
        media.reset();
        C.WipeAndReport(keyFile);
        C.Ask.Show(std::string(Texts::KeyGenerationError) + e.what());
        return {};
    }

    media.reset();
    C.WipeAndReport(keyFile);
    C.Ask.CertificateAdded(id, id, true);
    return id;
}

void TCertificateCreation::FileRemove(const std::string& Id)
{
    TRequestFile* storage = C.ActiveStorage();
    if (Id.empty() || !storage)
        return;
    if (StorageFile::Reading(*storage).Signed(Id)) {
        C.Ask.Inform(Texts::SignedNotRemovable, TStepButtons::OK);
        return;
    }
    RemoveCertificate(Id, true);
}

bool TCertificateCreation::RemoveCertificate(const std::string& Id, bool Ask)
{
    TRequestFile* storage = C.ActiveStorage();
    if (Id.empty() || !storage)
        return false;
    if (Ask && C.Ask.Confirm(Texts::RemoveCertificateQuestion, TStepButtons::YesNoKeep) != mrYes)
        return false;

    StorageFile file(*storage);
    file.RemoveCertificate(Id);
    C.Ask.CertificateRemoved(Id);
    C.Commit(file);
    return true;
}
