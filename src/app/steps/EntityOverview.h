#pragma once
// The overview of every live entity at once, apart from any window: one row
// per entity with its identifier, name, state, certificates and next task,
// the filter that narrows the rows and the list as CSV text. The rows come
// from what the entity session holds in memory: building them reads no file,
// so an office's thousands of entities are listed at once.
//
// The state and the next task are the entity rules' own (EntityRules), the
// certificates the ones the entity's list shows (TEntitySession), the filter
// the entity selector's (MatchesEntitySearch): the overview says nothing
// that the main window would say otherwise.
#include "app/steps/EntityRules.h"
#include "store/TUserData.h"

#include <cstdint>
#include <string>
#include <vector>

class TEntitySession;

// The road of an entity's certificates, in its order.
enum class TOverviewState { Registered, CertificatesCreated, RequestSent, CertificatesReceived };

struct TOverviewRow {
    // The entity number n: names the entity across removals of others,
    // which move positions.
    int32_t Number = 0;
    // The position among the live entities when the rows were taken.
    int32_t Position = 0;
    // Razao, Inscricao and Tipo_Inscricao as the registry holds them
    // (Windows-1252); the other fields are left empty.
    TUserData Entity;
    // The identifier as it is written on paper ("11.222.333/0001-81").
    std::string Inscription;
    TOverviewState State = TOverviewState::Registered;
    int32_t Signed = 0;
    int32_t Unsigned = 0;
    TNextTask NextTask = TNextTask::RequestFill;
    // The entity's storage file was found damaged at start: what it shows
    // is what could be read.
    bool Damaged = false;
};

namespace EntityOverview {

// One row per live entity of Session, in position order.
std::vector<TOverviewRow> Rows(const TEntitySession& Session);

TOverviewState StateOf(const TEntityState& State);

// The texts of a row as the table and the list show them (UTF-8).
const char* StateText(TOverviewState State);
// The state, with the damage noted when there was one.
std::string StateText(const TOverviewRow& Row);
const char* NextTaskText(TNextTask Task);

// "01" (CNPJ, also alphanumeric): "11.222.333/0001-81"; "02" (CEI, stored
// padded to 14 with "00"): "11.222.33333/44". Anything that does not have
// the shape of its type is shown as stored.
std::string FormatInscription(const std::string& TipoInscricao, const std::string& Inscricao);

// True when the entity's certificates are on their road: a request to send,
// a response to receive or a certificate to write. An entity without
// certificates has either not begun or has finished.
bool IsPending(const TOverviewRow& Row);

// Whether Row is shown for the text typed in the filter (Windows-1252, the
// entity selector's matching) and the "pending only" choice.
bool Shown(const TOverviewRow& Row, const std::string& Query, bool PendingOnly);

// The rows as a table for a spreadsheet (see CsvText): the byte-order mark,
// the column titles, then one line per row in the order given.
std::string CsvText(const std::vector<TOverviewRow>& Rows);

// Writes CsvText(Rows) to FileName through the safe replace; a symbolic link
// under that name is itself replaced, never followed (the user named this
// file, not the one a link may point at). 0, or the errno value of the
// failure (the file under that name is then as it was).
int WriteCsv(const std::string& FileName, const std::vector<TOverviewRow>& Rows);

} // namespace EntityOverview
