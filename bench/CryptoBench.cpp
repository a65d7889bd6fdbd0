// Fingerprints and signatures through the medium, each against a peer on the
// same data in the same run:
//   HashString over 100 MB        vs  sha256sum on the same bytes
//   SignString (unlock + sign)    vs  openssl speed rsa1024, with the password
//                                     derivation (scrypt, as the kit tunes it)
//                                     measured and shown apart
// Key generation and request signing as the certificate steps run them are
// in CertificateStepsBench.
// Usage: bench_CryptoBench [kit folder]   (default: the build's bin/ folder)
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"

#include "BenchSupport.h"

#include <cstring>
#include <random>
#include <unistd.h>

using namespace bench;

namespace {

TUserData Entity()
{
    TUserData user;
    user.SetTipoInscricao("01");
    user.SetInscricao("11222333000181");
    user.SetProfile("01");
    user.Razao = "Bench Ltda";
    return user;
}

// Seconds per RSA-1024 signature as `openssl speed rsa1024` reports them.
double OpensslSignSeconds()
{
    FILE* pipe = popen("openssl speed -seconds 2 rsa1024 2>/dev/null", "r");
    if (!pipe)
        return 0;
    char line[512];
    double seconds = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        double sign = 0, verify = 0;
        if (std::sscanf(line, "rsa 1024 bits %lfs %lfs", &sign, &verify) == 2)
            seconds = sign;
    }
    pclose(pipe);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const auto loaded = LoadKit(argc, argv);
    if (!loaded)
        return 1;
    KitLibraries& kit = *loaded;
    const fs::path dir = fs::temp_directory_path() / ("cryptobench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    // ---- fingerprints ---------------------------------------------------
    std::string data(100u << 20, '\0');
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
        const uint64_t v = random();
        std::memcpy(&data[i], &v, 8);
    }
    const fs::path dataFile = dir / "data.bin";
    std::ofstream(dataFile, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));

    std::string digest;
    const double hashOurs = Best(3, [&] { HashString(kit, data, digest); });
    const std::string command = "sha256sum '" + dataFile.string() + "' > /dev/null";
    double hashPeer = 0;
    if (std::system("command -v sha256sum > /dev/null") == 0)
        hashPeer = Best(3, [&] { (void)std::system(command.c_str()); });
    std::printf("HashString 100 MB: %.3f s (%.0f MB/s)\n", hashOurs, 100 / hashOurs);
    if (hashPeer > 0)
        std::printf("sha256sum  100 MB: %.3f s (%.0f MB/s)   ratio %.2f\n", hashPeer, 100 / hashPeer,
                    hashOurs / hashPeer);
    data.clear();
    data.shrink_to_fit();
    fs::remove(dataFile);

    // ---- a key to sign with -----------------------------------------------
    const fs::path keyFile = dir / "key.PRI";
    {
        TRSAMedia media(kit, keyFile.string());
        media.GenerateFor(Password, Entity());
    }

    // ---- signing --------------------------------------------------------
    const bool haveOpenssl = HaveCommand("openssl");
    const double kdf = ScryptSeconds();
    const int signatures = 20;
    TRSAMedia media(kit, keyFile.string());
    media.Open();
    const std::string request(4000, 'r');
    std::string signature;
    const double signOurs = Mean(signatures, [&] { media.SignString(Password, request, signature); });
    media.Close();
    const double signPeer = haveOpenssl ? OpensslSignSeconds() : 0;
    std::printf("SignString: %.4f s per signature (hash, password derivation, sign)\n", signOurs);
    std::printf("  of which key derivation (scrypt N=2^15 r=8 p=1, fixed cost): %.4f s\n", kdf);
    if (signPeer > 0) {
        const double floor = signPeer + kdf;
        std::printf("openssl speed rsa1024: %.6f s per signature; + derivation = %.4f s\n", signPeer, floor);
        std::printf("SignString / (openssl sign + derivation): ratio %.2f (%+.1f ms)\n", signOurs / floor,
                    (signOurs - floor) * 1000);
    }

    WipeFile(keyFile.string());
    fs::remove_all(dir);
    return 0;
}
