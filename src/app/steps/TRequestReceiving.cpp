#include "app/steps/TRequestReceiving.h"

#include "app/steps/KeyFileOperations.h"
#include "app/steps/MediumQuestions.h"
#include "app/steps/StorageOperations.h"
#include "base/BoundedFileReader.h"
#include "base/FileErrors.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"
#include "kit/CertificateLayout.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The password as long as a step needs it, zeroed when it goes.
class TPasswordText {
public:
    std::string Text;
    ~TPasswordText() { ZeroBuffer(Text.data(), static_cast<int>(Text.size())); }
};

// The inscription that a new identifier names: characters 3 to 16 of an
// identifier of the authority's form (type, inscription, serial, profile);
// anything else is shown as it came, and a missing or blank one as such.
std::string InscriptionOf(const std::string& NewId)
{
    if (NewId.find_first_not_of(" \t") == std::string::npos)
        return Texts::ReceiveNoInscription;
    if (NewId.size() == 26 && NewId.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos)
        return NewId.substr(2, 14);
    return NewId;
}

// Whether a new identifier names the entity's inscription at its place: its
// 14 characters after the two of the type (anywhere else the same digits
// belong to another inscription or to the serial). The inscription is read
// as the record stores it, zero-filled to 14; an entity without one is named
// by none.
bool NamesInscription(const std::string& NewId, const std::string& Inscricao)
{
    constexpr std::size_t At = 2;
    constexpr std::size_t Length = 14;
    if (Inscricao.empty() || NewId.size() < At + Length)
        return false;
    TUserData stored;
    stored.SetInscricao(Inscricao);
    return stored.Inscricao().size() == Length && NewId.compare(At, Length, stored.Inscricao()) == 0;
}

// The identifier that the authority wrote into a certificate; empty when the
// text is no whole certificate (the medium refuses those itself).
std::string IdentifierInCertificate(const std::string& CertificateHex)
{
    const std::string bytes = HexToString(CertificateHex);
    if (bytes.size() != certificate::kSize)
        return {};
    return bytes.substr(certificate::kOffsetIdentifier, certificate::kIdentifierSize);
}

} // namespace

bool TRequestReceiving::LoadResponse(const std::string& FileName, TRequestFile& Response)
{
    Response.Clear();
    std::string text;
    if (!BoundedFileReader::Read(FileName, MaxResponseSize, text).Ok())
        return false;
    Response.SetText(text);
    return true;
}

TRequestReceiving::TOutcome TRequestReceiving::RequestReceive()
{
    if (!AskForMedium(C, Texts::ReceiveInsertDisk))
        return {};
    // Read after the question: the user may have chosen another folder.
    const std::string drive = C.Paths.DriveA();
    TFileQuestion question;
    question.Title = Texts::ReceiveDialogTitle;
    question.Filter = Texts::ReceiveFilter;
    question.Folder = drive;
    std::string fileName;
    if (!C.Ask.ChooseOpenFile(question, fileName))
        return {};
    C.Ask.Repaint();

    TRequestFile response("");
    if (!LoadResponse(fileName, response)) {
        C.Ask.Show(Texts::ReceiveInvalidFile);
        return {};
    }
    return Incorporate(response);
}

TRequestReceiving::TOutcome TRequestReceiving::Incorporate(const TRequestFile& Response)
{
    TOutcome outcome;
    if (Response.ReadString("General", "Dir", "") != ResponseMarker) {
        C.Ask.Show(Texts::ReceiveInvalidFile);
        return outcome;
    }
    TRequestFile* storage = C.ActiveStorage();
    if (!storage)
        return outcome;

    StorageFile file(*storage);
    const std::string inscricao = file.RequestInscricao();

    for (const std::string& position : file.RequestPositions()) {
        const std::string id = file.RequestedCertificate(position);
        const std::string newId = Response.ReadString("Certificates", "NewId" + position, "");
        if (!NamesInscription(newId, inscricao)) {
            C.Ask.Show(FormatText(Texts::ReceiveWrongInscription, {id, InscriptionOf(newId)}));
            return outcome;
        }
        // Own identifiers are read again for each position: the list is
        // short, and the storage is the one truth.
        std::vector<std::string> own = file.Keys();
        own.push_back(file.MasterKey());
        if (id.empty() || file.Signed(id) || !IsInList(id, own))
            continue;
        if (!IncorporateOne(*storage, Response, position, id, outcome.Incorporated))
            return outcome;
    }

    try {
        C.Commit(file);
    } catch (const std::exception& e) {
        C.Ask.Show(std::string(Texts::ReceiveStoreError) + ClassAndMessage(e));
        return outcome;
    }
    C.Ask.Show(FormatText(Texts::ReceiveSummary, {std::to_string(outcome.Incorporated)}));
    outcome.Completed = true;
    return outcome;
}

