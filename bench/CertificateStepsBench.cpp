// The two certificate steps that do the kit's heavy work, as the client runs
// them, each against OpenSSL's command line on the same work in the same run
// plus the fixed cost of the password derivation (scrypt, measured apart):
//
//   creation (TCertificateCreation::FileNew: key pair, derivation, the
//   encrypted key file written and read into the storage, storage saved,
//   key file wiped)          vs  openssl genpkey -algorithm RSA
//                                -pkeyopt rsa_keygen_bits:1024 -out FILE
//   signing (the master key unlocked under its password, the request text
//   signed, as TRequestSending does it)
//                            vs  openssl dgst -sha256 -sign KEY.pem on the
//                                same text, KEY.pem being the master key
//   the whole sending step (TRequestSending::RequestSend: request built,
//   key file extracted and wiped, signed, written to the medium, storage
//   saved), against the same peer
//
// Each peer run starts a process; that start (`openssl version`) is shown
// apart. The kit signs a 16-byte digest without the DigestInfo wrapper, the
// peer a full SHA-256 in it: both hash the text once and run one RSA-1024
// private-key operation. Before timing, the PEM key is checked to sign the
// kit's digest to the very bytes of the kit's signature, so both sides
// really use the same key on the same text.
//
// Usage: bench_CertificateStepsBench [kit folder]   (default: the build's bin/ folder)
#include "BenchSupport.h"

#include "app/steps/TCertificateCreation.h"
#include "app/steps/TRequestSending.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TStepContext.h"
#include "crypto/FormatHex.h"
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

#include "kit/KeyFile.h"
#include "kit/KeyProtection.h"

#include <openssl/pem.h>

#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

constexpr int Keys = 10;
constexpr int Signatures = 10;
const std::string Inscricao = "11222333000181";
const std::string Razao = "Bench Ltda";

// The master's private key out of its stored key file, unlocked with the
// kit's own code and written as an unencrypted PEM file for the peer.
bool WriteMasterPem(const TRequestFile& Storage, const fs::path& Pem)
{
    const std::string master = Storage.ReadString("General", "MasterKey", "");
    const std::string bytes = HexToString(Storage.ReadString(master, "KeyFile", ""));
    kit::KeyFile file;
    if (kit::ParseKeyFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), file) != 0)
        return false;
    kit::EvpPkeyPtr key = kit::UnlockPrivateKey(file, Password.c_str());
    FILE* out = std::fopen(Pem.c_str(), "wb");
    if (!out)
        return false;
    const bool written = PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(out);
    return written;
}

// The text that sending signs: the request file up to its [Signatures] line.
std::string SignedText(const std::string& RequestFile)
{
    const std::string request = ReadAll(RequestFile);
    const std::size_t end = request.find("[Signatures]");
    return end == std::string::npos ? std::string() : request.substr(0, end);
}

} // namespace

