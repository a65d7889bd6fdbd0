// The entity registry built from an arbitrary ENTITY.DAT (and an arbitrary
// storage file for every entity), then driven through activations,
// additions and removals. Nothing may crash, and the registry's own
// invariants must hold after every step. Files stay in memory.
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TUsersData.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

class MemoryWriter : public AtomicFileWriter {
public:
    void WriteFile(const std::string&, std::string_view Bytes) override { Last.assign(Bytes); }
    std::string Last;
};

void Check(const TUsersData& Registry)
{
    const int32_t count = Registry.Count();
    if (count < 0 || Registry.CountAll() < count)
        std::abort();
    // Add leaves activation to its caller, so a registry that was empty may
    // hold entities with none active; never an active position past the end.
    if (Registry.ActiveIndex() < 0 || Registry.ActiveIndex() > count)
        std::abort();
    for (int32_t i = 1; i <= count; ++i)
        if (!Registry.Entity(i) || !Registry.Storage(i))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    // ENTITY.DAT, a form feed, the text every storage file holds, a form
    // feed, then one byte per operation.
    const std::string_view input(reinterpret_cast<const char*>(Data), Size);
    const auto cut1 = input.find('\f');
    const std::string_view registryText = input.substr(0, cut1);
    std::string_view storageText, ops;
    if (cut1 != std::string_view::npos) {
        const std::string_view rest = input.substr(cut1 + 1);
        const auto cut2 = rest.find('\f');
        storageText = rest.substr(0, cut2);
        if (cut2 != std::string_view::npos)
            ops = rest.substr(cut2 + 1);
    }

    auto writer = std::make_shared<MemoryWriter>();
    auto registryFile = TRequestFile::CreateFromLines(nullptr);
    registryFile->SetText(registryText);
    registryFile->SetWriter(writer);

    TUsersDataOptions options;
    options.OpenAttempts = 2;
    options.Sleep = [](int) {};
    options.OpenStorage = [&](const std::string& Name) {
        // Named as asked, so that the names can be compared; the folder
        // "/quorvex/" does not exist, so nothing is read, and nothing is
        // written since the writer keeps images in memory.
        auto storage = std::make_unique<TRequestFile>(Name);
        storage->SetText(storageText);
        storage->SetWriter(writer);
        return storage;
    };

    try {
        TUsersData registry(*registryFile, "/quorvex/", options);
        Check(registry);
        for (const char op : ops) {
            const int32_t count = registry.Count();
            const int32_t position = count > 0 ? 1 + static_cast<unsigned char>(op) / 4 % count : 0;
            switch (static_cast<unsigned char>(op) % 4) {
            case 0: registry.Add(); break;
            case 1: registry.Remove(registry.ActiveIndex()); break;
            case 2: registry.Activate(position); break;
            default:
                if (count > 0)
                    registry.ActivateByInscription(registry.Entity(position)->Inscricao());
                break;
            }
            Check(registry);
        }
        // What the registry wrote must load again with every entity it
        // holds, in the same order. A reload may show more: sections that a
        // damaged CountAll hid come back once CountAll has grown past them.
        auto again = TRequestFile::CreateFromLines(nullptr);
        again->SetText(registryFile->Text());
        again->SetWriter(writer);
        TUsersData reloaded(*again, "/quorvex/", options);
        int32_t j = 1;
        for (int32_t i = 1; i <= registry.Count(); ++i) {
            while (j <= reloaded.Count() && reloaded.Storage(j)->FileName() != registry.Storage(i)->FileName())
                ++j;
            if (j > reloaded.Count())
                std::abort();
            ++j;
        }
    } catch (const EListError&) {
        std::abort(); // every position used above is a valid one
    }
    return 0;
}
