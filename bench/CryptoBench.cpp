// Fingerprints and signatures through the medium, each against a peer on the
// same data in the same run:
//   HashString over 100 MB        vs  sha256sum on the same bytes
//   SignString (unlock + sign)    vs  an EVP RSA-1024 signing loop, with the
//                                     password derivation (scrypt, as the kit
//                                     tunes it) measured and shown apart
//   key generation                    mean time per key
// Usage: bench_CryptoBench [kit folder]   (default: the build's bin/ folder)
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "crypto/Wipe.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename F>
double Best(int runs, F&& f)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Seconds(start));
    }
    return best;
}

TUserData Entity()
{
    TUserData user;
    user.SetTipoInscricao("01");
    user.SetInscricao("11222333000181");
    user.SetProfile("01");
    user.Razao = "Bench Ltda";
    return user;
}

// The password derivation the kit runs for every use of a private key
// (scrypt, N = 2^15, r = 8, p = 1, 32-byte key).
double ScryptSeconds()
{
    unsigned char key[32];
    const unsigned char salt[16] = {1, 2, 3};
    return Best(5, [&] {
        EVP_PBE_scrypt("SENHA123", 8, salt, sizeof salt, 1u << 15, 8, 1, 64u << 20, key, sizeof key);
    });
}

// RSA-1024 PKCS#1 v1.5 over a 16-byte digest with OpenSSL directly.
double EvpSignSeconds(int count)
{
    EVP_PKEY* key = EVP_RSA_gen(1024);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    EVP_PKEY_sign_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    unsigned char digest[16] = {7};
    unsigned char signature[128];
    const double t = Best(3, [&] {
        for (int i = 0; i < count; ++i) {
            size_t length = sizeof signature;
            EVP_PKEY_sign(ctx, signature, &length, digest, sizeof digest);
        }
    });
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    return t / count;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string kitFolder = argc > 1 ? argv[1] : ExecutableFolder() + "../bin/";
    KitLibraries kit(kitFolder);
    if (!kit.Loaded()) {
        std::fprintf(stderr, "the kit's libraries are not in %s\n", kitFolder.c_str());
        return 1;
    }
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

    // ---- key generation -------------------------------------------------
    const int keys = 5;
    const fs::path keyFile = dir / "key.PRI";
    double generate = 0;
    for (int i = 0; i < keys; ++i) {
        fs::remove(keyFile);
        const auto start = Clock::now();
        TRSAMedia media(kit, keyFile.string());
        media.GenerateFor("SENHA123", Entity());
        generate += Seconds(start);
    }
    std::printf("Generate: %.3f s per key (mean of %d, one scrypt derivation included)\n", generate / keys, keys);

    // ---- signing --------------------------------------------------------
    const double kdf = ScryptSeconds();
    const int signatures = 10;
    TRSAMedia media(kit, keyFile.string());
    media.Open();
    const std::string request(4000, 'r');
    std::string signature;
    const double signOurs = Best(3, [&] {
                                for (int i = 0; i < signatures; ++i)
                                    media.SignString("SENHA123", request, signature);
                            })
        / signatures;
    media.Close();
    const double signPeer = EvpSignSeconds(200);
    std::printf("key derivation (scrypt N=2^15 r=8 p=1): %.4f s, paid once per signature\n", kdf);
    std::printf("SignString: %.4f s per signature; without the derivation %.6f s\n", signOurs,
                signOurs - kdf);
    std::printf("EVP RSA-1024 sign: %.6f s   ratio (without derivation) %.2f\n", signPeer,
                (signOurs - kdf) / signPeer);

    WipeFile(keyFile.string());
    fs::remove_all(dir);
    return 0;
}