int main(int argc, char** argv)
{
    const auto loaded = LoadKit(argc, argv);
    if (!loaded)
        return 1;
    KitLibraries& kit = *loaded;
    if (!HaveCommand("openssl")) {
        std::fprintf(stderr, "openssl is not installed: no peer to compare with\n");
        return 1;
    }
    const fs::path root = fs::temp_directory_path() / ("stepsbench-" + std::to_string(::getpid()));
    const std::string dataDir = (root / "data").string() + "/";
    const std::string driveA = (root / "A").string() + "/";
    fs::create_directories(dataDir);
    fs::create_directories(driveA);
    WriteRegistry(dataDir, Inscricao, Razao);
    WriteAll(dataDir + "STORAGE.1.DAT",
             "[General]\r\nRequest=1\r\n\r\n[Request]\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=" + Inscricao
                 + "\r\nRazao=" + Razao
                 + "\r\nEndereco=Rua das Flores, 10\r\nBairro=Centro\r\nCidade=Curitiba\r\nUF=PR\r\nCEP=80000000\r\n"
                   "Telefone=4133334444\r\nEmail=contato@example.com\r\n\r\n"
                   "[Resp]\r\nResp1=Maria Silva\r\nCpf1=11144477735\r\nRespCount=1\r\n\r\n");

    TEntitySession session(dataDir);
    const ProgramPaths paths(dataDir, dataDir, driveA);
    auto answers = BenchAnswers(true);
    TStepContext context(session, paths, answers, kit);
    TRequestFile& storage = *context.ActiveStorage();
    const fs::path work = root / "peer";
    fs::create_directories(work);

    const double kdf = ScryptSeconds();
    const double spawn = Best(10, [] { Run("openssl version"); });
    std::printf("password derivation (scrypt N=2^15 r=8 p=1, fixed cost): %.1f ms\n", kdf * 1000);
    std::printf("process start of the peer (openssl version): %.1f ms\n", spawn * 1000);

    // ---- creation -------------------------------------------------------
    int made = 0;
    const double create = Mean(Keys, [&] { made += TCertificateCreation(context).FileNew().empty() ? 0 : 1; });
    if (made != Keys) {
        std::fprintf(stderr, "creation stopped: %s\n", answers.Last.c_str());
        fs::remove_all(root);
        return 1;
    }
    // The kit's call alone (key pair, derivation, encrypted key file written):
    // what the step adds on top of it is its storage and wiping work.
    TUserData entity;
    entity.SetTipoInscricao("01");
    entity.SetInscricao(Inscricao);
    entity.SetProfile("01");
    entity.Razao = Razao;
    const std::string kitKey = dataDir + "generate.PRI";
    const double generate = Mean(Keys, [&] {
        fs::remove(kitKey);
        TRSAMedia(kit, kitKey).GenerateFor(Password, entity);
    });
    WipeFile(kitKey);
    const std::string genpkey =
        "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out '" + (work / "gen.pem").string() + "'";
    const double generatePeer = Mean(Keys, [&] { Run(genpkey); });
    const double createFloor = generatePeer + kdf;
    std::printf(
        "\nFileNew (RSA-1024 key, one derivation, key file into the storage, saved): %.1f ms per key (mean of %d)\n",
        create * 1000, Keys);
    std::printf("  of which the kit's GenerateFor (key pair, derivation, key file written): %.1f ms (mean of %d)\n",
                generate * 1000, Keys);
    std::printf("openssl genpkey rsa_keygen_bits:1024: %.1f ms per key (mean of %d); + derivation = %.1f ms\n",
                generatePeer * 1000, Keys, createFloor * 1000);
    std::printf("FileNew / (genpkey + derivation): ratio %.2f (%+.1f ms)\n", create / createFloor,
                (create - createFloor) * 1000);
    std::printf("GenerateFor / (genpkey + derivation): ratio %.2f (%+.1f ms)\n", generate / createFloor,
                (generate - createFloor) * 1000);

    // ---- signing --------------------------------------------------------
    // One sending first: the request file it writes holds the text that is
    // signed and the kit's signature of it.
    const TRequestSending::Outcome first = TRequestSending(context).RequestSend();
    if (!first.Sent) {
        std::fprintf(stderr, "sending stopped: %s\n", answers.Last.c_str());
        fs::remove_all(root);
        return 1;
    }
    const std::string text = SignedText(first.FileName);
    const std::string kitSignature = HexToString(TRequestFile(first.FileName).ReadString("Signatures", "User", ""));
    const fs::path pem = work / "master.pem";
    const fs::path textFile = work / "request.txt";
    const fs::path digestFile = work / "digest.bin";
    const fs::path signatureFile = work / "signature.bin";
    WriteAll(textFile, text);
    std::string digestHex;
    HashString(kit, text, digestHex);
    WriteAll(digestFile, HexToString(digestHex));
    if (text.empty() || !WriteMasterPem(storage, pem)
        || !Run("openssl pkeyutl -sign -inkey '" + pem.string() + "' -in '" + digestFile.string() + "' -out '"
                + signatureFile.string() + "'")
        || ReadAll(signatureFile) != kitSignature) {
        std::fprintf(stderr, "the master key as PEM does not sign the request text as the kit did\n");
        fs::remove_all(root);
        return 1;
    }

    // The signing as sending does it: a key file of the master, opened,
    // unlocked under the password, the text hashed and signed.
    const std::string keyFile = dataDir + "master.PRI";
    WriteAll(keyFile, HexToString(storage.ReadString(storage.ReadString("General", "MasterKey", ""), "KeyFile", "")));
    std::string signature;
    const double sign = Mean(Signatures, [&] {
        TRSAMedia media(kit, keyFile);
        media.Open();
        media.SignString(Password, text, signature);
        media.Close();
    });
    WipeFile(keyFile);
    const std::string dgst = "openssl dgst -sha256 -sign '" + pem.string() + "' -out '" + signatureFile.string() + "' '"
                             + textFile.string() + "'";
    const double signPeer = Mean(Signatures, [&] { Run(dgst); });
    const double signFloor = signPeer + kdf;

    int sent = 0;
    const double send = Mean(Signatures, [&] { sent += TRequestSending(context).RequestSend().Sent ? 1 : 0; });
    if (sent != Signatures) {
        std::fprintf(stderr, "sending stopped: %s\n", answers.Last.c_str());
        fs::remove_all(root);
        return 1;
    }

    std::printf("\nrequest text: %zu bytes, %d certificates; the master key as PEM signs its digest to the kit's "
                "signature, byte for byte\n",
                text.size(), Keys);
    std::printf("sign (open, unlock under the password, hash, sign): %.1f ms per signature (mean of %d)\n", sign * 1000,
                Signatures);
    std::printf("openssl dgst -sha256 -sign: %.1f ms per signature (mean of %d); + derivation = %.1f ms\n",
                signPeer * 1000, Signatures, signFloor * 1000);
    std::printf("sign / (dgst + derivation): ratio %.2f (%+.1f ms)\n", sign / signFloor, (sign - signFloor) * 1000);
    std::printf("RequestSend (whole step, medium and storage written): %.1f ms   ratio to dgst + derivation %.2f\n",
                send * 1000, send / signFloor);

    WipeFile(pem.string());
    fs::remove_all(root);
    return 0;
}
