#include "app/steps/TRequestSending.h"

#include "app/steps/DriveOperations.h"
#include "app/steps/EntityRules.h"
#include "app/steps/KeyFileOperations.h"
#include "app/steps/MediumQuestions.h"
#include "app/steps/StorageOperations.h"
#include "base/FileErrors.h"
#include "base/FormatText.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

#include <cstring>

std::vector<std::string> TRequestSending::UnsignedCertificates(const TRequestFile& Storage)
{
    std::vector<std::string> ids;
    const StorageFile storage = StorageFile::Reading(Storage);
    for (const std::string& id : storage.Certificates())
        if (!storage.Signed(id))
            ids.push_back(id);
    return ids;
}

TRequestSending::Outcome TRequestSending::RequestSend()
{
    Outcome outcome;
    TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return outcome;
    StorageFile file(*storage);
    if (file.RequestSent()) {
        if (C.Ask.Warn(Texts::ResendQuestion, TStepButtons::YesNo) != mrYes)
            return outcome;
        C.Ask.Repaint();
    }
    const TUserData* entity = C.Registry.Entity(C.Registry.ActiveIndex());

    // The request in memory: the entity's data, CEP before Cidade.
    auto request = TRequestFile::CreateFromLines(nullptr);
    request->WriteString("General", "Dir", "Request");
    request->WriteString("General", "Profile", entity->Profile());
    request->WriteString("General", "Tipo_Inscricao", entity->Tipo_Inscricao());
    request->WriteString("General", "Inscricao", entity->Inscricao());
    request->WriteString("General", "Razao", entity->Razao);
    request->WriteString("General", "Endereco", entity->Endereco);
    request->WriteString("General", "Bairro", entity->Bairro);
    request->WriteString("General", "CEP", entity->CEP);
    request->WriteString("General", "Cidade", entity->Cidade);
    request->WriteString("General", "UF", entity->UF);
    request->WriteString("General", "Telefone", entity->Telefone);
    request->WriteString("General", "Email", entity->Email);
    const std::string profile = entity->Profile();

    const std::vector<std::string> positions = UnsignedCertificates(*storage);
    if (positions.empty()) {
        C.Ask.Show(Texts::AllCertificatesSignedStop);
        return outcome;
    }
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const std::string nn = ZeroPad(static_cast<int>(i), 2);
        request->WriteString("Keys", "Key" + nn, file.PublicKey(positions[i]));
        request->WriteString("Keys", "Info" + nn, file.Info(positions[i]));
    }
    request->WriteString("General", "Num_Keys", std::to_string(positions.size()));

    // The master's key signs, whether or not it is signed itself.
    const std::string master = file.MasterKey();
    std::string keyFile;
    try {
        keyFile = ExtractKeyFile(*storage, master, C.Paths.DataDir());
    } catch (const std::exception& e) {
        C.Ask.Show(std::string(Texts::SendError) + e.what());
        return outcome;
    }
    if (keyFile.empty()) {
        C.Ask.Show(Texts::SendError);
        return outcome;
    }

    std::string signature;
    {
        auto password = C.Ask.AskPassword(KeyFilePwd::pmAskPassword, {});
        if (!password || password->Result() != mrOk) {
            password.reset();
            C.WipeAndReport(keyFile);
            return outcome;
        }
        C.Ask.Repaint();
        TBusyScope busy(C.Ask);
        auto media = C.MediaFor(keyFile);
        std::string secret;
        try {
            password->GetPassword(secret);
            media->Open();
            media->SignString(secret, request->Text(), signature);
            media->Close();
        } catch (const std::exception& e) {
            ZeroBuffer(secret.data(), static_cast<int>(secret.size()));
            media.reset();
            password.reset();
            C.WipeAndReport(keyFile);
            C.Ask.Show(std::string(Texts::RequestSignError) + e.what());
            return outcome;
        }
        ZeroBuffer(secret.data(), static_cast<int>(secret.size()));
        media.reset();
        password.reset();
        C.WipeAndReport(keyFile);
    }

    try {
        // What was signed, and its signature after it.
        request->WriteString("Signatures", "User", StringToHex(signature));
        const std::string text = request->Text();

        if (!PrepareEmptyMedium(C))
            return outcome;

        TBusyScope busy(C.Ask);
        const std::string fileName = C.Paths.DriveA() + NewGuidText() + ".TXT";
        if (const int error = SafeReplace::ReplaceFile(fileName, text.data(), text.size()))
            throw EFCreateError(FileErrors::CannotCreateFile(fileName) + ": " + std::strerror(error));

        // Only now: the positions of the request that is really on the medium.
        file.MarkRequestSent(positions, fileName);
        C.Commit(file);
        outcome.Sent = true;
        outcome.FileName = fileName;
        C.Ask.Show(FormatText(Texts::RequestWritten, {FileNameOf(fileName), FolderNameOf(fileName)}));
    } catch (const std::exception& e) {
        C.Ask.Show(std::string(Texts::SendError) + e.what());
    }

    if (EntityRules::SignsAgreement(profile) && C.Ask.Inform(Texts::AgreementQuestion, TStepButtons::OKCancel) == mrOk)
        outcome.ShowAgreement = true;
    return outcome;
}
