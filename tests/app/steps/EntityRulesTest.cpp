// The workflow's rule table, headless: for each state of the active entity
// as its storage file records it, the actions allowed and the next task.
// A change to any row of the main window's action rule fails here.
#include "app/steps/EntityRules.h"

#include "store/TRequestFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const Master = "{11111111-1111-4111-8111-111111111111}";
const char* const Other = "{22222222-2222-4222-8222-222222222222}";

// The actions as short names, in the order of TAllowedActions.
std::string Names(const TAllowedActions& a)
{
    std::string out;
    const std::pair<bool, const char*> all[] = {
        {a.FileNew, "New"},        {a.FileDeal, "Deal"},     {a.FileRemove, "Remove"},      {a.FileRename, "Rename"},
        {a.FileDisk, "Disk"},      {a.FileImport, "Import"}, {a.FileExport, "Export"},      {a.RequestFill, "Fill"},
        {a.RequestRemove, "Drop"}, {a.RequestSend, "Send"},  {a.RequestReceive, "Receive"},
    };
    for (const auto& [on, name] : all)
        if (on)
            out += out.empty() ? name : std::string(" ") + name;
    return out;
}

// Which keys the storage file holds.
enum Holds : unsigned {
    NoStorage = 1u << 0,
    Filled = 1u << 1,
    WithMaster = 1u << 2,
    Sent = 1u << 3,
    Received = 1u << 4,
    MasterSigned = 1u << 5,
    OtherUnsigned = 1u << 6,
};

std::unique_ptr<TRequestFile> StorageHolding(unsigned What)
{
    auto file = TRequestFile::CreateFromLines(nullptr);
    if (What & Filled)
        file->WriteBool("General", "Request", true);
    if (What & WithMaster) {
        file->WriteString("General", "MasterKey", Master);
        file->WriteString(Master, "Name", "Principal");
        file->WriteBool(Master, "Signed", (What & MasterSigned) != 0);
    }
    if (What & OtherUnsigned) {
        file->WriteString("General", "Keys", Other);
        file->WriteString(Other, "Name", "Outro");
        file->WriteBool(Other, "Signed", false);
    }
    if (What & Sent)
        file->WriteBool("General", "RequestSent", true);
    if (What & Received)
        file->WriteBool("General", "RequestReceived", true);
    return file;
}

} // namespace

TEST(EntityRules, EachStateAllowsItsActionsAndNamesItsNextTask)
{
    struct Row {
        const char* State;
        bool HaveEntities;
        unsigned Holds;
        bool ClosingStep;
        const char* Actions;
        TNextTask Next;
    };
    const unsigned created = Filled | WithMaster;
    const Row rows[] = {
        {"no entity at all", false, NoStorage, false, "", TNextTask::RequestAdd},
        {"entities, none active", true, NoStorage, false, "New Deal Fill Drop", TNextTask::RequestFill},
        {"registered, request data missing", true, 0, false, "New Deal Fill Drop", TNextTask::RequestFill},
        {"filled in", true, Filled, false, "New Deal Fill Drop", TNextTask::FileNew},
        {"certificates created", true, created, false, "New Deal Remove Rename Import Export Fill Drop Send",
         TNextTask::RequestSend},
        {"request sent", true, created | Sent, false, "New Deal Remove Rename Import Export Fill Drop Send Receive",
         TNextTask::RequestReceive},
        {"received, one still unsigned", true, created | Sent | Received | MasterSigned | OtherUnsigned, false,
         "Remove Rename Disk Import Export Fill Drop Receive", TNextTask::FileDisk},
        {"received, all signed", true, created | Sent | Received | MasterSigned, false,
         "Remove Rename Disk Import Export Fill Drop", TNextTask::FileDisk},
        {"received flag without a sent request", true, created | Received | MasterSigned, false,
         "New Deal Remove Rename Import Export Fill Drop Send", TNextTask::FileDisk},
        {"sent flags left without a master", true, Filled | Sent | Received, false, "New Deal Fill Drop",
         TNextTask::FileDisk},
        {"closing a step without a master", true, Filled | Sent, true, "New Deal Fill Drop", TNextTask::RequestReceive},
        {"closing a step, registry count not yet known", false, Filled, true, "New Deal", TNextTask::RequestAdd},
        {"closing a step with a master changes nothing", true, created | Sent, true,
         "New Deal Remove Rename Import Export Fill Drop Send Receive", TNextTask::RequestReceive},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.State);
        const auto storage = StorageHolding(row.Holds);
        const TEntityState state =
            EntityRules::StateOf(row.HaveEntities, (row.Holds & NoStorage) ? nullptr : storage.get());
        EXPECT_EQ(Names(EntityRules::Allowed(state, row.ClosingStep)), row.Actions);
        EXPECT_EQ(EntityRules::NextTask(state), row.Next);
    }
}

TEST(EntityRules, EveryProfileButFourSignsTheAgreement)
{
    for (const auto& [profile, signs] : std::vector<std::pair<std::string, bool>>{
             {"01", true}, {"02", true}, {"96", true}, {"99", true}, {"", true}, {"04", false}})
        EXPECT_EQ(EntityRules::SignsAgreement(profile), signs) << profile;
}
