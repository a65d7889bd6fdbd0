// The authority's response as receiving reads it, on arbitrary bytes: no
// crash, no key file left behind, and the storage file on disk changes only
// for a certificate that passed every check and was taken by the kit.
//
// The entity holds two unsigned certificates made once with the real kit and
// sent at positions 00 and 01. So that the fuzzer reaches past the exact
// comparisons, these tokens in the input are replaced before it is read:
// $K0/$K1 the public keys, $I0/$I1 the info blocks, $C0/$C1 certificates
// issued for the two keys, $N0/$N1 their identifiers.
#include "app/steps/StorageOperations.h"
#include "app/steps/TRequestReceiving.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TStepContext.h"
#include "base/ProgramPaths.h"
#include "crypto/FormatHex.h"
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "support/FixedAnswers.h"

#include "CertificationAuthority.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string Inscricao = "11222333000181";
const std::string Password = "SENHA123";

struct World {
    std::string Root, DataDir, DriveDir;
    std::unique_ptr<KitLibraries> Kit;
    std::string Storage;  // the storage file as sent
    std::string Registry; // ENTITY.DAT
    std::string Ids[2];
    std::string Tokens[8][2]; // token, replacement
};
World* W = nullptr;

std::string ReadAll(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& Path, const std::string& Bytes)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

bool NoKeyFiles(const std::string& Dir)
{
    for (const auto& entry : fs::directory_iterator(Dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".PRI") == 0)
            return false;
    }
    return true;
}

void Build()
{
    W = new World;
    char pattern[] = "/tmp/responsefuzz-XXXXXX";
    W->Root = ::mkdtemp(pattern);
    W->DataDir = W->Root + "/data/";
    W->DriveDir = W->Root + "/A/";
    fs::create_directories(W->DataDir);
    fs::create_directories(W->DriveDir);
    W->Kit = std::make_unique<KitLibraries>(QUORVEX_APP_DIR);
    if (!W->Kit->Loaded())
        std::abort();

    TUserData entity;
    entity.SetTipoInscricao("01");
    entity.SetInscricao(Inscricao);
    entity.SetProfile("01");
    entity.Razao = "Metalurgica Sol Ltda";

    bool created = false;
    CertificationAuthority authority(W->Root + "/ca", created);
    TRequestFile storage("");
    storage.WriteString("General", "Request", "1");
    storage.WriteBool("General", "RequestSent", true);
    storage.WriteString("Request", "Profile", "01");
    storage.WriteString("Request", "Tipo_Inscricao", "01");
    storage.WriteString("Request", "Inscricao", Inscricao);
    storage.WriteString("Request", "Razao", entity.Razao);
    for (int i = 0; i < 2; ++i) {
        const std::string id =
            i == 0 ? "{11111111-2222-4333-8444-555555555555}" : "{66666666-7777-4888-8999-AAAAAAAAAAAA}";
        W->Ids[i] = id;
        const std::string keyFile = W->DataDir + id + ".PRI";
        std::string publicKey, info;
        {
            TRSAMedia media(*W->Kit, keyFile);
            media.GenerateFor(Password, entity);
            media.Open();
            media.GetPublicKey(publicKey);
            media.GetUserInfo(info);
            media.Close();
        }
        storage.WriteString(id, "Name", "Certificado " + std::to_string(i));
        storage.WriteString(id, "PublicKey", StringToHex(publicKey));
        storage.WriteString(id, "Info", StringToHex(info));
        storage.WriteString(id, "KeyFile", StringToHex(ReadAll(keyFile)));
        fs::remove(keyFile);
        storage.WriteString("RequestReference", ZeroPad(i, 2), id);
        const std::string newId = "01" + Inscricao + ZeroPad(i + 1, 8) + "01";
        const std::string n = std::to_string(i);
        W->Tokens[i * 4 + 0][0] = "$K" + n;
        W->Tokens[i * 4 + 0][1] = StringToHex(publicKey);
        W->Tokens[i * 4 + 1][0] = "$I" + n;
        W->Tokens[i * 4 + 1][1] = StringToHex(info);
        W->Tokens[i * 4 + 2][0] = "$C" + n;
        W->Tokens[i * 4 + 2][1] =
            StringToHex(authority.MakeCertificate(publicKey, newId, 1'800'000'000u, 1'900'000'000u));
        W->Tokens[i * 4 + 3][0] = "$N" + n;
        W->Tokens[i * 4 + 3][1] = newId;
    }
    storage.WriteString("General", "MasterKey", W->Ids[0]);
    storage.WriteString("General", "Keys", W->Ids[1]);
    storage.WriteString("RequestReference", "FileName", W->DriveDir + "{REQ}.TXT");
    W->Storage = storage.Text();
    W->Registry = "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n[Entity1]\r\nfilename=" + W->DataDir
                  + "STORAGE.1.DAT\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=" + Inscricao
                  + "\r\nRazao=Metalurgica Sol Ltda\r\nIndex=1\r\n\r\n";
}

