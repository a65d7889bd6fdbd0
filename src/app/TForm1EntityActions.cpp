// The entity actions of the main window: register, fill in and remove an
// entity. The request form edits a record, which then writes itself into the
// entity's storage file and into its section of ENTITY.DAT.
#include "app/TForm1.h"

#include <QAction>

#include <exception>
#include <memory>
#include <string>

#include "app/TCustomView.h"
#include "app/TViews.h"
#include "ui/TDialog.h"
#include "store/TFrmRequest.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "base/EntityNaming.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

namespace {

std::string EntitySection(int32_t Number)
{
    return EntityNaming::SectionName(Number);
}

// The entity number of a registered entity. Its record carries it once the
// registration was completed; an entity whose registration was cut short
// (the program ended while the form was open) has none, and its number is
// read from the name of its storage file, "STORAGE.<n>.DAT". 0 when neither
// tells.
int32_t EntityNumber(const TUserData& Data, const TRequestFile& Storage)
{
    if (Data.Index > 0)
        return Data.Index;
    return EntityNaming::StorageFileNumber(EntityNaming::FilePart(Storage.FileName()));
}

// Runs Body, then After, also when Body raises; a failing After while
// Body's failure is on its way does not hide that one.
template <typename F, typename G>
void ThenAlways(F&& Body, G&& After)
{
    try {
        Body();
    } catch (...) {
        try {
            After();
        } catch (...) {
        }
        throw;
    }
    After();
}

// Every entity action ends with ENTITY.DAT on disk, whatever happened.
template <typename F>
void ThenSaveRegistry(TRequestFile& RegistryFile, F&& Body)
{
    ThenAlways(Body, [&] { RegistryFile.UpdateFile(); });
}

} // namespace

void TForm1::RequestAddExecute()
{
    if (!Registry || !RegistryFile)
        return;
    // The entity shown now: a cancelled registration returns to it.
    const int32_t previous = Registry->ActiveIndex();

    auto form = std::make_unique<TFrmRequest>(this, Registry, Help);
    ThenSaveRegistry(*RegistryFile, [&] {
        form->NewEntity = true;
        TUserData* record = Registry->Add();
        form->UserData = record;
        Registry->Activate(Registry->Count());

        if (form->exec() == mrOk) {
            const int32_t active = Registry->ActiveIndex();
            ActiveView = Views->ShowView(active);
            if (ActiveView)
                ActiveView->setToolTip(FromAnsi(record->Razao));
            ActiveStorage = Registry->Storage(active);
            ActiveEntity = record;
            record->WriteStorageRecord(*ActiveStorage);

            const int32_t number = Registry->CountAll();
            record->Index = number;
            record->WriteRegistryRecord(*RegistryFile, EntitySection(number));
            RegistryFile->UpdateFile();

            const bool haveEntities = Registry->Count() >= 1;
            FileNew->setEnabled(haveEntities);
            FileDeal->setEnabled(haveEntities);
            RequestFill->setEnabled(haveEntities);
            SetActiveCaption();
            RefreshEntityList();
            UpdateTip();
        } else {
            // The number stays used: the entity is marked deleted, never
            // issued again, and its storage file goes.
            record->Index = Registry->CountAll();
            // Back to the entity that was shown before, so that the window
            // and the registry name the same active entity.
            // Also when a save fails once the entity was dropped: the
            // registry would otherwise keep another entity active than the
            // one the window shows.
            ThenAlways([&] { Registry->Remove(Registry->Count()); },
                       [&] {
                           // The window first: activating saves, and may fail.
                           if (previous > 0 && previous <= Registry->Count()) {
                               FollowEntity(previous);
                               Registry->Activate(previous);
                           } else if (Registry->Count() == 0) {
                               FollowEntity(0);
                           }
                           RefreshEntityList();
                       });
        }
    });
}

void TForm1::RequestFillExecute()
{
    // The tip's link runs this step whatever the action's state; without an
    // active entity there is nothing to fill in.
    if (!Registry || !RegistryFile || Registry->ActiveIndex() < 1)
        return;

    auto form = std::make_unique<TFrmRequest>(this, Registry, Help);
    ThenSaveRegistry(*RegistryFile, [&] {
        const int32_t active = Registry->ActiveIndex();
        ActiveStorage = Registry->Storage(active);
        TUserData* entity = Registry->Activate(active);
        ActiveEntity = entity;
        if (ActiveStorage->ReadBool("General", "Request", false)) {
            // The registry's own record: the form's edits change it in memory.
            form->UserData = entity;
            form->LoadFromUserData();
        }

        if (form->exec() != mrOk)
            return;

        const TUserData& filled = *form->UserData;
        filled.WriteStorageRecord(*ActiveStorage);
        if (form->UserData != entity) {
            // The form worked on a blank record of its own: the registry's
            // record takes its data, so that the entity list, ENTITY.DAT and
            // the storage file agree.
            entity->Assign(filled);
            entity->RespList() = filled.Resp ? *filled.Resp : std::vector<std::string>{};
        }
        if (const int32_t number = EntityNumber(*entity, *ActiveStorage); number > 0) {
            entity->Index = number;
            entity->WriteRegistryRecord(*RegistryFile, EntitySection(number));
            RegistryFile->UpdateFile();
        }
        if (ActiveView)
            ActiveView->setToolTip(FromAnsi(entity->Razao));

        const bool haveEntities = Registry->Count() >= 1;
        FileNew->setEnabled(haveEntities);
        FileDeal->setEnabled(haveEntities);
        SetActiveCaption();
        RefreshEntityList();
        UpdateTip();
    });
}

void TForm1::RequestRemoveExecute()
{
    if (!Registry || Registry->ActiveIndex() < 1)
        return;
    Dlg->SetDialogButtons(dtOKCancel);
    if (Dlg->Inform(Tr(Texts::EntityRemoveQuestion)) != mrOk)
        return;

    // A save that fails after the entity was dropped leaves its storage and
    // record freed: the window must not keep them as the active ones.
    ThenAlways([&] { Registry->Remove(Registry->ActiveIndex()); },
               [&] {
                   FollowEntity(Registry->ActiveIndex());
                   SetActiveCaption();
                   RefreshEntityList();
                   UpdateTip();
               });
}
