#include "crypto/FingerprintStamp.h"

#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <sys/xattr.h>
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

// An earlier run's stamp is known by a mark on the file itself, beside its
// bytes (an extended attribute): the digest of the text the stamp left. A
// file loaded untouched whose text still has that digest needs no stamp
// either, so closing a large folder where little changed writes little. The
// mark never replaces a look at the text: a file changed in place keeps its
// mark but not its digest, and a file saved anew is a new file without one.
// Where marks cannot be kept, every file is stamped, as always.
constexpr char StampMark[] = "user.quorvex.stamp";

std::string MarkOf(std::size_t Digest)
{
    char text[2 * sizeof(std::size_t) + 1];
    std::snprintf(text, sizeof text, "%016zX", Digest);
    return text;
}

bool CarriesMark(const std::string& File, std::size_t Digest)
{
    const std::string expected = MarkOf(Digest);
    char found[64];
    const ssize_t n = ::getxattr(File.c_str(), StampMark, found, sizeof found);
    return n == static_cast<ssize_t>(expected.size())
           && expected.compare(0, expected.size(), found, expected.size()) == 0;
}

// Failures are ignored: the file is only stamped again next time.
void Mark(const std::string& File, std::size_t Digest)
{
    const std::string mark = MarkOf(Digest);
    ::setxattr(File.c_str(), StampMark, mark.data(), mark.size(), 0);
}

} // namespace

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
        const std::size_t digest = TextDigest(text);
        const auto known = stamped.find(storage->FileName());
        if (known != stamped.end() && known->second == digest)
            continue;
        if (storage->KnownToHold(text) && CarriesMark(storage->FileName(), digest)) {
            stamped[storage->FileName()] = digest;
            continue;
        }
        std::string fingerprint;
        HashString(Kit, text, fingerprint);
        storage->WriteString("Fingerprint", "Value", fingerprint);
        changed.push_back(storage);
    }
    // Forgotten first: a file that fails to save is stamped again next time.
    std::vector<std::size_t> digests;
    for (TRequestFile* storage : changed) {
        stamped.erase(storage->FileName());
        digests.push_back(TextDigest(storage->Text()));
    }
    // Each file is marked as soon as it is saved, while the rest are saved.
    const std::vector<std::exception_ptr> failures =
        TRequestFile::UpdateFiles(changed, [&](std::size_t i) { Mark(changed[i]->FileName(), digests[i]); });
    for (std::size_t i = 0; i < changed.size(); ++i)
        if (!failures[i])
            stamped[changed[i]->FileName()] = digests[i];
    for (const auto& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}