std::string Expand(std::string Text)
{
    for (const auto& token : W->Tokens) {
        for (std::size_t at = Text.find(token[0]); at != std::string::npos;
             at = Text.find(token[0], at + token[1].size()))
            Text.replace(at, token[0].size(), token[1]);
    }
    return Text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Build();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string storagePath = W->DataDir + "STORAGE.1.DAT";
    WriteAll(storagePath, W->Storage);
    WriteAll(W->DataDir + "ENTITY.DAT", W->Registry);
    const std::string input = Expand(std::string(reinterpret_cast<const char*>(data), size));
    WriteAll(W->DriveDir + "R.CNS", input);

    TRequestReceiving::TOutcome outcome;
    {
        TEntitySession session(W->DataDir);
        const ProgramPaths paths(W->DataDir, W->DataDir, W->DriveDir);
        testsupport::FixedAnswers answers(testsupport::FixedAnswers::Reply::Cancel, Password);
        TStepContext context(session, paths, answers, *W->Kit);
        TRequestFile response("");
        if (!TRequestReceiving::LoadResponse(W->DriveDir + "R.CNS", response))
            std::abort(); // a small regular file is always read
        outcome = TRequestReceiving(context).Incorporate(response);
    }

    if (!NoKeyFiles(W->DataDir))
        std::abort();
    const std::string after = ReadAll(storagePath);
    if (outcome.Incorporated == 0) {
        // The only save that may happen then rewrites the same image.
        if (after != W->Storage)
            std::abort();
        return 0;
    }
    // Something was taken: only a certificate whose key and info block came
    // back exactly, and which the kit accepted, is signed on disk now.
    TRequestFile sent("");
    sent.SetText(W->Storage);
    TRequestFile now("");
    now.SetText(after);
    TRequestFile response("");
    response.SetText(input);
    if (response.ReadString("General", "Dir", "") != TRequestReceiving::ResponseMarker
        || !now.ReadBool("General", "RequestReceived", false))
        std::abort();
    int signedCount = 0;
    for (int i = 0; i < 2; ++i) {
        const std::string& id = W->Ids[i];
        if (!now.ReadBool(id, "Signed", false)) {
            if (now.ReadString(id, "KeyFile", "") != sent.ReadString(id, "KeyFile", ""))
                std::abort();
            continue;
        }
        ++signedCount;
        const std::string nn = ZeroPad(i, 2);
        if (response.ReadString("Keys", "Key" + nn, "") != sent.ReadString(id, "PublicKey", "")
            || response.ReadString("Keys", "Info" + nn, "") != sent.ReadString(id, "Info", "")
            || response.ReadString("Certificates", "NewId" + nn, "").find(Inscricao) == std::string::npos
            || HexToString(now.ReadString(id, "Info", "")).substr(0, 26)
                   != response.ReadString("Certificates", "NewId" + nn, ""))
            std::abort();
    }
    if (signedCount != outcome.Incorporated)
        std::abort();
    return 0;
}
