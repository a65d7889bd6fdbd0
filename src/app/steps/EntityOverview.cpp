#include "app/steps/EntityOverview.h"

#include "app/steps/CsvText.h"
#include "app/steps/TEntitySession.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"
#include "store/EntitySearch.h"
#include "store/IdRules.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

namespace EntityOverview {

namespace {

bool AllDigits(const std::string& Text)
{
    for (const char c : Text)
        if (c < '0' || c > '9')
            return false;
    return !Text.empty();
}

// Text with Marks put before the characters at the positions given.
std::string WithMarks(const std::string& Text, const std::vector<std::pair<std::size_t, char>>& Marks)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (next < Marks.size() && Marks[next].first == i)
            out += Marks[next++].second;
        out += Text[i];
    }
    return out;
}

} // namespace

std::string FormatInscription(const std::string& TipoInscricao, const std::string& Inscricao)
{
    if (TipoInscricao == "02") {
        // A CEI has 12 digits; the registry keeps it padded to 14.
        std::string cei = Inscricao;
        if (cei.size() == 14 && cei.compare(0, 2, "00") == 0)
            cei.erase(0, 2);
        if (cei.size() == 12 && AllDigits(cei))
            return WithMarks(cei, {{2, '.'}, {5, '.'}, {10, '/'}});
        return Inscricao;
    }
    if (IsCNPJForm(Inscricao))
        return WithMarks(Inscricao, {{2, '.'}, {5, '.'}, {8, '/'}, {12, '-'}});
    return Inscricao;
}

TOverviewState StateOf(const TEntityState& State)
{
    if (!State.CertificatesCreated)
        return TOverviewState::Registered;
    if (State.CertificatesReceived)
        return TOverviewState::CertificatesReceived;
    if (State.RequestSent)
        return TOverviewState::RequestSent;
    return TOverviewState::CertificatesCreated;
}

std::vector<TOverviewRow> Rows(const TEntitySession& Session)
{
    const TUsersData& registry = Session.Registry();
    std::vector<TOverviewRow> rows;
    rows.reserve(static_cast<std::size_t>(Session.Count()));
    for (int32_t position = 1; position <= Session.Count(); ++position) {
        const TUserData* entity = registry.Entity(position);
        const TRequestFile* storage = registry.Storage(position);
        TOverviewRow row;
        row.Number = registry.Number(position);
        row.Position = position;
        row.Entity.Razao = entity->Razao;
        row.Entity.SetInscricao(entity->Inscricao());
        row.Entity.SetTipoInscricao(entity->Tipo_Inscricao());
        row.Inscription = FormatInscription(entity->Tipo_Inscricao(), entity->Inscricao());
        const TEntityState state = EntityRules::StateOf(true, storage);
        row.State = StateOf(state);
        row.NextTask = EntityRules::NextTask(state);
        for (const TCertificateEntry& certificate : Session.Certificates(position))
            ++(certificate.Signed ? row.Signed : row.Unsigned);
        row.Damaged = storage && storage->StoppedEarly();
        rows.push_back(std::move(row));
    }
    return rows;
}

const char* StateText(TOverviewState State)
{
    switch (State) {
    case TOverviewState::Registered: return Texts::OvStateRegistered;
    case TOverviewState::CertificatesCreated: return Texts::OvStateCreated;
    case TOverviewState::RequestSent: return Texts::OvStateSent;
    case TOverviewState::CertificatesReceived: return Texts::OvStateReceived;
    }
    return Texts::OvStateRegistered;
}

std::string StateText(const TOverviewRow& Row)
{
    std::string text = StateText(Row.State);
    if (Row.Damaged)
        text += Texts::OvStateDamaged;
    return text;
}

const char* NextTaskText(TNextTask Task)
{
    switch (Task) {
    case TNextTask::RequestAdd: return Texts::OvTaskRequestAdd;
    case TNextTask::RequestFill: return Texts::OvTaskRequestFill;
    case TNextTask::FileNew: return Texts::OvTaskFileNew;
    case TNextTask::RequestSend: return Texts::OvTaskRequestSend;
    case TNextTask::RequestReceive: return Texts::OvTaskRequestReceive;
    case TNextTask::FileDisk: return Texts::OvTaskFileDisk;
    }
    return Texts::OvTaskRequestFill;
}

bool IsPending(const TOverviewRow& Row)
{
    return Row.NextTask == TNextTask::RequestSend || Row.NextTask == TNextTask::RequestReceive
           || Row.NextTask == TNextTask::FileDisk;
}

bool Shown(const TOverviewRow& Row, const std::string& Query, bool PendingOnly)
{
    if (PendingOnly && !IsPending(Row))
        return false;
    return MatchesEntitySearch(Row.Entity, Query);
}

std::string CsvText(const std::vector<TOverviewRow>& Rows)
{
    std::string text(Csv::ByteOrderMark);
    text += Csv::Line({Texts::OvColInscription, Texts::OvColRazao, Texts::OvColState, Texts::OvColSigned,
                       Texts::OvColUnsigned, Texts::OvColNextTask});
    for (const TOverviewRow& row : Rows) {
        text +=
            Csv::Line({Csv::FromWindows1252(row.Inscription), Csv::FromWindows1252(row.Entity.Razao), StateText(row),
                       std::to_string(row.Signed), std::to_string(row.Unsigned), NextTaskText(row.NextTask)});
    }
    return text;
}

int WriteCsv(const std::string& FileName, const std::vector<TOverviewRow>& Rows)
{
    const std::string text = CsvText(Rows);
    SafeReplace::Options options;
    // A list for other programs to open, holding no key.
    options.NewFileMode = 0644;
    options.ReplaceLink = true;
    return SafeReplace::ReplaceFile(FileName, text.data(), text.size(), options);
}

} // namespace EntityOverview
