#include "app/steps/EntityRules.h"

#include "store/StorageFile.h"

#include <string>
#include <vector>

namespace EntityRules {

bool SignsAgreement(const std::string& Profile)
{
    return Profile != "04";
}

bool AllCertificatesSigned(const TRequestFile* Storage)
{
    if (!Storage)
        return false;
    const StorageFile storage = StorageFile::Reading(*Storage);
    std::vector<std::string> ids{storage.MasterKey()};
    for (const std::string& id : storage.Keys())
        ids.push_back(id);
    for (const std::string& id : ids) {
        // An empty identifier (no master yet) names no signed certificate.
        if (id.empty() || !storage.Signed(id))
            return false;
    }
    return true;
}

TEntityState StateOf(bool HaveEntities, const TRequestFile* Storage)
{
    TEntityState state;
    state.HaveEntities = HaveEntities;
    if (!Storage)
        return state;
    state.HaveStorage = true;
    const StorageFile storage = StorageFile::Reading(*Storage);
    state.FilledIn = storage.FilledIn();
    state.CertificatesCreated = !storage.MasterKey().empty();
    state.RequestSent = storage.RequestSent();
    state.CertificatesReceived = storage.RequestReceived();
    state.AllSigned = AllCertificatesSigned(Storage);
    return state;
}

TAllowedActions Allowed(const TEntityState& State, bool ClosingStep)
{
    TAllowedActions a;
    if (State.HaveEntities) {
        a.FileNew = a.FileDeal = a.RequestFill = a.RequestRemove = true;
        if (State.HaveStorage && State.CertificatesCreated) {
            a.FileRemove = a.FileRename = a.FileImport = a.FileExport = a.RequestSend = true;
            if (State.RequestSent) {
                a.RequestReceive = true;
                if (State.CertificatesReceived) {
                    // Received: no new certificates, no second request; only
                    // what is still unsigned can be received.
                    a.FileNew = a.FileDeal = a.RequestSend = false;
                    if (State.AllSigned)
                        a.RequestReceive = false;
                    a.FileDisk = true;
                }
            }
        }
    }
    if (ClosingStep && State.HaveStorage && !State.CertificatesCreated) {
        a.FileNew = a.FileDeal = true;
        a.FileRemove = a.FileRename = a.FileDisk = a.FileImport = a.FileExport = false;
        a.RequestSend = a.RequestReceive = false;
    }
    return a;
}

TNextTask NextTask(const TEntityState& State)
{
    if (!State.HaveEntities)
        return TNextTask::RequestAdd;
    if (!State.HaveStorage)
        return TNextTask::RequestFill;
    if (State.CertificatesReceived)
        return TNextTask::FileDisk;
    if (State.RequestSent)
        return TNextTask::RequestReceive;
    if (State.CertificatesCreated)
        return TNextTask::RequestSend;
    if (State.FilledIn)
        return TNextTask::FileNew;
    return TNextTask::RequestFill;
}

} // namespace EntityRules
