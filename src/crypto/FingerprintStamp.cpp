#include "crypto/FingerprintStamp.h"

#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// The text of each file as this process last stamped it (by a digest of the
// text): a file whose text is still that needs neither a new stamp nor a
// write. Shutdown after a backup, say, writes only what changed between.
std::map<std::string, std::size_t>& StampedTexts()
{
    static std::map<std::string, std::size_t> texts;
    return texts;
}

std::size_t TextDigest(const std::string& Text)
{
    return std::hash<std::string>{}(Text);
}

// Saves the files side by side: each goes through the safe replace on its
// own (whole, or not at all), but their flushes to the disk overlap instead
// of each waiting for the one before. Every file is tried; the first failure
// is raised once all are done.
void SaveTogether(const std::vector<TRequestFile*>& Files)
{
    constexpr std::size_t MostAtOnce = 8; // flushes wait on the disk, not on a core
    const std::size_t threads = std::min(MostAtOnce, Files.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(Files.size());
    const auto work = [&] {
        for (std::size_t i = next++; i < Files.size(); i = next++) {
            try {
                Files[i]->UpdateFile();
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (auto& thread : pool)
        thread.join();
    for (const auto& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

} // namespace

void StampFingerprints(TUsersData& Registry)
{
    StampFingerprints(Registry, KitLibraries::Program());
}

void StampFingerprints(TUsersData& Registry, KitLibraries& Kit)
{
    auto& stamped = StampedTexts();
    std::vector<TRequestFile*> changed;
    for (int32_t n = 1; n <= Registry.Count(); ++n) {
        TRequestFile* storage = Registry.Storage(n);
        if (!storage)
            continue;
        // The file's text as it is written to disk: each line followed by
        // CR LF, an earlier stamp included.
        const std::string text = storage->Text();
        const auto known = stamped.find(storage->FileName());
        if (known != stamped.end() && known->second == TextDigest(text))
            continue;
        std::string digest;
        HashString(Kit, text, digest);
        storage->WriteString("Fingerprint", "Value", digest);
        changed.push_back(storage);
    }
    // Forgotten first: a file that fails to save is stamped again next time.
    for (TRequestFile* storage : changed)
        stamped.erase(storage->FileName());
    SaveTogether(changed);
    for (TRequestFile* storage : changed)
        stamped[storage->FileName()] = TextDigest(storage->Text());
}
