// Backs up and restores a folder of data files (storage files full of
// hexadecimal key text, plus some incompressible bytes) and compares with
// `gzip -1` and `gunzip` on the same bytes in the same run.
//
// QV_BENCH_MB sets the amount of data (default 200).
#include "backup/TBackupFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A storage file as the program writes it: sections of key=value lines whose
// values are long runs of hexadecimal digits (keys, public keys, info blocks).
std::string StorageText(std::size_t size, std::mt19937_64& rng)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(size + 4096);
    int section = 0;
    while (s.size() < size) {
        s += "[{";
        s += std::to_string(rng());
        s += "-";
        s += std::to_string(section++);
        s += "}]\r\nName=Certificado\r\n";
        for (const char* key : {"KeyFile", "PublicKey", "Info"}) {
            s += key;
            s += '=';
            const std::size_t n = key[0] == 'K' ? 2600 : key[0] == 'P' ? 280 : 200;
            for (std::size_t i = 0; i < n; ++i)
                s += digits[rng() & 15];
            s += "\r\n";
        }
        s += "Signed=0\r\n\r\n";
    }
    s.resize(size);
    return s;
}

int Run(const std::string& cmd)
{
    const int rc = std::system(cmd.c_str());
    if (rc != 0)
        std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
    return rc;
}

} // namespace

int main()
{
    const char* env = std::getenv("QV_BENCH_MB");
    const std::size_t mb = env ? std::strtoul(env, nullptr, 10) : 200;
    const fs::path root = fs::temp_directory_path() / (std::string("qvbench-backup-") + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path data = root / "data", dest = root / "restored";
    fs::create_directories(data);
    fs::create_directories(dest);

    // 90 % storage text in 4 MB files, 10 % random bytes.
    std::mt19937_64 rng(42);
    const std::size_t total = mb << 20;
    const std::size_t randomBytes = total / 10;
    std::vector<std::string> files;
    std::size_t made = 0;
    for (int n = 1; made < total - randomBytes; ++n) {
        const std::size_t size = std::min<std::size_t>(4u << 20, total - randomBytes - made);
        const fs::path p = data / (std::string("STORAGE.") + std::to_string(n) + ".DAT");
        std::ofstream(p, std::ios::binary) << StorageText(size, rng);
        files.push_back(p.string());
        made += size;
    }
    {
        std::string noise(randomBytes, '\0');
        for (std::size_t i = 0; i + 8 <= noise.size(); i += 8) {
            const auto v = rng();
            std::memcpy(&noise[i], &v, 8);
        }
        const fs::path p = data / "NOISE.BIN";
        std::ofstream(p, std::ios::binary) << noise;
        files.push_back(p.string());
    }
    Run("sync");

    // Ours.
    const std::string archive = (root / "copia.bkp").string();
    TBackupFile backup;
    backup.CompressionLevel = clFastest;
    auto t0 = Clock::now();
    const bool okBackup = backup.Backup({(data / "*").string()}, archive);
    auto t1 = Clock::now();
    TBackupFile restore;
    const bool okRestore = restore.Restore(archive, dest.string());
    auto t2 = Clock::now();
    if (!okBackup || !okRestore) {
        std::fprintf(stderr, "backup or restore failed (%d)\n", backup.ErrorCode() | restore.ErrorCode());
        fs::remove_all(root);
        return 1;
    }

    // gzip on the same files, written to disk the same way.
    std::string list;
    for (const auto& f : files) {
        list += ' ';
        list += Quote(f);
    }
    const std::string gz = (root / "copia.gz").string();
    auto g0 = Clock::now();
    Run(std::string("gzip -1 -c") + list + " > " + Quote(gz));
    auto g1 = Clock::now();
    Run(std::string("gunzip -c ") + Quote(gz) + " > " + Quote((root / "gunzipped").string()));
    auto g2 = Clock::now();

    const double ourBackup = Seconds(t0, t1), ourRestore = Seconds(t1, t2);
    const double gzipTime = Seconds(g0, g1), gunzipTime = Seconds(g1, g2);
    const double archiveSize = static_cast<double>(fs::file_size(archive));
    const double gzSize = static_cast<double>(fs::file_size(gz));
    const double mbs = static_cast<double>(total) / (1 << 20);

    std::printf("data: %.0f MB in %zu files\n", mbs, files.size());
    std::printf("backup : %7.2f s %7.1f MB/s   gzip -1: %7.2f s %7.1f MB/s   throughput ratio %.2fx\n", ourBackup,
                mbs / ourBackup, gzipTime, mbs / gzipTime, gzipTime / ourBackup);
    std::printf("restore: %7.2f s %7.1f MB/s   gunzip : %7.2f s %7.1f MB/s   throughput ratio %.2fx\n", ourRestore,
                mbs / ourRestore, gunzipTime, mbs / gunzipTime, gunzipTime / ourRestore);
    std::printf("size   : archive %.0f bytes, gzip -1 %.0f bytes, ratio %.3f\n", archiveSize, gzSize,
                archiveSize / gzSize);
    fs::remove_all(root);
    return 0;
}