bool TRequestReceiving::IncorporateOne(TRequestFile& Storage, const TRequestFile& Response, const std::string& Position,
                                       const std::string& Id, int& Incorporated)
{
    StorageFile file(Storage);
    if (file.PublicKey(Id) != Response.ReadString("Keys", "Key" + Position, "")
        || file.Info(Id) != Response.ReadString("Keys", "Info" + Position, "")) {
        C.Ask.Show(Texts::ReceiveIncompatible);
        return false;
    }
    // The identifier that goes into the key must be the one the authority
    // signed into the certificate.
    const std::string newId = Response.ReadString("Certificates", "NewId" + Position, "");
    const std::string certificateHex = Response.ReadString("Certificates", "Crt" + Position, "");
    const std::string signedId = IdentifierInCertificate(certificateHex);
    if (!signedId.empty() && signedId != newId) {
        C.Ask.Show(Texts::ReceiveIncompatible);
        return false;
    }

    std::string keyFile;
    try {
        keyFile = ExtractKeyFile(Storage, Id, C.Paths.DataDir());
    } catch (const std::exception&) {
        keyFile.clear();
    }
    if (keyFile.empty()) {
        C.Ask.Show(FormatText(Texts::ReceiveNoMedium, {Id}));
        return false;
    }

    auto password = C.Ask.AskPassword(KeyFilePwd::pmAskPassword, file.Name(Id));
    if (!password || password->Result() != mrOk) {
        password.reset();
        C.WipeAndReport(keyFile);
        return false;
    }

    C.Ask.Repaint();
    auto media = C.MediaFor(keyFile);
    try {
        TPasswordText text;
        password->GetPassword(text.Text);
        password.reset();
        media->PutCertificate(text.Text, newId, certificateHex);
    } catch (const std::exception& e) {
        password.reset();
        media.reset();
        C.WipeAndReport(keyFile);
        C.Ask.Show(e.what());
        return false;
    }

    // The three values are read first and assigned together: a failure in
    // between never leaves a new Info beside an old KeyFile or Signed false.
    std::string keyHex;
    std::string infoHex;
    try {
        keyHex = StringToHex(ReadKeyFile(keyFile));
        std::string info;
        media->Open();
        media->GetUserInfo(info);
        media->Close();
        infoHex = StringToHex(info);
    } catch (const std::exception& e) {
        media.reset();
        C.WipeAndReport(keyFile);
        C.Ask.Show(std::string(Texts::ReceiveStoreError) + ClassAndMessage(e));
        return false;
    }
    media.reset();

    file.PutSigned(Id, keyHex, infoHex);
    // A signed certificate is what "received" means: set with the first one,
    // so that the entity never holds signed certificates while saying that
    // nothing was received.
    file.MarkRequestReceived();
    ++Incorporated;
    C.Ask.CertificateChanged(Id);
    bool saved = true;
    try {
        C.Commit(file);
    } catch (const std::exception& e) {
        // The certificate stays in memory and goes with the next save; the
        // user is told that it is not on disk yet.
        C.Ask.Show(std::string(Texts::ReceiveStoreError) + ClassAndMessage(e));
        saved = false;
    }
    // The data work is done: a wipe that fails is reported and undoes
    // nothing.
    C.WipeAndReport(keyFile);
    return saved;
}
