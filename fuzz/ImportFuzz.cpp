// The certificate import fed an arbitrary export file. The first byte
// chooses whether the fingerprint is recomputed over the rest (anyone can
// do that), so the checks behind it are reached too. Nothing may crash; an
// import that is refused leaves the storage exactly as it was, and one that
// is accepted leaves only well-formed, distinct identifiers within the
// limit of 100.
#include "app/steps/KeyFileOperations.h"
#include "app/steps/StorageOperations.h"
#include "app/steps/TCertificateExport.h"
#include "app/steps/TCertificateImport.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TStepContext.h"
#include "base/ProgramPaths.h"
#include "crypto/FormatHex.h"
#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/AtomicFileWriter.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "support/FixedAnswers.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#ifndef QUORVEX_KIT_DIR
#define QUORVEX_KIT_DIR ProgramPaths::ExecutableFolder()
#endif

namespace {

class MemoryWriter : public AtomicFileWriter {
public:
    void WriteFile(const std::string&, std::string_view Bytes) override { Last.assign(Bytes); }
    std::string Last;
};

// An info block of the entity's company, as hexadecimal text.
std::string Info(char Fill)
{
    std::string block(100, '\0');
    block.replace(0, 14, std::string(14, Fill));
    block.replace(32, 9, "Empresa X");
    return StringToHex(block);
}

struct World {
    std::string Dir;
    ProgramPaths Paths;
    // Importing asks no question that a fuzz input could answer.
    testsupport::FixedAnswers Ask{testsupport::FixedAnswers::Reply::Cancel, ""};
    std::unique_ptr<TEntitySession> Session;
    TUsersData* Registry = nullptr;
    KitLibraries Kit{QUORVEX_KIT_DIR};
    std::unique_ptr<TStepContext> Context;
    std::shared_ptr<MemoryWriter> Writer = std::make_shared<MemoryWriter>();
    std::string Baseline;

    World()
    {
        Dir = (std::filesystem::temp_directory_path() / ("importfuzz-" + std::to_string(::getpid()))).string() + "/";
        std::filesystem::create_directories(Dir);
        const std::string master = "{11111111-2222-4333-8444-555555555555}";
        std::ofstream(Dir + "ENTITY.DAT", std::ios::binary)
            << "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n[Entity1]\r\nfilename=" << Dir
            << "STORAGE.1.DAT\r\nInscricao=11222333000181\r\nRazao=Empresa X\r\nIndex=1\r\n\r\n";
        std::ofstream(Dir + "STORAGE.1.DAT", std::ios::binary)
            << "[General]\r\nRequest=1\r\nMasterKey=" << master << "\r\nKeys=\r\n\r\n[" << master
            << "]\r\nName=Mestre\r\nPublicKey=00\r\nInfo=" << Info('1') << "\r\nKeyFile=41\r\nSigned=1\r\n\r\n";
        Paths = ProgramPaths(Dir, Dir, Dir + "A/");
        Session = std::make_unique<TEntitySession>(Dir);
        Registry = &Session->Registry();
        Registry->Storage(1)->SetWriter(Writer);
        Context = std::make_unique<TStepContext>(*Session, Paths, Ask, Kit);
        Baseline = Registry->Storage(1)->Text();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    static World world;
    if (Size < 1)
        return 0;
    TRequestFile& storage = *world.Registry->Storage(1);
    storage.SetText(world.Baseline);

    auto file = TRequestFile::CreateFromLines(nullptr);
    file->SetText(std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    if (Data[0] & 1)
        file->WriteString("Fingerprint", "Value", TCertificateExport::Fingerprint(world.Kit, *file));

    const int imported = TCertificateImport(*world.Context).ImportFile(*file);
    if (imported == 0) {
        if (storage.Text() != world.Baseline)
            std::abort();
    } else {
        const std::vector<std::string> ids = AllCertificates(storage);
        if (ids.size() > 100)
            std::abort();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (!IsCertificateIdentifier(ids[i]))
                std::abort();
            for (std::size_t j = 0; j < i; ++j)
                if (IsInList(ids[i], {ids[j]}))
                    std::abort();
        }
    }
    // No key file outlives the import.
    for (const auto& entry : std::filesystem::directory_iterator(world.Dir))
        if (entry.path().extension() == ".PRI")
            std::abort();
    return 0;
}
