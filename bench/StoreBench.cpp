// Loading and saving data files, each as a ratio to a plain read or write of
// the same bytes in the same run (the floor no parser or writer can beat).
//   storage: a STORAGE.<n>.DAT with 100 certificates (about half a megabyte
//            of hexadecimal text)
//   registry: an ENTITY.DAT with 1,000 entities
// Saving replaces the file safely (new file, flush, rename, flush the
// folder), so a save of a changed file is timed, round by round, against a
// plain write with the same flush, and shown against one without it too. The
// time is what the saver waits for: freeing the replaced version's blocks is
// left to a helper thread and done between rounds, untimed. A bare safe
// replace of the same bytes, with none of the saver's checks, is timed
// against the same plain write as well: no save that survives a crash can
// be faster than it, so it shows how much of the save's ratio is the disk's.
// Loads and plain reads alternate round by round, and the spread of the
// per-round ratios shows how noisy the machine was. Both run in a warm
// process, where freed memory is reused; the very first load in a fresh
// process also pays for fresh pages, more of them than a plain read (the
// line list is about as large as the text). A last line per file shows that
// case apart: freed memory is handed back to the system after every load and
// every plain read, so that each finds only pages new to it.
#include "store/AtomicFileWriter.h"
#include "store/TRequestFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Hex(std::mt19937& rng, std::size_t bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes * 2);
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned b = rng() & 0xFF;
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string Guid(std::mt19937& rng)
{
    const std::string h = Hex(rng, 16);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "{" + ...
    std::string g = "{";
    g.append(h, 0, 8).append("-").append(h, 8, 4).append("-").append(h, 12, 4).append("-").append(h, 16, 4);
    g.append("-").append(h, 20, 12).append("}");
    return g;
}

std::string StorageImage()
{
    std::mt19937 rng(1);
    auto f = TRequestFile::CreateFromLines(nullptr);
    std::vector<std::string> ids;
    for (int i = 0; i < 100; ++i)
        ids.push_back(Guid(rng));
    std::string keys;
    for (std::size_t i = 1; i < ids.size(); ++i)
        keys += (i > 1 ? "," : "") + ids[i];
    f->WriteString("General", "Request", "1");
    f->WriteString("General", "MasterKey", ids[0]);
    f->WriteString("General", "Keys", keys);
    f->WriteString("Request", "Razao", "EMPRESA DE TESTE LTDA");
    f->WriteString("Request", "Inscricao", "11222333000181");
    for (const auto& id : ids) {
        f->WriteString(id, "Name", "Certificado " + id.substr(1, 8));
        f->WriteString(id, "PublicKey", Hex(rng, 140));
        f->WriteString(id, "Info", Hex(rng, 100));
        f->WriteString(id, "KeyFile", Hex(rng, 2200));
        f->WriteString(id, "Signed", "0");
    }
    f->WriteString("Fingerprint", "Value", Hex(rng, 16));
    return f->Text();
}

std::string RegistryImage()
{
    auto f = TRequestFile::CreateFromLines(nullptr);
    for (int n = 1; n <= 1000; ++n) {
        const std::string s = "Entity" + std::to_string(n);
        f->WriteString(s, "filename", "/opt/quorvex/STORAGE." + std::to_string(n) + ".DAT");
        f->WriteString(s, "Profile", "01");
        f->WriteString(s, "Tipo_Inscricao", "01");
        f->WriteString(s, "Inscricao", "112223330001" + std::to_string(10 + n % 90));
        f->WriteString(s, "Razao", "EMPRESA NUMERO " + std::to_string(n));
        f->WriteString(s, "Endereco", "RUA DAS FLORES, " + std::to_string(n));
        f->WriteString(s, "Bairro", "CENTRO");
        f->WriteString(s, "Cidade", "SAO PAULO");
        f->WriteString(s, "UF", "SP");
        f->WriteString(s, "CEP", "01001000");
        f->WriteString(s, "Telefone", "1133334444");
        f->WriteString(s, "Email", "contato@empresa.com.br");
        f->WriteInteger(s, "Index", n);
    }
    f->WriteInteger("General", "Count", 1000);
    f->WriteInteger("General", "CountAll", 1000);
    f->WriteInteger("General", "ActiveIndex", 1);
    return f->Text();
}

// The floor for a load: the file's bytes in memory and nothing more. The
// buffer is left uninitialised, as the loader's own is; zero-filling it first
// (as a resized std::string would) adds a pass over the bytes that the
// loader does not make and flatters the ratio.
std::size_t PlainRead(const std::string& path)
{
    const std::size_t size = static_cast<std::size_t>(fs::file_size(path));
    std::unique_ptr<char[]> bytes(new char[size]);
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, bytes.get() + used, size - used);
        if (n <= 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // Look at a byte so that the read cannot be taken for dead work.
    return used + static_cast<unsigned char>(used ? bytes[used / 2] : 0);
}

void WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
}

void PlainWrite(const std::string& path, const std::string& bytes, bool flush)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    WriteAll(fd, bytes);
    if (flush)
        ::fsync(fd);
    ::close(fd);
}

// The least a save that survives a crash must do: a new file, its bytes
// flushed, renamed over the old one, and the folder flushed for the rename.
void BareSafeReplace(const std::string& Folder, const std::string& Path, const std::string& Bytes)
{
    const std::string temporary = Path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        std::abort();
    WriteAll(fd, Bytes);
    if (::fdatasync(fd) != 0 || ::close(fd) != 0 || ::rename(temporary.c_str(), Path.c_str()) != 0)
        std::abort();
    const int folder = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY);
    ::fsync(folder);
    ::close(folder);
}

