// Receiving a response of 100 certificates, against the same number of plain
// key-file reads and writes on the same bytes.
//
// Receiving a certificate writes its key file out, has the kit put the
// certificate in under the password (which derives the key twice: to open
// the private key and to seal the changed info block again), reads the file
// back and saves the storage file at once. The peer writes and reads the
// same 100 key files and nothing else; the fixed cost of the password
// derivation is measured and shown apart, so that what receiving adds on top
// of the kit's own work can be read off.
// Usage: bench_ReceiveBench [kit folder]   (default: the build's bin/ folder)
#include "app/steps/StorageOperations.h"
#include "app/steps/TRequestReceiving.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TStepContext.h"
#include "crypto/FormatHex.h"
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

#include "BenchSupport.h"
#include "CertificationAuthority.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

using namespace bench;

namespace {

constexpr int Certificates = 100;
const std::string Inscricao = "11222333000181";

} // namespace

int main(int argc, char** argv)
{
    const auto loaded = LoadKit(argc, argv);
    if (!loaded)
        return 1;
    KitLibraries& kit = *loaded;
    const fs::path root = fs::temp_directory_path() / ("receivebench-" + std::to_string(::getpid()));
    const std::string dataDir = (root / "data").string() + "/";
    fs::create_directories(dataDir);
    fs::create_directories(root / "A");

    // One key, made once, stands for each of the 100 certificates: the cost
    // of receiving does not depend on which key it is.
    TUserData entity;
    entity.SetTipoInscricao("01");
    entity.SetInscricao(Inscricao);
    entity.SetProfile("01");
    entity.Razao = "Bench Ltda";
    const std::string keyPath = dataDir + "key.PRI";
    std::string publicKey, info;
    {
        TRSAMedia media(kit, keyPath);
        media.GenerateFor(Password, entity);
        media.Open();
        media.GetPublicKey(publicKey);
        media.GetUserInfo(info);
        media.Close();
    }
    const std::string keyBytes = ReadAll(keyPath);
    fs::remove(keyPath);

    bool created = false;
    CertificationAuthority authority((root / "ca").string(), created);
    TRequestFile storage("");
    TRequestFile response("");
    storage.WriteString("General", "Request", "1");
    storage.WriteString("General", "RequestSent", "1");
    storage.WriteString("Request", "Inscricao", Inscricao);
    storage.WriteString("Request", "Razao", entity.Razao);
    response.WriteString("General", "Dir", TRequestReceiving::ResponseMarker);
    std::vector<std::string> ids;
    for (int i = 0; i < Certificates; ++i) {
        char id[64];
        std::snprintf(id, sizeof id, "{00000000-0000-4000-8000-%012d}", i);
        ids.push_back(id);
        const std::string nn = ZeroPad(i, 2);
        const std::string newId = "01" + Inscricao + ZeroPad(i + 1, 8) + "01";
        storage.WriteString(id, "Name", id);
        storage.WriteString(id, "PublicKey", StringToHex(publicKey));
        storage.WriteString(id, "Info", StringToHex(info));
        storage.WriteString(id, "KeyFile", StringToHex(keyBytes));
        storage.WriteString("RequestReference", nn, id);
        response.WriteString("Certificates", "NewId" + nn, newId);
        response.WriteString("Certificates", "Crt" + nn,
                             StringToHex(authority.MakeCertificate(publicKey, newId, 1'800'000'000u, 1'900'000'000u)));
        response.WriteString("Keys", "Key" + nn, StringToHex(publicKey));
        response.WriteString("Keys", "Info" + nn, StringToHex(info));
    }
    storage.WriteString("General", "MasterKey", ids.front());
    storage.WriteString("General", "Keys", JoinCommaList(std::vector<std::string>(ids.begin() + 1, ids.end())));
    WriteAll(dataDir + "STORAGE.1.DAT", storage.Text());
    WriteRegistry(dataDir, Inscricao, entity.Razao);

    // ---- receiving ----------------------------------------------------------
    double receive = 0;
    int incorporated = 0;
    std::string last;
    {
        TEntitySession session(dataDir);
        const ProgramPaths paths(dataDir, dataDir, (root / "A").string() + "/");
        auto answers = BenchAnswers(false);
        TStepContext context(session, paths, answers, kit);
        const auto start = Clock::now();
        incorporated = TRequestReceiving(context).Incorporate(response).Incorporated;
        receive = Seconds(start);
        last = answers.Last;
    }
    if (incorporated != Certificates) {
        std::fprintf(stderr, "receiving stopped after %d certificates: %s\n", incorporated, last.c_str());
        fs::remove_all(root);
        return 1;
    }

    // ---- the peer: the same key files written and read back, plainly --------
    const auto start = Clock::now();
    std::size_t bytes = 0;
    for (int i = 0; i < Certificates; ++i) {
        const std::string path = dataDir + ids[static_cast<std::size_t>(i)] + ".PRI";
        std::ofstream(path, std::ios::binary) << keyBytes;
        bytes += ReadAll(path).size();
        fs::remove(path);
    }
    const double peer = Seconds(start);
    const double kdf = ScryptSeconds(10);

    std::printf("receive %d certificates: %.3f s (%.1f ms each)\n", Certificates, receive,
                receive * 1000 / Certificates);
    std::printf("plain key-file writes and reads (%d files, %zu bytes): %.4f s   ratio %.0f\n", Certificates, bytes,
                peer, receive / peer);
    if (kdf > 0) {
        const double fixed = 2 * kdf * Certificates;
        std::printf("  of which password derivation (2 x scrypt per certificate, fixed cost): %.3f s\n", fixed);
        std::printf("receive less derivation: %.3f s (%.2f ms each)   ratio to plain files %.1f\n", receive - fixed,
                    (receive - fixed) * 1000 / Certificates, (receive - fixed) / peer);
    }
    fs::remove_all(root);
    return 0;
}
