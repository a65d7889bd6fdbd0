#pragma once
// The workflow's rules for the active entity, apart from any window: its
// state as its storage file records it, the actions that state allows and
// the next task to suggest. The main window maps them onto its actions and
// its tip; the rule table is tested headless.
#include <string>

class TRequestFile;

// What the storage file's [General] section says of the entity.
struct TEntityState {
    bool HaveEntities = false;         // the registry holds an entity
    bool HaveStorage = false;          // the active entity's storage file is open
    bool FilledIn = false;             // Request: the request data are in
    bool CertificatesCreated = false;  // MasterKey is not empty
    bool RequestSent = false;          // RequestSent
    bool CertificatesReceived = false; // RequestReceived
    bool AllSigned = false;            // the master and every other key are signed
};

// The actions of the main window that depend on the entity's state.
struct TAllowedActions {
    bool FileNew = false;
    bool FileDeal = false;
    bool FileRemove = false;
    bool FileRename = false;
    bool FileDisk = false;
    bool FileImport = false;
    bool FileExport = false;
    bool RequestFill = false;
    bool RequestRemove = false;
    bool RequestSend = false;
    bool RequestReceive = false;

    bool operator==(const TAllowedActions&) const = default;
};

// The step that the next-task text points to.
enum class TNextTask { RequestAdd, RequestFill, FileNew, RequestSend, RequestReceive, FileDisk };

namespace EntityRules {

// The state of the entity whose storage file is Storage (none: no active
// entity).
TEntityState StateOf(bool HaveEntities, const TRequestFile* Storage);

// The actions allowed in State. ClosingStep: the state is shown at the end of
// a step or a selection, when an entity without certificates may always
// create one.
TAllowedActions Allowed(const TEntityState& State, bool ClosingStep);

TNextTask NextTask(const TEntityState& State);

// True when an entity of this profile signs the service agreement: every
// profile but "04" does.
bool SignsAgreement(const std::string& Profile);

// True when Storage has a master certificate and it and every other key are
// signed.
bool AllCertificatesSigned(const TRequestFile* Storage);

} // namespace EntityRules
