#pragma once
// What the benchmarks share: timing, the peer commands, the kit's password
// derivation measured on its own, and scripted answers for the certificate
// steps (one password for everything, a fixed seed, every question answered
// the same way).
#include "base/ProgramPaths.h"
#include "crypto/KitLibraries.h"
#include "support/FixedAnswers.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline const std::string Password = "SENHA123";

inline double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The fastest of `runs` runs: for work whose time barely varies.
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

// The mean of `runs` runs: for work whose time varies by nature (key
// generation searches for primes).
template <typename F>
double Mean(int runs, F&& f)
{
    const auto start = Clock::now();
    for (int i = 0; i < runs; ++i)
        f();
    return Seconds(start) / runs;
}

inline bool HaveCommand(const char* name)
{
    return std::system((std::string("command -v ") + name + " > /dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command with its output discarded; true when it succeeded.
inline bool Run(const std::string& command)
{
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

inline std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// The kit from the folder named as the first argument, else from the
// build's bin/ folder beside bench/; null, with the reason printed, when
// its libraries are not there.
inline std::unique_ptr<KitLibraries> LoadKit(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ProgramPaths::ExecutableFolder() + "../bin/";
    auto kit = std::make_unique<KitLibraries>(folder);
    if (!kit->Loaded()) {
        std::fprintf(stderr, "the kit's libraries are not in %s\n", folder.c_str());
        return nullptr;
    }
    return kit;
}

// Seconds per password derivation as the kit runs it for every use of a
// private key (scrypt, N = 2^15, r = 8, p = 1, 32-byte key), through
// OpenSSL's own EVP_PBE_scrypt reached at run time, so that a benchmark
// need not link the crypto library for it. 0 when it cannot be had.
inline double ScryptSeconds(int runs = 20)
{
    using Scrypt = int (*)(const char*, size_t, const unsigned char*, size_t, uint64_t, uint64_t, uint64_t, uint64_t,
                           unsigned char*, size_t);
    void* crypto = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    auto scrypt = crypto ? reinterpret_cast<Scrypt>(dlsym(crypto, "EVP_PBE_scrypt")) : nullptr;
    if (!scrypt) {
        if (crypto)
            dlclose(crypto);
        return 0;
    }
    unsigned char key[32];
    const unsigned char salt[16] = {1, 2, 3};
    const double t = Mean(runs, [&] {
        scrypt(Password.c_str(), Password.size(), salt, sizeof salt, 1u << 15, 8, 1, 64u << 20, key, sizeof key);
    });
    dlclose(crypto);
    return t;
}

// ENTITY.DAT of a data folder with one active entity whose storage file is
// STORAGE.1.DAT in the same folder (the caller writes that).
inline void WriteRegistry(const std::string& DataDir, const std::string& Inscricao, const std::string& Razao)
{
    WriteAll(DataDir + "ENTITY.DAT", "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n[Entity1]\r\nfilename="
                                         + DataDir + "STORAGE.1.DAT\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao="
                                         + Inscricao + "\r\nRazao=" + Razao + "\r\nIndex=1\r\n\r\n");
}

// Answers a certificate step without a user: Password for every password
// question, a fixed non-zero seed, every message question agreed to or
// cancelled alike.
inline testsupport::FixedAnswers BenchAnswers(bool Agree)
{
    return testsupport::FixedAnswers(Agree ? testsupport::FixedAnswers::Reply::Agree
                                           : testsupport::FixedAnswers::Reply::Cancel,
                                     Password, std::string(128, '\x5A'));
}

} // namespace bench