double Micro(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// Median time of Runs calls, in microseconds.
double Median(int Runs, const std::function<void()>& Work)
{
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        Work();
        times.push_back(Micro(std::chrono::steady_clock::now() - t0));
    }
    return Median(std::move(times));
}

struct Paired {
    double Work;  // median time of Work, microseconds
    double Floor; // median time of Floor
    double Low;   // first and third quartile of the per-round ratios,
    double High;  // to show how noisy the run was
};

// Runs Work and Floor alternately (which goes first alternates too), so that
// both see the same machine: other jobs, caches and clock speed drift alike.
// Settle runs untimed after each of them: work that the timed call left to
// another thread is done before the next call starts.
Paired MeasurePair(
    int Runs, const std::function<void()>& Work, const std::function<void()>& Floor,
    const std::function<void()>& Settle = [] {})
{
    std::vector<double> work, floor, ratios;
    for (int i = 0; i < Runs; ++i) {
        double w, f;
        auto time = [&Settle](const std::function<void()>& fn) {
            const auto t0 = std::chrono::steady_clock::now();
            fn();
            const double took = Micro(std::chrono::steady_clock::now() - t0);
            Settle();
            return took;
        };
        if (i % 2) {
            w = time(Work);
            f = time(Floor);
        } else {
            f = time(Floor);
            w = time(Work);
        }
        work.push_back(w);
        floor.push_back(f);
        ratios.push_back(w / f);
    }
    std::sort(ratios.begin(), ratios.end());
    return Paired{Median(work), Median(floor), ratios[ratios.size() / 4], ratios[ratios.size() * 3 / 4]};
}

volatile std::size_t Sink;

void Measure(const char* Label, const std::string& Image, const std::string& Folder)
{
    const std::string path = Folder + "/" + Label + ".DAT";
    const std::string plainPath = Folder + "/" + Label + ".plain";
    PlainWrite(path, Image, false);
    PlainWrite(plainPath, Image, false);
    const int runs = 31;

    const Paired load = MeasurePair(
        201,
        [&] {
            TRequestFile f(path);
            Sink = f.SectionCount();
        },
        [&] { Sink = PlainRead(plainPath); });
    TRequestFile file(path);
    if (file.Text() != Image) {
        std::printf("%s: the image did not survive a load\n", Label);
        std::exit(1);
    }
    const double plainWrite = Median(runs, [&] { PlainWrite(plainPath, Image, false); });
    // Each save follows a change of one value, as every save of the program
    // does: a file that already holds the image is left in place without a
    // write, which would time a comparison instead of a save.
    int round = 0;
    const Paired save = MeasurePair(
        runs,
        [&] {
            file.WriteString("Fingerprint", "Value", std::to_string(++round));
            file.UpdateFile();
        },
        [&] { PlainWrite(plainPath, Image, true); },
        // The replaced version's blocks are freed by a helper thread after
        // the save has returned; that is not left to overlap the next plain
        // write and slow it.
        [] { AtomicFileWriter::WaitForReplacedVersions(); });
    const double render = Median(runs, [&] { Sink = file.Text().size(); });
    const std::string barePath = Folder + "/" + Label + ".bare";
    PlainWrite(barePath, Image, true);
    const Paired bare = MeasurePair(
        runs, [&] { BareSafeReplace(Folder, barePath, Image); }, [&] { PlainWrite(plainPath, Image, true); });

    std::printf("%-9s %8zu bytes  load %8.1f us = %5.2f x plain read (%.1f us); per round %.2f..%.2f x\n", Label,
                Image.size(), load.Work, load.Work / load.Floor, load.Floor, load.Low, load.High);
    std::printf("%-9s %8s        save %8.1f us = %5.2f x plain write+fsync (%.1f us); per round %.2f..%.2f x; "
                "%5.2f x plain write (%.1f us)\n",
                "", "", save.Work, save.Work / save.Floor, save.Floor, save.Low, save.High, save.Work / plainWrite,
                plainWrite);
    std::printf("%-9s %8s        bare safe replace %.1f us = %5.2f x plain write+fsync (%.1f us); per round "
                "%.2f..%.2f x\n",
                "", "", bare.Work, bare.Work / bare.Floor, bare.Floor, bare.Low, bare.High);
    std::printf("%-9s %8s        rendering alone %.1f us\n", "", "", render);
}

// The load of a file that Measure wrote, against a plain read, each in
// memory fresh from the system, as the first load of a run finds it.
void MeasureInFreshMemory(const char* Label, const std::string& Folder)
{
    const std::string path = Folder + "/" + Label + ".DAT";
    const std::string plainPath = Folder + "/" + Label + ".plain";
    const Paired load = MeasurePair(
        101,
        [&] {
            TRequestFile f(path);
            Sink = f.SectionCount();
        },
        [&] { Sink = PlainRead(plainPath); }, [] { ::malloc_trim(0); });
    std::printf(
        "%-9s %8s        load in fresh memory %8.1f us = %5.2f x plain read (%.1f us); per round %.2f..%.2f x\n", Label,
        "", load.Work, load.Work / load.Floor, load.Floor, load.Low, load.High);
}

} // namespace

int main()
{
    char tmpl[] = "/tmp/quorvex-storebench-XXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    Measure("storage", StorageImage(), folder);
    Measure("registry", RegistryImage(), folder);
#ifdef __GLIBC__
    MeasureInFreshMemory("storage", folder);
    MeasureInFreshMemory("registry", folder);
#endif
    fs::remove_all(folder);
    return 0;
}
